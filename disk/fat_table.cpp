// The volume's one-sector window, cluster addresses and the file allocation table.
#include "disk/fat_internal.h"
#include "disk/sector_device.h"

namespace fat_detail {

bool load_window(fat_volume& volume, uint32_t sector) {
    if (sector == volume.window_sector || sector == 0) return true;
    // A failed read must not leave the window claiming to hold the sector.
    volume.window_sector = 0;
    if (drive_read_sectors(volume.drive, volume.window, sector, 1) != sector_ok) return false;
    volume.window_sector = sector;
    return true;
}

uint32_t cluster_sector(const fat_volume& volume, uint32_t cluster) {
    if (cluster < 2 || cluster >= volume.fat_entries) return 0;
    return static_cast<uint32_t>(volume.data_start + uint64_t{cluster - 2} * volume.cluster_sectors);
}

namespace {

// The FAT byte at a byte offset, through the window; false when its sector cannot be read.
bool fat_byte(fat_volume& volume, uint64_t offset, uint8_t& byte) {
    if (!load_window(volume, static_cast<uint32_t>(volume.fat_start + offset / fat_sector_size))) return false;
    byte = window_bytes(volume).u8(static_cast<size_t>(offset % fat_sector_size));
    return true;
}

// A little-endian FAT field of width bytes (never across a sector: offsets are aligned).
bool fat_word(fat_volume& volume, uint64_t offset, size_t width, uint32_t& value) {
    if (!load_window(volume, static_cast<uint32_t>(volume.fat_start + offset / fat_sector_size))) return false;
    value = static_cast<uint32_t>(window_bytes(volume).le(static_cast<size_t>(offset % fat_sector_size), width));
    return true;
}

}  // namespace

uint32_t next_cluster(fat_volume& volume, uint32_t cluster) {
    if (cluster < 2 || cluster >= volume.fat_entries) return 1;
    uint32_t value = 0;
    switch (volume.fs_type) {
    case fat_type_fat12: {
        // 12-bit entries: two of them share three bytes, so one may straddle two sectors.
        uint64_t offset = uint64_t{cluster} + cluster / 2;
        uint8_t low = 0, high = 0;
        if (!fat_byte(volume, offset, low) || !fat_byte(volume, offset + 1, high)) return fat_entry_unreadable;
        value = static_cast<uint32_t>(low | high << 8);
        return (cluster & 1) ? value >> 4 : value & 0xFFF;
    }
    case fat_type_fat16:
        if (!fat_word(volume, uint64_t{cluster} * 2, 2, value)) return fat_entry_unreadable;
        return value;
    case fat_type_fat32:
        if (!fat_word(volume, uint64_t{cluster} * 4, 4, value)) return fat_entry_unreadable;
        return value & 0x0FFFFFFF;
    default:
        return 1;
    }
}

}  // namespace fat_detail
