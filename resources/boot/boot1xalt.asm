; exFAT boot region code of the boot loader: loads the file "BOOT" from the root
; directory to 0x2000:0200 and enters it there with DL = BIOS drive.
; A key pressed within about two seconds picks another file: 0-9 or A-Z (a-z taken
; as upper case) makes the name "BOOTx"; any other key keeps "BOOT", and so does a
; chosen file that is not there.
; Four sectors: the boot sector (bytes 0-119 are the volume's own, copied in from the
; formatted sector when the drive is prepared), then the first extended boot sector,
; which the boot sector loads itself, then two empty extended boot sectors.
; The partition start is the volume's PartitionOffset, or when that is 0 the table
; entry at DS:SI handed over by the master boot record. Sectors are 512 bytes.
; Reads use the INT 13h extensions when present and CHS otherwise.
        bits    16
        cpu     386
        org     7C00h

%define DRIVE      bp-1
%define CHS_SPT    bp-8
%define CHS_HEADS  bp-12
%define PART       bp-16                ; first sector of the volume
%define REMAIN     bp-18                ; sectors of the file still to read
%define STATE      bp-19                ; which entry of a file's set comes next
%define NAME_LEN   bp-20
%define FLAGS      bp-21                ; the stream entry's flags
%define FIRST      bp-28                ; the stream entry's first cluster
STACK_TOP  equ 7C00h-40h
DIRBUF     equ 8000h
DIRBUF_SEG equ 0800h
FATBUF     equ 8200h
FATBUF_SEG equ 0820h
LOAD_SEG   equ 2020h                    ; 0x2000:0200 as a segment of its own
MAX_SECTORS equ (0A0000h-20200h)/512    ; up to the end of conventional memory
KEY_TICKS  equ 37                       ; BIOS ticks of 55 ms: about two seconds

; exFAT boot sector fields, relative to BP
PARTITION_OFFSET equ 64
FAT_OFFSET       equ 80
HEAP_OFFSET      equ 88
ROOT_CLUSTER     equ 96
SECTOR_SHIFT     equ 108
CLUSTER_SHIFT    equ 109
DRIVE_SELECT     equ 111

        jmp     short start
        nop
        times   120-($-$$) db 0

start:
        cli
        xor     ax, ax
        mov     ss, ax
        mov     bp, 7C00h
        mov     sp, STACK_TOP
        sti
        mov     eax, [bp+PARTITION_OFFSET]
        cmp     dword [bp+PARTITION_OFFSET+4], 0
        jne     disk_error
        test    eax, eax
        jnz     .start
        test    byte [si], 7Fh          ; still the caller's DS: does SI point at a table entry?
        jnz     .start
        cmp     byte [si+4], 0
        je      .start
        mov     eax, [si+8]
.start:
        push    ss
        pop     ds
        push    ss
        pop     es
        cld
        mov     [PART], eax
        mov     [bp+DRIVE_SELECT], dl
        call    disk_probe
        mov     si, init_text
        call    print_tagged
        mov     eax, [PART]             ; the extended boot sector with the rest of the code
        inc     eax
        push    07E0h
        pop     es
        mov     cx, 1
        call    read_sectors
        cmp     word [7E00h+510], 0AA55h
        je      stage2

disk_error:
        mov     si, error_text
        call    print_tagged
.halt:
        hlt
        jmp     short .halt

; Prints "boot1x: " on a new line, then the zero-terminated text at SI.
print_tagged:
        push    si
        mov     si, tag_text
        call    print
        pop     si
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

tag_text:
        db      13, 10, "boot1x: ", 0
init_text:
        db      "init", 0
error_text:
        db      "error", 0

        times   510-($-$$) db 0
        dw      0AA55h

; ---- extended boot sector 1, at 0:7E00 ----------------------------------------

stage2:
        cmp     byte [bp+SECTOR_SHIFT], 9
        jne     disk_error
        mov     byte [NAME_LEN], 4

        mov     cx, [46Ch]
.wait:
        mov     ah, 1
        int     16h
        jnz     .key
        mov     ax, [46Ch]
        sub     ax, cx
        cmp     ax, KEY_TICKS
        jb      .wait
        jmp     short search
.key:
        xor     ah, ah
        int     16h
        cmp     al, '0'
        jb      search
        cmp     al, '9'
        jbe     .chosen
        and     al, 0DFh
        cmp     al, 'A'
        jb      search
        cmp     al, 'Z'
        ja      search
.chosen:
        mov     [boot_name+4], al
        inc     byte [NAME_LEN]

; Walks the root directory for a file entry, its stream entry and its first name
; entry that together name the wanted file. Entry sets may span sectors and clusters.
search:
        mov     byte [STATE], 0
        mov     eax, [bp+ROOT_CLUSTER]
.cluster:
        push    eax
        call    cluster_lba
