#pragma once
// The FAT boot sector: its signature and its BIOS parameter block.
#include <cstdint>

#include "platform/byte_reader.h"

namespace fat_detail {

enum boot_check_e : uint8_t {
    boot_fat = 0,          // signature and a "FAT" marker
    boot_no_marker = 1,    // signature only (a partition table, say)
    boot_no_signature = 2,
    boot_unreadable = 3,
};
// What a sector holds, by its 0x55 0xAA signature and the "FAT" marker at byte 54 or 82.
boot_check_e check_boot_signature(platform::byte_reader sector);

// The geometry a valid parameter block gives, with absolute sector numbers.
struct fat_layout_s {
    uint8_t fs_type = 0;
    uint8_t cluster_sectors = 0;
    uint8_t fat_count = 0;
    uint16_t root_entries = 0;
    uint32_t fat_entries = 0;
    uint32_t fat_sectors = 0;
    uint32_t fat_start = 0;
    uint32_t root_start = 0;
    uint32_t data_start = 0;
};

// Checks the parameter block of a boot sector read at absolute sector base; true with the
// layout when every field is sound and the volume fits 32-bit sector numbers.
bool read_boot_parameters(platform::byte_reader boot, uint32_t base, fat_layout_s& layout);

}  // namespace fat_detail
