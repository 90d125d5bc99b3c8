; Test shim for the boot tests: it takes sector 0 of a disk image, puts a
; misbehaving INT 13h in front of the BIOS's, and starts the real MBR, which
; the test has copied to sector 1. The partition table stays in this sector.
;
;   nasm -f bin -DEXTENSIONS_FAIL   : AH=41h claims packet reads, AH=42h always fails
;   nasm -f bin -DEXTENSIONS_ABSENT : AH=41h says there are no extensions
;
; Either way the MBR and the boot sector must get on by CHS. Everything else
; goes to the BIOS. The shim lives at 9000:0000, out of the way of the MBR
; (0600), the boot sector (7C00) and the second stage (8000-9800).

        cpu     386
        bits    16
        org     0

SHIM_SEG        equ 0x9000

start:
        cli
        xor     ax, ax
        mov     ss, ax
        mov     sp, 0x7C00
        sti
        cld
        mov     ds, ax
        mov     si, 0x7C00
        mov     ax, SHIM_SEG
        mov     es, ax
        xor     di, di
        mov     cx, 256
        rep     movsw
        jmp     SHIM_SEG:relocated

relocated:
        push    cs
        pop     ds
        xor     ax, ax
        mov     es, ax
        mov     eax, [es:0x13 * 4]
        mov     [old_int13], eax
        mov     word [es:0x13 * 4], int13
        mov     word [es:0x13 * 4 + 2], cs

        ; the real MBR: cylinder 0, head 0, sector 2
        mov     ax, 0x0201
        mov     cx, 2
        xor     dh, dh
        mov     bx, 0x7C00
        int     0x13
        jc      .stop
        jmp     0:0x7C00
.stop:
        hlt
        jmp     .stop

int13:
        cmp     ah, 0x41
        je      .check
        cmp     ah, 0x42
        je      .fail
        jmp     far [cs:old_int13]
.check:
%ifdef EXTENSIONS_FAIL
        mov     bx, 0xAA55
        mov     cx, 1
        mov     ah, 0x30
        clc
        sti
        retf    2
%endif
.fail:
        mov     ah, 0x01
        stc
        sti
        retf    2

old_int13:      dd 0

%if ($ - $$) > 0x1BE
  %error "shim runs into the partition table"
%endif
