// Every check that decides what a sector is, on the input as a sector and the one after it:
// the partition search's NTFS and FAT32 recognition, the GPT header test, the FAT reader's
// signature and parameter block checks, and the NTFS library's boot sector.
#include <algorithm>

#include "disk/fat_boot_sector.h"
#include "partition/boot_sector_match.h"
#include "partition/gpt_header.h"
#include "platform/byte_reader.h"
#include "tests/fuzz/fuzz_support.h"
#include "vessor/boot_sector.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    platform::byte_reader input(data, size);
    platform::byte_reader sector = input.sub(0, std::min<size_t>(size, 512));
    platform::byte_reader next = size > 512 ? input.sub(512, std::min<size_t>(size - 512, 512)) : platform::byte_reader();

    if (auto match = match_boot_sector(sector, next))
        fuzz::require(match->sector_count > 0, "a partition of no sectors was recognised");
    is_valid_gpt_header(sector);
    is_valid_gpt_header(input);

    fat_detail::check_boot_signature(sector);
    fat_detail::fat_layout_s layout;
    uint32_t base = size >= 4 ? input.u32(size - 4) : 0;
    if (fat_detail::read_boot_parameters(sector, base, layout)) {
        fuzz::require(layout.fs_type >= 1 && layout.fs_type <= 3, "a FAT type out of range");
        fuzz::require(layout.fat_entries >= 3, "a FAT volume without clusters");
        fuzz::require(layout.cluster_sectors != 0 && (layout.cluster_sectors & (layout.cluster_sectors - 1)) == 0,
                      "a cluster size that is not a power of two");
        fuzz::require(layout.data_start >= layout.fat_start, "data before the FAT");
    }

    vessor::volume_geometry_s geometry;
    if (vessor::parse_boot_sector(input, geometry)) {
        fuzz::require(geometry.cluster_size >= 512 && geometry.cluster_size <= (2u << 20), "a cluster size out of range");
        fuzz::require(geometry.record_size >= 512 && geometry.record_size <= (64u << 10), "a record size out of range");
        fuzz::require(geometry.mft_lcn < geometry.total_clusters, "a table beyond the volume");
    }
    return 0;
}
