#pragma once
// Code page 936 (simplified Chinese, as Windows publishes it) to UTF-16, for short names.
#include <cstdint>

// The UTF-16 unit of a code: a single byte (below 0x100) or a double-byte code (lead byte
// high); 0 when the code page has no mapping for it.
char16_t cp936_to_utf16(uint16_t code);

// True when the byte pair forms one double-byte code.
inline bool cp936_is_lead_byte(uint8_t byte) { return byte >= 0x81 && byte <= 0xFE; }
inline bool cp936_is_trail_byte(uint8_t byte) {
    return (byte >= 0x40 && byte <= 0x7E) || (byte >= 0x80 && byte <= 0xFE);
}

// The generated tables (disk/cp936_table.cpp).
extern const char16_t cp936_single_byte_table[128];     // bytes 0x80..0xFF
extern const char16_t cp936_double_byte_table[126 * 191];  // lead 0x81..0xFE by trail 0x40..0xFE
