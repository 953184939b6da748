// Short (8.3) names: code page 936 bytes to UTF-16, with the NT lower-case bits.
#include "disk/cp936.h"
#include "disk/fat_internal.h"

namespace fat_detail {
namespace {

constexpr uint8_t nt_lower_case_base = 0x08;
constexpr uint8_t nt_lower_case_extension = 0x10;

// Appends one part of the name (it ends at its first space); a lead byte pairs with the next
// byte of the same part into one double-byte code.
void append_part(const uint8_t* part, size_t length, bool lower_case, char16_t* name, size_t& out) {
    size_t used = 0;
    while (used < length && part[used] != ' ') ++used;
    for (size_t i = 0; i < used; ++i) {
        uint16_t code = part[i];
        if (cp936_is_lead_byte(part[i]) && i + 1 < used && cp936_is_trail_byte(part[i + 1])) {
            code = static_cast<uint16_t>(part[i] << 8 | part[i + 1]);
            ++i;
        } else if (lower_case && code >= 'A' && code <= 'Z') {
            code = static_cast<uint16_t>(code + ('a' - 'A'));
        }
        char16_t unit = cp936_to_utf16(code);
        name[out++] = (unit == 0 && code != 0) ? u'?' : unit;
    }
}

}  // namespace

void decode_short_name(platform::byte_reader entry, char16_t (&name)[fat_short_name_units]) {
    uint8_t bytes[11];
    for (size_t i = 0; i < sizeof bytes; ++i) bytes[i] = entry.u8(i);
    // 0x05 stands for a name whose first byte really is 0xE5.
    if (bytes[0] == 0x05) bytes[0] = 0xE5;
    uint8_t case_bits = entry.u8(12);

    size_t out = 0;
    append_part(bytes, 8, case_bits & nt_lower_case_base, name, out);
    if (bytes[8] != ' ') {
        name[out++] = u'.';
        append_part(bytes + 8, 3, case_bits & nt_lower_case_extension, name, out);
    }
    name[out] = 0;
}

}  // namespace fat_detail
