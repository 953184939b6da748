#include "calloway/volume_reader.h"

#include <algorithm>

namespace calloway {

namespace {
// Small enough that the bytes it reads past a file's end (which the scan's next block reads
// again) cost little; large enough for a view and its alignment.
constexpr size_t cache_size = 2u << 20;
constexpr uint64_t cache_alignment = 4096;
}  // namespace

volume_reader_c::volume_reader_c(platform::device_handle device, uint64_t volume_size, const std::atomic<int32_t>& stop)
    : device_(std::move(device)), volume_size_(volume_size), stop_(stop) {}

platform::byte_reader volume_reader_c::view(uint64_t offset, size_t count) {
    if (stopping() || offset >= volume_size_) return {};
    count = static_cast<size_t>(std::min<uint64_t>({count, max_view, volume_size_ - offset}));
    if (block_ && offset >= block_->start() && offset + count <= block_->end()) {
        if (!block_->readable(offset, count)) return {};
        return platform::byte_reader(block_->data_at(offset), count);
    }
    if (offset < cache_start_ || offset + count > cache_start_ + cache_length_) {
        if (!load(offset, count)) return {};
    }
    return platform::byte_reader(cache_.get() + (offset - cache_start_), count);
}

bool volume_reader_c::load(uint64_t offset, size_t count) {
    if (!cache_) cache_ = make_big_buffer(cache_size);
    if (!cache_) return false;
    uint64_t start = offset - offset % cache_alignment;
    size_t length = static_cast<size_t>(std::min<uint64_t>(cache_size, volume_size_ - start));
    if (read_exact(device_, start, length, cache_.get())) {
        cache_start_ = start;
        cache_length_ = length;
        return true;
    }
    // Somewhere in the cache's span is damage: settle for exactly what was asked.
    cache_length_ = 0;
    if (!read_exact(device_, offset, count, cache_.get())) return false;
    cache_start_ = offset;
    cache_length_ = count;
    return true;
}

}  // namespace calloway
