#pragma once
// The lost-partition search over one drive: reads it in 128 KiB blocks, recognises NTFS and
// FAT32 boot sectors and jumps over each partition found.
#include <atomic>
#include <cstdint>
#include <functional>

#include "devices/drive_list.h"
#include "partition/partition_item.h"
#include "platform/device.h"

// What the search shares with other threads while it runs.
struct partition_search_state_s {
    std::atomic<double> progress{0.0};              // 0 to 1, read whole by other threads
    std::atomic<uint64_t> unreadable_blocks{0};     // blocks skipped because a read failed
    std::atomic<bool> stop_requested{false};
};

struct partition_search_outcome_s {
    bool opened = false;        // the drive opened and has 512-byte sectors
    bool stopped = false;       // ended early by a stop request
    bool medium_lost = false;   // the medium vanished during the search
    platform::device_identity_s identity;  // of what was opened, for the table rewrite
};

using partition_found_fn = std::function<void(const partition_item_s&)>;

// Runs the whole search on the calling thread. Resets nothing in state except progress at
// the end; the caller clears the counters and the stop flag before it starts.
partition_search_outcome_s search_partitions(const drive_item_s& drive, partition_search_state_s& state,
                                             const partition_found_fn& found);
