; Master boot record for a USB drive holding a system with its own partition boot
; sector (Windows, FreeDOS): announces itself, loads the boot sector of the first
; active partition to 0:7C00 and enters it with DL = BIOS drive and DS:SI = the
; partition's entry. Without an active partition, or when its boot sector cannot be
; read or lacks 55 AA, it says "Boot failed" and gives the BIOS the next boot device.
; Reads use the INT 13h extensions when present and CHS otherwise.
        bits    16
        cpu     386
        org     600h

%include "mbr.inc"

        mbr_start
        mov     si, start_text
        call    print
        call    disk_probe

        mov     si, TABLE
.find:
        cmp     byte [si], 80h
        je      .found
        add     si, 16
        cmp     si, TABLE_END
        jb      .find
        jmp     short disk_error
.found:
        mov     cx, 1
        call    load_boot
        jnc     enter_boot

disk_error:
        mov     si, failed_text
        call    print
        int     18h
.halt:
        hlt
        jmp     short .halt

        mbr_helpers
%include "disk.inc"

start_text:
        db      "Start booting from USB device...", 13, 10, 0
failed_text:
        db      "Boot failed", 13, 10, 0

        times   1B8h-($-$$) db 0        ; disk signature: zero
        times   1BEh-($-$$) db 0
        db      80h                     ; the first entry marked active, the rest empty
        times   510-($-$$) db 0
        dw      0AA55h
