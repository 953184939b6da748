#include "partition/boot_sector_match.h"

namespace {

constexpr size_t sector_bytes = 512;

bool has_boot_signature(platform::byte_reader sector) {
    return sector.has(0, sector_bytes) && sector.u8(510) == 0x55 && sector.u8(511) == 0xAA;
}

bool is_power_of_two(uint32_t value) {
    return value != 0 && (value & (value - 1)) == 0;
}

// The FAT32 parameter block as every formatter writes it, whatever its OEM name.
bool has_fat32_parameter_block(platform::byte_reader sector) {
    uint32_t fat_count = sector.u8(16);
    return sector.u16(11) == sector_bytes && is_power_of_two(sector.u8(13)) && sector.u16(14) != 0 &&
           (fat_count == 1 || fat_count == 2) && sector.u16(17) == 0 && sector.u32(36) != 0;
}

bool is_fsinfo_sector(platform::byte_reader sector) {
    return has_boot_signature(sector) && sector.matches(0, "RRaA") && sector.matches(484, "rrAa");
}

}  // namespace

bool is_ntfs_boot_sector(platform::byte_reader sector) {
    // A volume of other sector size cannot be addressed by this drive's 512-byte sectors.
    return has_boot_signature(sector) && sector.matches(3, "NTFS    ") && sector.u16(11) == sector_bytes;
}

bool is_fat32_boot_sector(platform::byte_reader sector, platform::byte_reader next_sector) {
    if (!has_boot_signature(sector) || !has_boot_signature(next_sector)) return false;
    if (sector.matches(3, "MSWIN") || sector.matches(3, "MSDOS")) return true;
    return has_fat32_parameter_block(sector) && is_fsinfo_sector(next_sector);
}

std::optional<boot_sector_match_s> match_boot_sector(platform::byte_reader sector,
                                                     platform::byte_reader next_sector) {
    boot_sector_match_s match;
    if (is_ntfs_boot_sector(sector)) {
        // The backup boot sector after the counted sectors belongs to the partition too;
        // a total of 2^64 - 1 wraps to 0 and is no partition.
        match = {QStringLiteral("NTFS"), 7, sector.u64(40) + 1};
    } else if (is_fat32_boot_sector(sector, next_sector)) {
        match = {QStringLiteral("FAT32"), 12, sector.u32(32)};
    } else {
        return std::nullopt;
    }
    if (match.sector_count == 0) return std::nullopt;
    return match;
}
