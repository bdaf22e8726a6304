; Test payload booted by our boot sectors in QEMU. It checks what it was handed and
; reports on COM1 and through the isa-debug-exit port (0xF4):
;   exit value 31h (QEMU status 99) when every check passed, 11h (status 35) otherwise.
; Build options:
;   -DTAG='"BOOT1"'   text naming this payload in the report
;   -DSIZE=n          file size in bytes (a multiple of 16, at least 512); everything
;                     after the code is a pattern that depends on the position, so a
;                     missing, repeated or misplaced sector is caught
;   -DKERNEL          built as a FreeDOS kernel: loaded at 0x60:0, entered with BL =
;                     drive and SS:BP at the FAT32 boot sector. Otherwise built as the
;                     boot loader's file: loaded at 0x2000:0200, entered with DL = drive.
        bits    16
        cpu     386

%ifdef KERNEL
        org     0
HOME_SEG equ 0060h
%else
        org     200h
HOME_SEG equ 2000h
%endif
%ifdef KERNEL
FILE_SEG  equ 0060h                     ; segment whose offset 0 is the first byte of the file
%else
FILE_SEG  equ 2020h
%endif
CODE_BYTES equ 512
PATTERN    equ -1640531535              ; 9E3779B1h: multiplier of the pattern

start:
        mov     [cs:entry_dx], dx
        mov     [cs:entry_bx], bx
        mov     [cs:entry_bp], bp
        mov     [cs:entry_ss], ss
        push    cs
        pop     ds
        cld
        call    .here
.here:
        pop     ax
        mov     si, bad_address
        cmp     ax, .here
        jne     fail
        mov     ax, cs
        cmp     ax, HOME_SEG
        jne     fail

        mov     ecx, CODE_BYTES/4       ; dword index into the file
.check:
        mov     eax, ecx
        shr     eax, 2
        add     ax, FILE_SEG
        mov     es, ax
        mov     di, cx
        and     di, 3
        shl     di, 2
        imul    eax, ecx, PATTERN
        mov     si, bad_data
        cmp     [es:di], eax
        jne     fail
        inc     ecx
        cmp     ecx, SIZE/4
        jb      .check

%ifdef KERNEL
        mov     es, [entry_ss]
        mov     di, [entry_bp]
        mov     si, bad_boot_sector
        cmp     word [es:di+510], 0AA55h
        jne     fail
        push    si
        lea     di, [di+52h]
        mov     si, fat32_text
        mov     cx, 5
        repe    cmpsb
        pop     si
        jne     fail
%endif

        mov     si, ok_text
        call    report
        mov     al, 31h
        out     0F4h, al
        jmp     short halt

fail:
        push    si
        mov     si, fail_text
        call    print
        pop     si
        call    print
        mov     si, newline
        call    print
        mov     al, 11h
        out     0F4h, al
halt:
        cli
        hlt
        jmp     short halt

; Writes "VU-PAYLOAD <tag> dl=.. bl=.. " then the text at SI.
report:
        push    si
        mov     si, head_text
        call    print
        mov     si, dl_text
        call    print
        mov     al, [entry_dx]
        call    print_hex
        mov     si, bl_text
        call    print
        mov     al, [entry_bx]
        call    print_hex
        pop     si
print:
        lodsb
        test    al, al
        jz      .done
        call    put
        jmp     short print
.done:
        ret

print_hex:
        push    ax
        shr     al, 4
        call    .digit
        pop     ax
        and     al, 0Fh
.digit:
        add     al, '0'
        cmp     al, '9'
        jbe     put
        add     al, 'a'-'9'-1
put:
        push    dx
        push    ax
        mov     dx, 3FDh
.wait:
        in      al, dx
        test    al, 20h
        jz      .wait
        pop     ax
        mov     dx, 3F8h
        out     dx, al
        pop     dx
        ret

head_text:      db "VU-PAYLOAD ", TAG, 0
dl_text:        db " dl=", 0
bl_text:        db " bl=", 0
ok_text:        db " ok", 10, 0
fail_text:      db "VU-PAYLOAD ", TAG, " FAIL ", 0
bad_address:    db "load address", 0
bad_data:       db "file content", 0
bad_boot_sector: db "boot sector at SS:BP", 0
fat32_text:     db "FAT32"
newline:        db 10, 0
entry_dx:       dw 0
entry_bx:       dw 0
entry_bp:       dw 0
entry_ss:       dw 0

        times   CODE_BYTES-($-$$) db 0
%assign j CODE_BYTES/4
%rep (SIZE-CODE_BYTES)/4
        dd      (j*9E3779B1h) & 0FFFFFFFFh
%assign j j+1
%endrep
