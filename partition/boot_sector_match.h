#pragma once
// Recognition of NTFS and FAT32 boot sectors lying anywhere on a drive.
#include <QString>
#include <cstdint>
#include <optional>

#include "platform/byte_reader.h"

struct boot_sector_match_s {
    QString file_system;
    uint32_t partition_type = 0;
    // Sectors the partition spans as its boot sector tells (not yet checked against the drive).
    uint64_t sector_count = 0;
};

// "NTFS    " OEM name, 512 bytes per sector and the 0x55AA signature.
bool is_ntfs_boot_sector(platform::byte_reader sector);

// The 0x55AA signature in this sector and the next, and an OEM name beginning "MSWIN" or
// "MSDOS"; or, for volumes formatted elsewhere, a valid FAT32 parameter block followed by an
// FSInfo sector.
bool is_fat32_boot_sector(platform::byte_reader sector, platform::byte_reader next_sector);

// The partition a sector starts, NTFS tested first; nullopt when it starts none or its size
// comes out as 0.
std::optional<boot_sector_match_s> match_boot_sector(platform::byte_reader sector,
                                                     platform::byte_reader next_sector);
