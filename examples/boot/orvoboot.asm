; ORVOBOOT.SYS: the second stage of the diagnostics media.
;
; Loaded at 0800:0000 by the boot sector, with DL = boot drive, DH = 1 when it
; was read by LBA (0 by CHS) and the boot sector with its BIOS parameter block
; still at 0000:7C00. It checks that every one of its sectors arrived in
; place, prints a banner with the volume label on the screen and on the debug
; console (port 0xE9), and then ends the machine through port 0xF4 (qemu's
; isa-debug-exit: exit status = value * 2 + 1). On a real PC that port does
; nothing and the program waits for a key to restart.
;
; The file spans several sectors on purpose: on a diskette it crosses a track
; and on small-cluster volumes several clusters, so a loader that skips,
; repeats or reorders sectors is caught by the per-sector marks below.

        cpu     386
        bits    16

SECTORS         equ 8
MARK            equ 0xB000          ; sector n ends with the word MARK + n
BPB_SEG         equ 0x07C0          ; the boot sector, as segment 07C0:0000
BPB_LABEL       equ 43
BPB_FS_TYPE     equ 54
EXIT_PORT       equ 0xF4
EXIT_BOOTED     equ 0x10            ; qemu exits with 33
EXIT_DAMAGED    equ 0x11            ; qemu exits with 35

        org     0

%macro sector_mark 1
        times   (%1) * 512 + 510 - ($ - $$) db 0
        dw      MARK + (%1)
%endmacro

start:
        mov     ax, cs
        mov     ds, ax
        cli
        mov     ss, ax
        mov     sp, SECTORS * 512 + 0x800   ; a stack of its own above the file
        sti
        cld
        mov     [drive], dl
        mov     [by_lba], dh

        ; Every sector must carry its own mark.
        xor     cx, cx
        mov     bx, 510
.check:
        mov     ax, MARK
        add     ax, cx
        cmp     [bx], ax
        jne     damaged
        add     bx, 512
        inc     cx
        cmp     cx, SECTORS
        jb      .check

        mov     si, msg_banner
        call    put_string
        mov     si, BPB_LABEL
        mov     cx, 11
        call    put_field
        mov     si, msg_fs
        call    put_string
        mov     si, BPB_FS_TYPE
        mov     cx, 8
        call    put_field
        mov     si, msg_drive
        call    put_string
        mov     al, [drive]
        call    put_hex
        mov     si, msg_chs
        cmp     byte [by_lba], 0
        je      .method
        mov     si, msg_lba
.method:
        call    put_string

        mov     al, EXIT_BOOTED
        out     EXIT_PORT, al

        ; Still running: a real machine. Leave the banner up until a key.
        mov     si, msg_key
        call    put_string
        xor     ah, ah
        int     0x16
        int     0x19

damaged:
        mov     [msg_sector], cl
        add     byte [msg_sector], '0'
        mov     si, msg_damaged
        call    put_string
        mov     al, EXIT_DAMAGED
        out     EXIT_PORT, al
.halt:
        hlt
        jmp     .halt

; Prints CX bytes of the boot sector from offset SI, without trailing blanks.
put_field:
        push    ds
        push    word BPB_SEG
        pop     ds
        mov     bx, si
        add     bx, cx
.trim:
        jcxz    .print
        cmp     byte [bx - 1], ' '
        jne     .print
        dec     bx
        dec     cx
        jmp     .trim
.print:
        jcxz    .done
.next:
        lodsb
        call    put_char
        loop    .next
.done:
        pop     ds
        ret

put_hex:
        push    ax
        shr     al, 4
        call    .digit
        pop     ax
        and     al, 0x0F
.digit:
        add     al, '0'
        cmp     al, '9'
        jbe     put_char
        add     al, 'A' - '9' - 1
        jmp     put_char

put_string:
        lodsb
        test    al, al
        jz      .done
        call    put_char
        jmp     put_string
.done:
        ret

; One character to the debug console and to the screen.
put_char:
        pusha
        out     0xE9, al
        mov     ah, 0x0E
        mov     bx, 0x0007
        int     0x10
        popa
        ret

msg_banner:     db 13, 10, "Orvo diagnostics media booted: volume label ", 34, 0
msg_fs:         db 34, ", ", 0
msg_drive:      db ", drive ", 0
msg_chs:        db "h, read by CHS", 13, 10, 0
msg_lba:        db "h, read by LBA", 13, 10, 0
msg_key:        db "Press any key to restart.", 13, 10, 0
msg_damaged:    db "ORVOBOOT.SYS: sector "
msg_sector:     db "0 is damaged or was not loaded", 13, 10, 0

drive:          db 0
by_lba:         db 0

        sector_mark 0
        sector_mark 1
        sector_mark 2
        sector_mark 3
        sector_mark 4
        sector_mark 5
        sector_mark 6
        sector_mark 7
