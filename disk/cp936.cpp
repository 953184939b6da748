#include "disk/cp936.h"

char16_t cp936_to_utf16(uint16_t code) {
    if (code < 0x80) return code;
    if (code <= 0xFF) return cp936_single_byte_table[code - 0x80];
    uint8_t lead = static_cast<uint8_t>(code >> 8);
    uint8_t trail = static_cast<uint8_t>(code);
    if (!cp936_is_lead_byte(lead) || trail < 0x40 || trail == 0xFF) return 0;
    return cp936_double_byte_table[(lead - 0x81) * 191 + (trail - 0x40)];
}
