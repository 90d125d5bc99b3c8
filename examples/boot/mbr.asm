; Master boot record of the diagnostics media.
;
; The BIOS loads this sector at 0000:7C00 with the boot drive in DL. It moves
; itself to 0000:0600 so that the partition's boot sector can be loaded at
; 7C00, finds the one active partition entry, reads that partition's first
; sector (by LBA when the BIOS has the INT 13h extensions, else by the entry's
; CHS address), checks its 55AA signature and jumps to it with DL = drive and
; DS:SI = the active entry, as partition boot sectors expect.
;
; Bytes 0x1A3..0x1FD (the optional process tag and its copy of the first
; entry, the partition table) are written by the image builder; this file
; only supplies zeros there.

        cpu     386
        bits    16

RELOC           equ 0x0600          ; where the MBR runs after the move
LOAD            equ 0x7C00          ; where the BIOS put us and the boot sector goes
TABLE           equ 0x1BE           ; offset of partition entry 1
ENTRY_SIZE      equ 16
READ_TRIES      equ 4

        org     RELOC

start:
        cli
        xor     ax, ax
        mov     ss, ax
        mov     sp, LOAD            ; the stack grows down from below the load area
        mov     ds, ax
        mov     es, ax
        sti
        cld
        mov     si, LOAD
        mov     di, RELOC
        mov     cx, 256
        rep     movsw
        jmp     0:relocated         ; continue in the moved copy

relocated:
        mov     [drive], dl

        ; Exactly one entry may be active; a boot flag other than 00 or 80
        ; means the table is damaged, so nothing is booted.
        mov     si, RELOC + TABLE
        xor     bx, bx              ; the active entry, once found
        mov     cx, 4
.scan:
        mov     al, [si]
        test    al, al
        jz      .next
        cmp     al, 0x80
        jne     bad_table
        test    bx, bx
        jnz     bad_table
        mov     bx, si
.next:
        add     si, ENTRY_SIZE
        loop    .scan
        test    bx, bx
        jz      no_active
        mov     [active], bx

        ; Prefer LBA: partitions beyond cylinder 1023 or drives whose BIOS
        ; geometry differs from the table's still boot.
        mov     ah, 0x41
        mov     bx, 0x55AA
        mov     dl, [drive]
        int     0x13
        jc      read_chs
        cmp     bx, 0xAA55
        jne     read_chs
        test    cl, 1               ; packet (AH=42h) reads supported
        jz      read_chs

        mov     bx, [active]
        mov     eax, [bx + 8]       ; first sector of the partition
        mov     [dap.lba], eax
        mov     bp, READ_TRIES
.lba_try:
        mov     si, dap
        mov     ah, 0x42
        mov     dl, [drive]
        int     0x13
        jnc     loaded
        call    reset
        dec     bp
        jnz     .lba_try
        ; An extension that fails on this drive: the CHS address may still work.

read_chs:
        mov     bp, READ_TRIES
.chs_try:
        mov     bx, [active]
        mov     dh, [bx + 1]        ; head
        mov     cx, [bx + 2]        ; sector + cylinder bits, as INT 13h wants them
        mov     dl, [drive]
        mov     bx, LOAD
        mov     ax, 0x0201
        int     0x13
        jnc     loaded
        call    reset
        dec     bp
        jnz     .chs_try
        mov     si, msg_read
        jmp     fail

loaded:
        cmp     word [LOAD + 510], 0xAA55
        mov     si, msg_missing
        jne     fail
        mov     dl, [drive]
        mov     si, [active]
        jmp     0:LOAD

reset:
        xor     ax, ax
        mov     dl, [drive]
        int     0x13
        ret

bad_table:
        mov     si, msg_table
        jmp     fail
no_active:
        mov     si, msg_active

; Shows the message on the screen and on the debug console, then hands the
; boot back to the BIOS, which tries its next device or reports the failure.
fail:
        lodsb
        test    al, al
        jz      .done
        out     0xE9, al
        mov     ah, 0x0E
        mov     bx, 0x0007
        int     0x10
        jmp     fail
.done:
        int     0x18
.halt:
        hlt
        jmp     .halt

msg_table:      db "MBR: invalid partition table", 13, 10, 0
msg_active:     db "MBR: no active partition", 13, 10, 0
msg_read:       db "MBR: error reading the partition", 13, 10, 0
msg_missing:    db "MBR: partition has no boot sector", 13, 10, 0

        align   4
dap:                                ; disk address packet for AH=42h
        db      16, 0
        dw      1                   ; one sector
        dw      LOAD, 0             ; to 0000:7C00
.lba:   dd      0
        dd      0

drive:  db      0
active: dw      0

; The builder may write an 11-byte process tag at 0x1A3 and a copy of the
; first entry at 0x1AE; code and data must end before them.
%if ($ - $$) > 0x1A3
  %error "MBR code runs into the process tag at 0x1A3"
%endif
        times   0x1FE - ($ - $$) db 0
        dw      0xAA55
