#pragma once
// Bounded random access to the volume for the formats' length functions, which often need
// bytes beyond the scan's current block. Views inside that block come from it; others from a
// cache of two MiB, so memory stays bounded whatever the volume's size.
#include <atomic>
#include <cstdint>
#include <memory>

#include "calloway/big_buffer.h"
#include "calloway/block_window.h"
#include "platform/byte_reader.h"
#include "platform/device.h"

namespace calloway {

class volume_reader_c {
public:
    static constexpr size_t max_view = 1u << 20;

    volume_reader_c(platform::device_handle device, uint64_t volume_size, const std::atomic<int32_t>& stop);

    uint64_t size() const { return volume_size_; }
    bool stopping() const { return stop_.load(std::memory_order_relaxed) != 0; }
    // Lets views inside the scan's current block come from it.
    void set_block(const block_window_c* block) { block_ = block; }

    // Up to count bytes (at most max_view) at offset: fewer at the end of the volume, none when
    // any of them cannot be read or the scan is stopping. Valid until the next call.
    platform::byte_reader view(uint64_t offset, size_t count);

private:
    bool load(uint64_t offset, size_t count);

    platform::device_handle device_;
    uint64_t volume_size_;
    const std::atomic<int32_t>& stop_;
    const block_window_c* block_ = nullptr;
    big_buffer cache_;
    uint64_t cache_start_ = 0;
    size_t cache_length_ = 0;
};

}  // namespace calloway
