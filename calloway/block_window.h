#pragma once
// The scan's sequential view of the volume: large blocks one after the other, with the end of
// the previous block kept in front so that a header near a block's end is still tested whole.
// Unreadable units of a block read as zero; they are counted and traced as the scan meets them.
#include <atomic>
#include <cstdint>
#include <memory>
#include <vector>

#include "calloway/block_reader.h"
#include "platform/device.h"

namespace calloway {

struct unreadable_count_s {
    uint64_t blocks = 0;
    uint64_t bytes = 0;
};

class block_window_c {
public:
    static constexpr size_t block_size = 8u << 20;
    static constexpr size_t lookahead = 64u << 10;  // bytes a header test may see past its position

    block_window_c(platform::device_handle device, uint64_t volume_size, const std::atomic<int32_t>& stop,
                   unreadable_count_s& unreadable);

    bool ok() const { return reader_.ok(); }

    // Makes [position, position + lookahead) present, or up to the end of the volume. False when
    // the scan is stopping.
    bool reach(uint64_t position);

    uint64_t start() const { return start_; }
    uint64_t end() const { return start_ + length_; }
    // The bytes at a position inside [start(), end()).
    const uint8_t* data_at(uint64_t position) const { return data_ + (position - start_); }
    // True when no unreadable unit overlaps [offset, offset + count).
    bool readable(uint64_t offset, uint64_t count) const;

private:
    void count_unreadable(const block_reader_c::block_s& block);

    uint64_t volume_size_;
    unreadable_count_s& unreadable_;
    block_reader_c reader_;
    std::unique_ptr<block_reader_c::block_s> block_;
    const uint8_t* data_ = nullptr;
    uint64_t start_ = 0;
    size_t length_ = 0;
    std::vector<byte_range_s> unreadable_ranges_;  // inside the window
};

}  // namespace calloway
