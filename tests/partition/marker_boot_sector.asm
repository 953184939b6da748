; A partition boot sector for the boot-loader test. It looks like an NTFS boot sector (so the
; partition search finds it), and when started it checks what the MBR loader handed over:
; DL = 0x80 (first hard disk) and DS:SI pointing at an active table entry whose address is
; this partition's own start (the hidden-sectors field, patched in by the test). It prints
; "TARNWELL MARKER OK" or "TARNWELL MARKER BAD" on the screen and halts.
bits 16
cpu 186
org 0x7C00

    jmp short code
    nop
    db "NTFS    "           ; 3: OEM name
    dw 512                  ; 11: bytes per sector
    db 8                    ; 13: sectors per cluster
    times 0x1C - ($ - $$) db 0
hidden_sectors:
    dd 0                    ; 0x1C: the partition's first sector (patched)
    times 0x28 - ($ - $$) db 0
    dq 0                    ; 0x28: total sectors (patched)
    times 0x54 - ($ - $$) db 0

code:
    mov bx, msg_bad
    cmp dl, 0x80
    jne report
    cmp byte [si], 0x80
    jne report
    mov ax, [si + 8]
    cmp ax, [hidden_sectors]
    jne report
    mov ax, [si + 10]
    cmp ax, [hidden_sectors + 2]
    jne report
    mov bx, msg_ok
report:
    xor ax, ax
    mov ds, ax
    mov si, bx
.next:
    lodsb
    test al, al
    jz .halt
    mov ah, 0x0E
    mov bx, 0x0007
    int 0x10
    jmp .next
.halt:
    hlt
    jmp .halt

msg_ok  db "TARNWELL MARKER OK", 0
msg_bad db "TARNWELL MARKER BAD", 0

    times 510 - ($ - $$) db 0
    dw 0xAA55
