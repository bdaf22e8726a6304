; FAT32 partition boot sector for FreeDOS: loads all of "KERNEL  SYS" from the root
; directory to 0x60:0 and enters it with BL = BIOS drive and SS:BP pointing at this
; boot sector (with its parameter block), which is what the FreeDOS kernel expects.
; The sector first moves itself to 0x1FE0:7C00, out of the way of the kernel.
; Bytes 3-89 are the volume's parameter block, copied in from the formatted sector
; when the drive is prepared; the partition start is its hidden-sectors field.
; A read that keeps failing or a missing kernel prints "No KERNEL  SYS", waits for a
; key and hands back to the BIOS.
        bits    16
        cpu     386
        org     7C00h

%include "fat32.inc"

%define LBA_ONLY
%define READ_TRIES 5
%define DRIVE      bp+40h               ; the parameter block's drive field
%define REMAIN     bp+44h               ; volume serial and label: free once booted
%define FAT_LBA    bp+48h
%define DATA_LBA   bp+4Ch
HOME_SEG   equ 1FE0h
FATBUF     equ 7E00h
FATBUF_SEG equ HOME_SEG+07E0h
DIR_SEG    equ 1000h                    ; 64 KiB of root directory
LOAD_SEG   equ 0060h
MAX_SECTORS equ ((HOME_SEG*16+7C00h-200h)-600h)/512 ; leaves room for the stack

        jmp     short start
        nop
        times   90-($-$$) db 0

start:
        cli
        cld
        xor     ax, ax
        mov     ds, ax
        mov     si, 7C00h
        mov     di, si
        mov     ax, HOME_SEG
        mov     es, ax
        mov     cx, 256
        rep     movsw
        jmp     HOME_SEG:moved
moved:
        mov     ds, ax
        mov     ss, ax
        mov     bp, 7C00h
        lea     sp, [bp-20h]
        sti
        mov     di, sp                  ; the kernel looks below BP for a command line:
        mov     cl, 10h                 ; leave none there
        xor     ax, ax
        rep     stosw
        mov     [DRIVE], dl
        mov     si, loading_text
        call    print

        mov     eax, [bp+BPB_HIDDEN]
        fat32_init
        push    DIR_SEG
        pop     es
        mov     eax, [bp+BPB_ROOT_CLUS]
        mov     word [REMAIN], 128
        call    load_chain

        push    DIR_SEG
        pop     es
        mov     dx, 128                 ; bytes read: 0 stands for all 64 KiB
        sub     dx, [REMAIN]
        shl     dx, 9
        xor     di, di
.entry:
        cmp     byte [es:di], 0         ; end of the directory
        je      disk_error
        pusha
        mov     si, kernel_name
        mov     cx, 11
        repe    cmpsb
        popa
        jne     .next
        test    byte [es:di+11], 18h    ; neither a directory nor the volume label
        jz      .found
.next:
        add     di, 32
        cmp     di, dx
        jne     .entry
        jmp     short disk_error

.found:
        mov     ebx, [es:di+28]         ; size in bytes, in whole sectors (1 and up)
        dec     ebx
        shr     ebx, 9
        cmp     ebx, MAX_SECTORS
        jae     disk_error
        inc     bx
        mov     [REMAIN], bx
        push    word [es:di+20]         ; first cluster, high word
        push    word [es:di+26]         ; and low word
        pop     eax
        push    LOAD_SEG
        pop     es
        call    load_chain
        cmp     word [REMAIN], 0        ; the chain ended early
        jne     disk_error
        mov     bl, [DRIVE]
        jmp     LOAD_SEG:0

disk_error:
        mov     si, missing_text
        call    print
        xor     ah, ah
        int     16h
        int     19h

; DS:SI = zero-terminated text.
print:
        lodsb
        test    al, al
        jz      .done
        mov     ah, 0Eh
        mov     bx, 7
        int     10h
        jmp     short print
.done:
        ret

%include "disk.inc"
        fat32_load_chain

loading_text:
        db      "Loading FreeDOS ", 0

        times   1EEh-($-$$) db 0
missing_text:
        db      "No "
kernel_name:
        db      "KERNEL  SYS"
        db      0, 0
        dw      0AA55h
