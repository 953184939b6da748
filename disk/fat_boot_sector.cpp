#include "disk/fat_boot_sector.h"

#include "disk/fat_reader.h"

namespace fat_detail {

boot_check_e check_boot_signature(platform::byte_reader sector) {
    if (sector.u8(510) != 0x55 || sector.u8(511) != 0xAA) return boot_no_signature;
    if (sector.matches(54, "FAT") || sector.matches(82, "FAT")) return boot_fat;
    return boot_no_marker;
}

namespace {

// The fields the checks need, widened so that no sum or product can overflow.
struct parameter_block_s {
    uint64_t bytes_per_sector, sectors_per_fat, fat_count, cluster_sectors;
    uint64_t root_entries, total_sectors, reserved_sectors, root_cluster;
};

parameter_block_s read_fields(platform::byte_reader boot) {
    parameter_block_s p{};
    p.bytes_per_sector = boot.u16(11);
    p.cluster_sectors = boot.u8(13);
    p.reserved_sectors = boot.u16(14);
    p.fat_count = boot.u8(16);
    p.root_entries = boot.u16(17);
    p.total_sectors = boot.u16(19) ? boot.u16(19) : boot.u32(32);
    p.sectors_per_fat = boot.u16(22) ? boot.u16(22) : boot.u32(36);
    p.root_cluster = boot.u32(44);
    return p;
}

bool is_power_of_two(uint64_t value) {
    return value != 0 && (value & (value - 1)) == 0;
}

uint8_t type_by_cluster_count(uint64_t clusters) {
    if (clusters < 4086) return fat_type_fat12;
    if (clusters < 65526) return fat_type_fat16;
    return fat_type_fat32;
}

// Bytes the FAT needs for fat_entries entries.
uint64_t fat_bytes_needed(uint8_t fs_type, uint64_t fat_entries) {
    switch (fs_type) {
    case fat_type_fat12:
        return fat_entries * 3 / 2 + (fat_entries & 1);
    case fat_type_fat16:
        return fat_entries * 2;
    default:
        return fat_entries * 4;
    }
}

}  // namespace

bool read_boot_parameters(platform::byte_reader boot, uint32_t base, fat_layout_s& layout) {
    if (!boot.has(0, fat_sector_size)) return false;
    const parameter_block_s p = read_fields(boot);
    if (p.bytes_per_sector != fat_sector_size) return false;
    if (p.fat_count != 1 && p.fat_count != 2) return false;
    if (!is_power_of_two(p.cluster_sectors)) return false;
    if (p.root_entries % 16 != 0) return false;
    if (p.reserved_sectors == 0) return false;
    // Every sector of the volume must have a 32-bit absolute number.
    if (uint64_t{base} + p.total_sectors > 0x100000000ULL) return false;

    const uint64_t system_sectors = p.reserved_sectors + p.root_entries / 16 + p.sectors_per_fat * p.fat_count;
    if (p.total_sectors < system_sectors) return false;
    const uint64_t clusters = (p.total_sectors - system_sectors) / p.cluster_sectors;
    if (clusters == 0) return false;

    const uint8_t fs_type = type_by_cluster_count(clusters);
    // Cluster numbers from 0x0FFFFFF7 up are FAT32 markers, not clusters.
    if (fs_type == fat_type_fat32 && clusters > 0x0FFFFFF5) return false;
    if ((fs_type == fat_type_fat32) != (p.root_entries == 0)) return false;
    const uint64_t fat_entries = clusters + 2;
    if (p.sectors_per_fat < (fat_bytes_needed(fs_type, fat_entries) + fat_sector_size - 1) / fat_sector_size)
        return false;

    layout.fs_type = fs_type;
    layout.cluster_sectors = static_cast<uint8_t>(p.cluster_sectors);
    layout.fat_count = static_cast<uint8_t>(p.fat_count);
    layout.root_entries = static_cast<uint16_t>(p.root_entries);
    layout.fat_entries = static_cast<uint32_t>(fat_entries);
    layout.fat_sectors = static_cast<uint32_t>(p.sectors_per_fat);
    layout.fat_start = static_cast<uint32_t>(base + p.reserved_sectors);
    layout.data_start = static_cast<uint32_t>(base + system_sectors);
    layout.root_start = fs_type == fat_type_fat32
                            ? static_cast<uint32_t>(p.root_cluster)
                            : static_cast<uint32_t>(layout.fat_start + p.sectors_per_fat * p.fat_count);
    return true;
}

}  // namespace fat_detail
