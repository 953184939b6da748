#include "calloway/block_window.h"

#include <algorithm>
#include <cstring>

#include "platform/trace.h"

namespace calloway {

block_window_c::block_window_c(platform::device_handle device, uint64_t volume_size, const std::atomic<int32_t>& stop,
                               unreadable_count_s& unreadable)
    : volume_size_(volume_size), unreadable_(unreadable),
      reader_(std::move(device), volume_size, stop, block_size, lookahead) {}

bool block_window_c::reach(uint64_t position) {
    bool inside = block_ && position >= start_ && position < end();
    if (inside && (position + lookahead <= end() || end() == volume_size_)) return true;
    // The block after this one when it holds position (the bytes from position to its start
    // kept in front of it, fewer than lookahead); else the search jumped far: a block there.
    uint64_t next = end();
    bool sequential = block_ && position >= start_ && position < next + block_size;
    auto block = reader_.take(sequential ? next : position);
    if (!block) return false;
    count_unreadable(*block);
    uint8_t* block_data = block->storage.get() + lookahead;
    uint8_t* front = block_data + (position - block->offset);
    if (position < block->offset) {
        front = block_data - (block->offset - position);
        std::memcpy(front, data_at(position), block->offset - position);
    }
    std::erase_if(unreadable_ranges_, [&](const byte_range_s& r) { return !inside || r.offset + r.count <= position; });
    unreadable_ranges_.insert(unreadable_ranges_.end(), block->unreadable.begin(), block->unreadable.end());
    reader_.give_back(std::move(block_));
    start_ = position;
    length_ = static_cast<size_t>(block->offset + block->length - position);
    data_ = front;
    block_ = std::move(block);
    return true;
}

bool block_window_c::readable(uint64_t offset, uint64_t count) const {
    for (const byte_range_s& range : unreadable_ranges_)
        if (range.offset < offset + count && offset < range.offset + range.count) return false;
    return true;
}

void block_window_c::count_unreadable(const block_reader_c::block_s& block) {
    for (const byte_range_s& range : block.unreadable) {
        ++unreadable_.blocks;
        unreadable_.bytes += range.count;
        platform::tracef("Calloway: unreadable block at byte %llu (%llu bytes) skipped\n",
                         static_cast<unsigned long long>(range.offset), static_cast<unsigned long long>(range.count));
    }
}

}  // namespace calloway
