#include "partition/partition_search.h"

#include <memory>
#include <optional>

#include "partition/boot_sector_match.h"
#include "platform/byte_reader.h"

namespace {

constexpr uint64_t sector_bytes = 512;
constexpr uint64_t block_sectors = 256;
constexpr size_t block_bytes = block_sectors * sector_bytes;
// The last sector of a block is only looked at as the FSInfo successor of the one before it;
// the next block starts with it, so every sector is examined once.
constexpr uint64_t step_sectors = block_sectors - 1;

struct aligned_free_s {
    void operator()(void* buffer) const { platform::aligned_free(buffer); }
};
using aligned_block = std::unique_ptr<uint8_t, aligned_free_s>;

struct block_hit_s {
    uint64_t index = 0;
    boot_sector_match_s match;
};

// The first sector of the block that starts a partition lying wholly inside the device. A
// size that wraps or runs past the end is no match, so a crafted boot sector can never move
// the search backwards or hold it in place.
std::optional<block_hit_s> first_partition_in_block(const platform::byte_reader& block, uint64_t block_start,
                                                    uint64_t device_sectors) {
    for (uint64_t j = 0; j < step_sectors; ++j) {
        auto match = match_boot_sector(block.sub(j * sector_bytes, sector_bytes),
                                       block.sub((j + 1) * sector_bytes, sector_bytes));
        if (!match) continue;
        uint64_t start = block_start + j;
        if (start < device_sectors && match->sector_count <= device_sectors - start)
            return block_hit_s{j, *match};
    }
    return std::nullopt;
}

}  // namespace

partition_search_outcome_s search_partitions(const drive_item_s& drive, partition_search_state_s& state,
                                             const partition_found_fn& found) {
    partition_search_outcome_s outcome;
    auto device = platform::device_open(drive.drive_path.toStdString(), platform::access_read,
                                        platform::open_no_buffering);
    if (!device || platform::device_sector_size(device) != sector_bytes) return outcome;
    aligned_block buffer(static_cast<uint8_t*>(platform::aligned_alloc_buffer(block_bytes)));
    if (!buffer) return outcome;
    outcome.opened = true;
    outcome.identity = platform::device_identity(device);
    const uint64_t device_sectors = platform::device_size(device) / sector_bytes;
    const platform::byte_reader block(buffer.get(), block_bytes);

    uint64_t p = 0;  // first sector of the current block; the end of the drive ends the loop
    while (p * sector_bytes < drive.size_bytes) {
        if (state.stop_requested.load(std::memory_order_relaxed)) {
            outcome.stopped = true;
            return outcome;
        }
        int64_t n = platform::device_read(device, buffer.get(), block_bytes, p * sector_bytes);
        if (n < 0) {
            // One bad block must not hide every partition after it: skip it and count it.
            if (!platform::device_check_verify(device)) {
                outcome.medium_lost = true;
                return outcome;
            }
            state.unreadable_blocks.fetch_add(1, std::memory_order_relaxed);
            p += step_sectors;
        } else if (static_cast<uint64_t>(n) < block_bytes) {
            break;  // the end of the drive
        } else if (auto hit = first_partition_in_block(block, p, device_sectors)) {
            uint64_t start = p + hit->index;
            found(partition_item_s{hit->match.file_system, hit->match.partition_type, start,
                                   start + hit->match.sector_count - 1});
            p = start + hit->match.sector_count;
        } else {
            p += step_sectors;
        }
        if (p * sector_bytes >= drive.size_bytes) break;
        state.progress.store(static_cast<double>(p * sector_bytes) / static_cast<double>(drive.size_bytes),
                             std::memory_order_relaxed);
    }
    state.progress.store(1.0, std::memory_order_relaxed);
    return outcome;
}
