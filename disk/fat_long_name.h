#pragma once
// Collecting a long name from the long-name entries in front of a short-name entry.
#include <cstdint>

#include "disk/fat_reader.h"
#include "platform/byte_reader.h"

namespace fat_detail {

struct long_name_state_s {
    uint8_t ord = 0xFF;       // sequence number expected next; 0 = complete; 0xFF = none
    uint8_t checksum = 0xFF;  // short-name checksum the long-name entries carry
};

// Takes one long-name entry (the directory's current entry, at dir.index) into dir.long_name.
// An entry that does not continue the name resets the state to none.
void take_long_name_entry(fat_dir& dir, platform::byte_reader entry, long_name_state_s& state);

// The checksum of a short-name entry's 11 name bytes, as long-name entries record it.
uint8_t short_name_checksum(platform::byte_reader entry);

}  // namespace fat_detail
