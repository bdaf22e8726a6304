; FAT32 partition boot sector of the boot loader: loads the file "BOOT" from the
; root directory to 0x2000:0200 and enters it there with DL = BIOS drive.
; A key pressed within about two seconds picks another file: 0-9 or A-Z (a-z taken
; as upper case) turns the name into "BOOTx"; any other key keeps "BOOT", and so
; does a chosen file that is not there.
; Bytes 3-89 are the volume's parameter block, copied in from the formatted sector
; when the drive is prepared. The partition start comes from the table entry at
; DS:SI that the master boot record hands over, or else from the hidden sectors.
        bits    16
        cpu     386
        org     7C00h

%include "fat32.inc"

%define LBA_ONLY
%define DRIVE      bp-1
%define REMAIN     bp-4
%define FAT_LBA    bp-8
%define DATA_LBA   bp-12
STACK_TOP  equ 7C00h-20h
FATBUF     equ 7E00h
FATBUF_SEG equ 07E0h
DIR_SEG    equ 1000h                    ; 64 KiB of root directory
LOAD_SEG   equ 2020h                    ; 0x2000:0200 as a segment of its own
MAX_SECTORS equ (0A0000h-20200h)/512    ; up to the end of conventional memory
KEY_TICKS  equ 37                       ; BIOS ticks of 55 ms: about two seconds
NAME_KEY   equ 90+4                     ; where the chosen character goes

        jmp     short start
        nop
        times   90-($-$$) db 0
        db      "BOOT       "

start:
        cli
        xor     ax, ax
        mov     ss, ax
        mov     sp, STACK_TOP
        mov     bp, 7C00h
        sti
        test    byte [si], 7Fh          ; still the caller's DS: does SI point at a table entry?
        jnz     .hidden
        mov     eax, [si+8]
        test    eax, eax
        jnz     .start
.hidden:
        mov     eax, [bp+BPB_HIDDEN]
.start:
        push    ss
        pop     ds
        push    ss
        pop     es
        cld
        mov     [DRIVE], dl
        fat32_init

        push    DIR_SEG                 ; up to 64 KiB of the root directory
        pop     es
        mov     eax, [bp+BPB_ROOT_CLUS]
        mov     word [REMAIN], 128
        call    load_chain

        mov     cx, [46Ch]
.wait:
        mov     ah, 1
        int     16h
        jnz     .key
        mov     ax, [46Ch]
        sub     ax, cx
        cmp     ax, KEY_TICKS
        jb      .wait
        jmp     short .search
.key:
        xor     ah, ah
        int     16h
        cmp     al, '0'
        jb      .search
        cmp     al, '9'
        jbe     .chosen
        and     al, 0DFh
        cmp     al, 'A'
        jb      .search
        cmp     al, 'Z'
        ja      .search
.chosen:
        mov     [bp+NAME_KEY], al

.search:
        push    DIR_SEG
        pop     es
        mov     dx, 128                 ; bytes read: 0 stands for all 64 KiB
        sub     dx, [REMAIN]
        shl     dx, 9
        xor     di, di
.entry:
        cmp     byte [es:di], 0         ; end of the directory
        je      .missing
        pusha
        lea     si, [bp+90]
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
.missing:
        cmp     byte [bp+NAME_KEY], ' '
        je      disk_error
        mov     byte [bp+NAME_KEY], ' '
        jmp     short .search

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
        mov     dl, [DRIVE]
        jmp     2000h:0200h

disk_error:
        mov     si, error_text
.print:
        lodsb
        test    al, al
        jz      .halt
        mov     ah, 0Eh
        mov     bx, 7
        int     10h
        jmp     short .print
.halt:
        hlt
        jmp     short .halt

%include "disk.inc"
        fat32_load_chain

error_text:
        db      13, 10, "error", 0

        times   510-($-$$) db 0
        dw      0AA55h
