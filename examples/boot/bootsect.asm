; FAT12/FAT16 boot sector of the diagnostics media.
;
; The image builder fills bytes 3..61 (OEM name, BIOS parameter block and
; extended block) for the volume it lays out; the values below only make the
; bare file a valid 1.44 MB diskette boot sector.
;
; The BIOS (or the MBR) loads this sector at 0000:7C00 with the boot drive in
; DL. It finds ORVOBOOT.SYS among the first root entries and loads the whole
; file at 0800:0000. The builder places that file first in the root and
; contiguous from its first cluster, so no FAT has to be read: the file's
; sectors follow each other from its first cluster on. Sectors are read one at
; a time, by LBA when the BIOS has the INT 13h extensions and by CHS with the
; BPB's geometry otherwise (diskettes, El Torito emulated drives). The hidden
; sector count places the volume on the drive.
;
; The second stage gets DL = drive and DH = 1 when it was read by LBA, 0 by
; CHS; this sector with its BPB stays at 0000:7C00 for it.

        cpu     386
        bits    16

BASE            equ 0x7C00
DIR_BUF         equ 0x0500          ; one root directory sector
STAGE2_SEG      equ 0x0800          ; second stage at 0800:0000 = 0x8000
MAX_SECTORS     equ 1024            ; 512 KB, ends well below the EBDA
READ_TRIES      equ 4
DATA_START      equ BASE + 512      ; dword: first sector of cluster 2, volume-relative
ENTRIES_PER_SECTOR equ 16           ; 512-byte sectors, 32-byte entries

        org     BASE

        jmp     short start
        nop

; Filled in by the image builder.
oem_name:       db "MSWIN4.1"
bytes_per_sec:  dw 512
sec_per_clus:   db 1
reserved_secs:  dw 1
num_fats:       db 2
root_entries:   dw 224
total_secs16:   dw 2880
media:          db 0xF0
fat_size:       dw 9
sec_per_track:  dw 18
num_heads:      dw 2
hidden_secs:    dd 0
total_secs32:   dd 0
drive_number:   db 0
                db 0
boot_sig:       db 0x29
volume_id:      dd 0
volume_label:   db "NO NAME    "
fs_type:        db "FAT12   "

start:
        cli
        xor     ax, ax
        mov     ss, ax
        mov     sp, BASE
        mov     ds, ax
        mov     es, ax
        sti
        cld
        ; The drive the BIOS booted from is the one to read, whatever the
        ; builder wrote into the BPB; the second stage finds it there too.
        mov     [drive_number], dl
        ; The BIOS reads 512-byte sectors; a volume with other sectors cannot
        ; be read through it.
        cmp     word [bytes_per_sec], 512
        jne     ..@disk_error

        mov     ah, 0x41
        mov     bx, 0x55AA
        int     0x13
        jc      .no_ext
        cmp     bx, 0xAA55
        jne     .no_ext
        and     cl, 1               ; packet reads (AH=42h) supported
        mov     [use_lba], cl
.no_ext:

        ; Root directory: after the reserved sectors and the FAT copies;
        ; the data area (cluster 2) right after the root.
        movzx   eax, byte [num_fats]
        movzx   ecx, word [fat_size]
        mul     ecx
        movzx   ecx, word [reserved_secs]
        add     eax, ecx
        push    eax                 ; first root sector, volume-relative
        movzx   ecx, word [root_entries]
        add     cx, ENTRIES_PER_SECTOR - 1
        shr     cx, 4
        add     ecx, eax
        mov     [DATA_START], ecx

        pop     eax
        mov     bx, DIR_BUF
        call    read_sector

        mov     si, DIR_BUF
        mov     cx, ENTRIES_PER_SECTOR
.find:
        cmp     byte [si], 0        ; end of the directory
        je      not_found
        test    byte [si + 11], 0x18    ; neither the label nor a directory
        jnz     .next
        pusha
        mov     di, stage2_name
        mov     cx, 11
        repe    cmpsb
        popa
        je      found
.next:
        add     si, 32
        loop    .find
not_found:
        mov     si, msg_missing
        jmp     fail

found:
        ; sectors = ceil(size / 512); an empty or oversized file cannot run
        mov     eax, [si + 28]
        add     eax, 511
        shr     eax, 9
        jz      not_found
        cmp     eax, MAX_SECTORS
        ja      not_found
        mov     bp, ax

        movzx   eax, word [si + 26]     ; first cluster
        sub     eax, 2
        jb      not_found
        movzx   ecx, byte [sec_per_clus]
        mul     ecx
        add     eax, [DATA_START]

        mov     dx, STAGE2_SEG
.load:
        mov     es, dx
        xor     bx, bx
        call    read_sector
        inc     eax
        add     dx, 512 / 16
        dec     bp
        jnz     .load

        mov     dl, [drive_number]
        mov     dh, [use_lba]
        jmp     STAGE2_SEG:0

; Reads volume sector EAX (relative to the volume) to ES:BX. Keeps EAX.
read_sector:
        pushad
        add     eax, [hidden_secs]
        mov     di, READ_TRIES
.retry:
        cmp     byte [use_lba], 0
        je      .chs
        mov     [dap_lba], eax
        mov     [dap_offset], bx
        mov     [dap_segment], es
        push    eax
        mov     si, dap
        mov     ah, 0x42
        mov     dl, [drive_number]
        int     0x13
        pop     eax
        jnc     .done
        jmp     .failed
.chs:
        ; LBA -> cylinder/head/sector with the BPB geometry
        push    eax
        xor     edx, edx
        movzx   ecx, word [sec_per_track]
        div     ecx                 ; eax = track, edx = sector - 1
        mov     cx, dx
        inc     cx
        xor     edx, edx
        movzx   esi, word [num_heads]
        div     esi                 ; eax = cylinder, edx = head
        cmp     eax, 1023
        ja      .unreachable
        mov     dh, dl
        mov     ch, al              ; cylinder bits 0-7
        shl     ah, 6
        or      cl, ah              ; cylinder bits 8-9 above the sector number
        mov     dl, [drive_number]
        mov     ax, 0x0201
        int     0x13
        pop     eax
        jnc     .done
.failed:
        push    eax
        xor     ax, ax
        mov     dl, [drive_number]
        int     0x13
        pop     eax
        dec     di
        jnz     .retry
        ; Extensions that fail on this drive: the CHS address may still work.
        shr     byte [use_lba], 1
        mov     di, READ_TRIES
        jc      .retry
.unreachable:
..@disk_error:
        mov     si, msg_disk
        jmp     fail
.done:
        popad
        ret

; Shows the message on the screen and on the debug console, then hands the
; boot back to the BIOS, which tries its next device or reports the failure.
fail:
.put:
        lodsb
        test    al, al
        jz      .done
        out     0xE9, al
        mov     ah, 0x0E
        mov     bx, 0x0007
        int     0x10
        jmp     .put
.done:
        int     0x18
.halt:
        hlt
        jmp     .halt

stage2_name:    db "ORVOBOOTSYS"
msg_missing:    db "No ORVOBOOT.SYS", 13, 10, 0
msg_disk:       db "Disk error", 13, 10, 0

use_lba:        db 0

dap:            db 16, 0
                dw 1
dap_offset:     dw 0
dap_segment:    dw 0
dap_lba:        dd 0, 0

        times   510 - ($ - $$) db 0
        dw      0xAA55
