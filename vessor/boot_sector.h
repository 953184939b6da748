#pragma once
// The NTFS boot sector: the volume's geometry and where its master file table starts.
#include <cstdint>

#include "platform/byte_reader.h"

namespace vessor {

struct volume_geometry_s {
    uint32_t bytes_per_sector = 0;
    uint32_t cluster_size = 0;     // 512 bytes .. 2 MiB
    uint32_t record_size = 0;      // file record size, 512 .. 64 KiB
    uint64_t total_sectors = 0;
    uint64_t total_clusters = 0;
    uint64_t mft_lcn = 0;
};

// False when the sector is not an NTFS boot sector or a field is out of range.
bool parse_boot_sector(const platform::byte_reader& sector, volume_geometry_s& geometry);

}  // namespace vessor
