// The lost-partition search over a drive that is the input (zero-padded to two search
// blocks, so that short inputs are searched too).
#include <vector>

#include "partition/partition_search.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::prepare_memory_disk();
    fuzz::load_disk(data, size, 2 * 128 * 1024);
    const uint64_t disk_sectors = (std::max<size_t>(size, 2 * 128 * 1024) + 511) / 512;
    drive_item_s drive;
    drive.drive_path = fuzz::memory_disk_path;
    drive.size_bytes = disk_sectors * 512;
    partition_search_state_s state;
    std::vector<partition_item_s> found;
    auto outcome = search_partitions(drive, state, [&](const partition_item_s& item) { found.push_back(item); });
    fuzz::require(outcome.opened, "the drive did not open");
    uint64_t next_free = 0;
    for (const partition_item_s& item : found) {
        fuzz::require(item.start_sector >= next_free, "a partition found inside the one before it");
        fuzz::require(item.end_sector >= item.start_sector && item.end_sector < disk_sectors,
                      "a partition found that runs past the end of the drive");
        fuzz::require(item.partition_type == 7 || item.partition_type == 12, "a partition of another type");
        next_free = item.end_sector + 1;
    }
    fuzz::require(state.progress.load() == 1.0, "the search did not end with its progress full");
    fuzz::require_disk_unchanged();
    return 0;
}
