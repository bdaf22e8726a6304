; Master boot record of the boot loader. Chooses a partition as the loader's own MBR
; does: the active one first, then one of a type the loader boots from (FAT32, exFAT,
; HFS+) whose boot sector is the loader's (FAT32 "BOO" name at byte 90, "EX" at byte
; 3, or an HFS+ volume header). Loads the first three sectors of that partition to
; 0:7C00 and enters them with DL = BIOS drive and DS:SI = the partition's entry.
; Reads use the INT 13h extensions when present and CHS otherwise.
        bits    16
        cpu     386
        org     600h

%include "mbr.inc"

        mbr_start
        call    disk_probe

        mov     si, TABLE
.active:
        cmp     byte [si], 80h
        jne     .next_active
        mov     cx, 3
        call    load_boot
        jnc     enter_boot
.next_active:
        add     si, 16
        cmp     si, TABLE_END
        jb      .active

        mov     si, TABLE
.typed:
        mov     al, [si+4]
        mov     di, boot_types
        mov     cx, boot_types_end-boot_types
        repne   scasb
        jne     .next_typed
        mov     cl, 3
        call    load_boot
        jc      .next_typed
        cmp     word [7C00h+90], "BO"   ; the loader's FAT32 sector names its file there
        je      enter_boot
        cmp     word [7C00h+3], "EX"    ; exFAT
        je      enter_boot
        mov     ax, [7C00h+1024]        ; HFS+ / HFSX volume header
        cmp     ax, "H+"
        je      enter_boot
        cmp     ax, "HX"
        je      enter_boot
.next_typed:
        add     si, 16
        cmp     si, TABLE_END
        jb      .typed

disk_error:
        mov     si, error_text
        call    print
.halt:
        hlt
        jmp     short .halt

        mbr_helpers
%include "disk.inc"

boot_types:
        db      0AFh, 0Ch, 0Bh, 07h     ; HFS+, FAT32 LBA, FAT32, exFAT/NTFS
boot_types_end:
error_text:
        db      13, 10, "boot0: ", "error", 0

        times   1B8h-($-$$) db 0        ; disk signature and partition table: zero
        times   510-($-$$) db 0
        dw      0AA55h
