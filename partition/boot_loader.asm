; Master boot record loader: the 440 bytes of code at the start of sector 0.
;
; The BIOS loads sector 0 to 0000:7C00 and jumps to it with the boot drive in DL. The loader
; moves itself to 0000:0600 to free 7C00 for the partition's boot sector, picks the one active
; entry of the partition table, reads that partition's first sector (by LBA through the BIOS
; disk extensions; without them by CHS computed from the BIOS's own geometry), checks its
; 55AA signature and jumps to it with DL = boot drive and DS:SI = the active table entry.
;
; Assemble with: nasm -f bin -o boot_loader.bin boot_loader.asm

bits 16
cpu 186
org 0x0600

RELOCATED   equ 0x0600
LOADED      equ 0x7C00
TABLE       equ RELOCATED + 446
SIGNATURE   equ LOADED + 510
RETRIES     equ 4

start:
    cli
    xor ax, ax
    mov ss, ax
    mov sp, LOADED
    mov ds, ax
    mov es, ax
    sti
    cld
    mov si, LOADED
    mov di, RELOCATED
    mov cx, 256
    rep movsw
    jmp 0:relocated

relocated:
    mov [boot_drive], dl

; Every status byte must be 0x00 or 0x80, and exactly one entry 0x80.
find_active:
    mov si, TABLE
    xor bx, bx
    mov cx, 4
.entry:
    mov al, [si]
    test al, al
    jz .next
    cmp al, 0x80
    jne invalid_table
    test bx, bx
    jnz invalid_table
    mov bx, si
.next:
    add si, 16
    loop .entry
    test bx, bx
    jz invalid_table
    mov [active_entry], bx

; The disk extensions, when present, read by the entry's 32-bit logical block address.
    mov ah, 0x41
    mov bx, 0x55AA
    mov dl, [boot_drive]
    int 0x13
    jc read_chs
    cmp bx, 0xAA55
    jne read_chs
    test cl, 1
    jz read_chs

read_lba:
    mov si, [active_entry]
    mov ax, [si + 8]
    mov [dap_lba], ax
    mov ax, [si + 10]
    mov [dap_lba + 2], ax
    mov di, RETRIES
.try:
    mov si, dap
    mov dl, [boot_drive]
    mov ah, 0x42
    int 0x13
    jnc check_loaded
    call reset_disk
    dec di
    jnz .try
    jmp load_error

; Without extensions: the CHS address of the entry's LBA in the geometry the BIOS reports
; (the table's CHS bytes may come from another geometry, or have wrapped). A sector beyond
; cylinder 1023 cannot be reached this way.
read_chs:
    mov ah, 0x08
    mov dl, [boot_drive]
    xor di, di                  ; es:di = 0:0 works around BIOSes that use it
    int 0x13
    jc load_error
    xor ax, ax
    mov es, ax                  ; some BIOSes hand back a table pointer in es:di
    and cx, 0x3F                ; sectors per track
    jz load_error
    mov [sectors_per_track], cx
    mov bl, dh
    xor bh, bh
    inc bx                      ; heads
    mov [heads], bx

    mov si, [active_entry]
    mov ax, [si + 10]           ; high word of the LBA
    xor dx, dx
    div word [sectors_per_track]
    mov di, ax                  ; high word of the track number
    mov ax, [si + 8]
    div word [sectors_per_track] ; ax = low word of the track, dx = sector - 1
    inc dx
    mov [chs_sector], dl
    cmp di, [heads]             ; the cylinder division below would overflow
    jae load_error
    mov dx, di
    div word [heads]            ; ax = cylinder, dx = head
    cmp ax, 1023
    ja load_error
    mov [chs_head], dl
    mov [chs_cylinder], ax

    mov di, RETRIES
.try:
    mov ax, [chs_cylinder]
    mov ch, al
    mov cl, ah
    shl cl, 6
    or cl, [chs_sector]
    mov dh, [chs_head]
    mov dl, [boot_drive]
    mov bx, LOADED
    mov ax, 0x0201
    int 0x13
    jnc check_loaded
    call reset_disk
    dec di
    jnz .try
    jmp load_error

check_loaded:
    cmp word [SIGNATURE], 0xAA55
    jne missing_os
    mov si, [active_entry]
    mov dl, [boot_drive]
    jmp 0:LOADED

reset_disk:
    xor ax, ax
    mov dl, [boot_drive]
    int 0x13
    ret

invalid_table:
    mov si, msg_invalid_table
    jmp print_and_halt
load_error:
    mov si, msg_load_error
    jmp print_and_halt
missing_os:
    mov si, msg_missing_os

print_and_halt:
    lodsb
    test al, al
    jz .halt
    mov ah, 0x0E
    mov bx, 0x0007
    int 0x10
    jmp print_and_halt
.halt:
    hlt
    jmp .halt

msg_invalid_table   db "Invalid partition table", 0
msg_load_error      db "Error loading operating system", 0
msg_missing_os      db "Missing operating system", 0

; Disk address packet of the extended read: one sector to 0000:7C00.
dap:
    db 16, 0
    dw 1
    dw LOADED, 0
dap_lba:
    dd 0, 0

%if ($ - $$) > 440
    %error "the boot loader exceeds the 440 bytes before the disk signature"
%endif
    times 440 - ($ - $$) db 0

; Working variables, in free memory after the relocated sector.
absolute RELOCATED + 512
boot_drive          resb 1
chs_head            resb 1
chs_sector          resb 1
                    resb 1
active_entry        resw 1
sectors_per_track   resw 1
heads               resw 1
chs_cylinder        resw 1
