#pragma once
// The scan's sequential view of the volume: large blocks read one after the other, a little of
// the previous block kept in front so that a header near a block's end is still tested whole.
// A block that cannot be read is split into units; a unit that still fails is skipped (its
// bytes read as zero and marked unreadable), traced and counted.
#include <atomic>
#include <cstdint>
#include <vector>

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
    static constexpr size_t piece_size = 2u << 20;  // one read; stop is watched between reads
    static constexpr size_t unit_size = 64u << 10;  // granularity of skipped unreadable data

    block_window_c(platform::device_handle device, uint64_t volume_size, const std::atomic<int32_t>& stop,
                   unreadable_count_s& unreadable);

    // Makes [position, position + lookahead) present, or up to the end of the volume. False when
    // the scan is stopping.
    bool reach(uint64_t position);

    uint64_t start() const { return start_; }
    uint64_t end() const { return start_ + length_; }
    // The bytes at a position inside [start(), end()).
    const uint8_t* data_at(uint64_t position) const { return buffer_.data() + (position - start_); }
    // True when no skipped unit overlaps [offset, offset + count).
    bool readable(uint64_t offset, uint64_t count) const;

private:
    void keep_from(uint64_t position);
    bool fill();
    void read_piece(uint64_t offset, size_t count, uint8_t* destination);
    void skip_unit(uint64_t offset, size_t count, uint8_t* destination);

    platform::device_handle device_;
    uint64_t volume_size_;
    const std::atomic<int32_t>& stop_;
    unreadable_count_s& unreadable_;
    std::vector<uint8_t> buffer_;
    uint64_t start_ = 0;
    size_t length_ = 0;
    struct range_s {
        uint64_t offset;
        uint64_t count;
    };
    std::vector<range_s> unreadable_ranges_;  // inside or after the window, in volume order
};

// Reads count bytes at offset, going on after short reads; false unless all arrived.
bool read_exact(const platform::device_handle& device, uint64_t offset, size_t count, uint8_t* destination);

}  // namespace calloway
