#include "disk/fat_long_name.h"

#include <algorithm>

namespace fat_detail {
namespace {

constexpr unsigned units_per_entry = 13;
constexpr size_t unit_offsets[units_per_entry] = {1, 3, 5, 7, 9, 14, 16, 18, 20, 22, 24, 28, 30};
constexpr unsigned last_unit_position = 254;  // a long name holds at most 255 units

// Stores the entry's units at its place in the name. Units run up to a 0 unit, and every unit
// after that must be 0xFFFF. The last part (bit 0x40) also stores the terminating 0.
bool store_units(char16_t* name, platform::byte_reader entry, uint8_t first_byte) {
    // Sequence number 0 has no place in the name (it would store in front of the buffer).
    unsigned sequence = first_byte & 0x3F;
    if (sequence == 0) return false;
    unsigned position = (sequence - 1) * units_per_entry;
    bool ended = false;
    for (size_t offset : unit_offsets) {
        uint16_t unit = entry.u16(offset);
        if (ended) {
            if (unit != 0xFFFF) return false;
            continue;
        }
        if (unit == 0) {
            ended = true;
            continue;
        }
        if (position > last_unit_position) return false;
        name[position++] = unit;
    }
    if (first_byte & 0x40) {
        // The buffer has room for a 255-unit name and its terminator.
        if (position >= fat_long_name_units) return false;
        name[position] = 0;
    }
    return true;
}

}  // namespace

void take_long_name_entry(fat_dir& dir, platform::byte_reader entry, long_name_state_s& state) {
    uint8_t first_byte = entry.u8(0);
    if (first_byte & 0x40) {
        // The last part of a name comes first on disk and starts the name afresh.
        state.checksum = entry.u8(13);
        state.ord = first_byte & 0xBF;
        dir.long_name_index = dir.index;
        std::fill_n(dir.long_name, fat_long_name_units, u'\0');
    } else if (first_byte != state.ord) {
        state.ord = 0xFF;
        return;
    }
    if (entry.u8(13) != state.checksum || !store_units(dir.long_name, entry, first_byte)) {
        state.ord = 0xFF;
        return;
    }
    --state.ord;
}

uint8_t short_name_checksum(platform::byte_reader entry) {
    uint8_t sum = 0;
    for (size_t i = 0; i < 11; ++i) sum = static_cast<uint8_t>((sum >> 1) + (sum << 7) + entry.u8(i));
    return sum;
}

}  // namespace fat_detail