.sector:
        push    ecx
        push    DIRBUF_SEG
        pop     es
        mov     cx, 1
        call    read_sectors
        push    eax                     ; the next sector
        mov     si, DIRBUF
.entry:
        mov     al, [si]
        test    al, al                  ; end of the directory
        jz      .missing
        cmp     al, 85h                 ; file
        jne     .stream
        mov     byte [STATE], 0
        test    byte [si+4], 10h        ; a directory
        jnz     .next
        cmp     byte [si+1], 2          ; needs a stream and a name entry
        jb      .next
        mov     byte [STATE], 1
        jmp     short .next
.stream:
        cmp     al, 0C0h
        jne     .name
        cmp     byte [STATE], 1
        jne     .reset
        mov     bl, [NAME_LEN]
        cmp     [si+3], bl
        jne     .reset
        mov     bl, [si+1]
        mov     [FLAGS], bl
        mov     ebx, [si+20]
        mov     [FIRST], ebx
        mov     ebx, [si+8]             ; valid data length, in whole sectors (1 and up)
        cmp     dword [si+12], 0
        jne     .reset
        dec     ebx
        shr     ebx, 9
        cmp     ebx, MAX_SECTORS
        jae     .reset
        inc     bx
        mov     [REMAIN], bx
        mov     byte [STATE], 2
        jmp     short .next
.name:
        cmp     al, 0C1h
        jne     .reset
        cmp     byte [STATE], 2
        jne     .reset
        movzx   cx, byte [NAME_LEN]
        mov     di, boot_name
        lea     bx, [si+2]
.char:
        mov     ax, [bx]
        cmp     al, 'a'
        jb      .upper
        cmp     al, 'z'
        ja      .upper
        sub     al, 20h
.upper:
        cmp     ah, 0
        jne     .reset
        cmp     al, [di]
        jne     .reset
        inc     di
        add     bx, 2
        loop    .char
        jmp     short load
.reset:
        mov     byte [STATE], 0
.next:
        add     si, 32
        cmp     si, DIRBUF+512
        jb      .entry
        pop     eax
        pop     ecx
        dec     ecx
        jnz     .sector
        pop     eax
        call    next_cluster
        jnc     .cluster
.missing:
        cmp     byte [NAME_LEN], 4
        je      disk_error
        mov     byte [NAME_LEN], 4
        mov     sp, STACK_TOP
        jmp     search

; Reads the file found: one run when it is contiguous, otherwise cluster by cluster.
load:
        mov     sp, STACK_TOP
        test    byte [FLAGS], 1         ; no space allocated
        jz      disk_error
        mov     eax, [FIRST]
        push    LOAD_SEG
        pop     es
.cluster:
        push    eax
        call    cluster_lba
        test    byte [FLAGS], 2         ; contiguous: all of it at once
        jnz     .all
        movzx   ebx, word [REMAIN]
        cmp     ecx, ebx
        jbe     .part
.all:
        mov     cx, [REMAIN]
.part:
        sub     [REMAIN], cx
        call    read_sectors
        pop     eax
        cmp     word [REMAIN], 0
        je      .enter
        call    next_cluster
        jnc     .cluster
        jmp     disk_error              ; the chain ends before the file does
.enter:
        mov     dl, [DRIVE]
        jmp     2000h:0200h

; In: EAX = cluster. Out: EAX = its first LBA, ECX = sectors per cluster.
cluster_lba:
        mov     cl, [bp+CLUSTER_SHIFT]
        sub     eax, 2
        shl     eax, cl
        xor     ebx, ebx
        inc     bx
        shl     ebx, cl
        mov     ecx, ebx
        add     eax, [bp+HEAP_OFFSET]
        add     eax, [PART]
        ret

; In: EAX = cluster. Out: EAX = the next cluster of its chain; CF set at the end of
; the chain or on an entry that cannot continue one. Clobbers BX, CX, SI, DI.
next_cluster:
        push    es
        mov     bx, ax
        and     bx, 127                 ; 128 entries per FAT sector
        shl     bx, 2
        shr     eax, 7
        add     eax, [bp+FAT_OFFSET]
        add     eax, [PART]
        push    FATBUF_SEG
        pop     es
        mov     cx, 1
        call    read_sectors
        pop     es
        mov     eax, [bx+FATBUF]
        cmp     eax, 0FFFFFFF7h         ; bad cluster or end of chain
        cmc
        jc      .end
        cmp     eax, 2
.end:
        ret

boot_name:
        db      "BOOT "

        times   1024-4-($-$$) db 0
        db      0, 0, 55h, 0AAh
; ---- extended boot sectors 2 and 3: no code ----------------------------------
        times   1536-4-($-$$) db 0
        db      0, 0, 55h, 0AAh
        times   2048-4-($-$$) db 0
        db      0, 0, 55h, 0AAh
