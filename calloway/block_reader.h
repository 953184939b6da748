#pragma once
// Reads the volume's blocks one ahead of the scan, on a thread of its own, so that the medium
// keeps working while the scan tests the block before. A read that fails is split into units;
// a unit that still fails reads as zeros and is listed as unreadable.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "calloway/big_buffer.h"
#include "platform/device.h"

namespace calloway {

struct byte_range_s {
    uint64_t offset;
    uint64_t count;
};

class block_reader_c {
public:
    static constexpr size_t piece_size = 2u << 20;  // one read; stop is watched between reads
    static constexpr size_t unit_size = 64u << 10;  // granularity of skipped unreadable data

    struct block_s {
        uint64_t offset = 0;
        size_t length = 0;
        big_buffer storage;  // room_in_front bytes, then up to block_size of data
        std::vector<byte_range_s> unreadable;
    };

    block_reader_c(platform::device_handle device, uint64_t volume_size, const std::atomic<int32_t>& stop,
                   size_t block_size, size_t room_in_front);
    ~block_reader_c();
    block_reader_c(const block_reader_c&) = delete;
    block_reader_c& operator=(const block_reader_c&) = delete;

    // False when the buffers could not be had (no memory): take() then gives nothing.
    bool ok() const { return ok_; }

    // The block that starts at offset (read now when it was not read ahead); the block after it
    // is read meanwhile. Null when the scan is stopping.
    std::unique_ptr<block_s> take(uint64_t offset);
    // Returns a block taken earlier, so that it can be filled again.
    void give_back(std::unique_ptr<block_s> block);

private:
    void run();
    void read_block(block_s& block, uint64_t offset);
    void read_piece(block_s& block, size_t at, size_t count);

    platform::device_handle device_;
    uint64_t volume_size_;
    const std::atomic<int32_t>& stop_;
    size_t block_size_;
    size_t room_in_front_;

    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<std::unique_ptr<block_s>> free_;
    std::unique_ptr<block_s> ready_;
    bool wanted_ = false;     // wanted_offset_ is to be read next
    uint64_t wanted_offset_ = 0;
    bool quit_ = false;
    bool ok_ = true;
    std::thread thread_;
};

// Reads count bytes at offset, going on after short reads; false unless all arrived.
bool read_exact(const platform::device_handle& device, uint64_t offset, size_t count, uint8_t* destination);

}  // namespace calloway
