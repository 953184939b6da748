#include "calloway/block_window.h"

#include <algorithm>
#include <cstring>

#include "platform/trace.h"

namespace calloway {

bool read_exact(const platform::device_handle& device, uint64_t offset, size_t count, uint8_t* destination) {
    while (count > 0) {
        int64_t n = platform::device_read(device, destination, count, offset);
        if (n <= 0) return false;
        offset += static_cast<uint64_t>(n);
        destination += n;
        count -= static_cast<size_t>(n);
    }
    return true;
}

block_window_c::block_window_c(platform::device_handle device, uint64_t volume_size, const std::atomic<int32_t>& stop,
                               unreadable_count_s& unreadable)
    : device_(std::move(device)), volume_size_(volume_size), stop_(stop), unreadable_(unreadable),
      buffer_(block_size + lookahead) {}

bool block_window_c::reach(uint64_t position) {
    uint64_t wanted_end = std::min<uint64_t>(position + lookahead, volume_size_);
    if (position >= start_ && wanted_end <= end() && position < end()) return true;
    keep_from(position);
    return fill();
}

bool block_window_c::readable(uint64_t offset, uint64_t count) const {
    for (const range_s& range : unreadable_ranges_)
        if (range.offset < offset + count && offset < range.offset + range.count) return false;
    return true;
}

void block_window_c::keep_from(uint64_t position) {
    if (position >= start_ && position < end()) {
        size_t kept = static_cast<size_t>(end() - position);
        std::memmove(buffer_.data(), data_at(position), kept);
        length_ = kept;
    } else {
        length_ = 0;
    }
    start_ = position;
    std::erase_if(unreadable_ranges_, [&](const range_s& r) { return r.offset + r.count <= start_; });
}

bool block_window_c::fill() {
    uint64_t fill_end = std::min<uint64_t>(start_ + buffer_.size(), volume_size_);
    while (end() < fill_end) {
        if (stop_.load(std::memory_order_relaxed)) return false;
        size_t count = static_cast<size_t>(std::min<uint64_t>(piece_size, fill_end - end()));
        read_piece(end(), count, buffer_.data() + length_);
        length_ += count;
    }
    return true;
}

void block_window_c::read_piece(uint64_t offset, size_t count, uint8_t* destination) {
    if (read_exact(device_, offset, count, destination)) return;
    // Find what can still be read, one unit at a time.
    for (size_t done = 0; done < count; done += unit_size) {
        size_t unit = std::min(unit_size, count - done);
        if (stop_.load(std::memory_order_relaxed) || !read_exact(device_, offset + done, unit, destination + done))
            skip_unit(offset + done, unit, destination + done);
    }
}

void block_window_c::skip_unit(uint64_t offset, size_t count, uint8_t* destination) {
    std::memset(destination, 0, count);
    unreadable_ranges_.push_back({offset, count});
    if (stop_.load(std::memory_order_relaxed)) return;  // not a damaged block: the scan is ending
    ++unreadable_.blocks;
    unreadable_.bytes += count;
    platform::tracef("Calloway: unreadable block at byte %llu (%zu bytes) skipped\n",
                     static_cast<unsigned long long>(offset), count);
}

}  // namespace calloway
