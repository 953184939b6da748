#include "calloway/block_reader.h"

#include <algorithm>
#include <chrono>
#include <cstring>

namespace calloway {

namespace {
constexpr int blocks_in_flight = 2;  // the one the scan tests and the one read ahead
}  // namespace

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

block_reader_c::block_reader_c(platform::device_handle device, uint64_t volume_size, const std::atomic<int32_t>& stop,
                               size_t block_size, size_t room_in_front)
    : device_(std::move(device)), volume_size_(volume_size), stop_(stop), block_size_(block_size),
      room_in_front_(room_in_front) {
    for (int i = 0; i < blocks_in_flight; ++i) {
        auto block = std::make_unique<block_s>();
        block->storage = make_big_buffer(room_in_front + block_size);
        ok_ = ok_ && block->storage;
        free_.push_back(std::move(block));
    }
    if (!ok_) free_.clear();  // nothing to read into: the reader waits for a quit
    thread_ = std::thread([this] { run(); });
}

block_reader_c::~block_reader_c() {
    {
        std::lock_guard guard(lock_);
        quit_ = true;
    }
    changed_.notify_all();
    thread_.join();
}

std::unique_ptr<block_reader_c::block_s> block_reader_c::take(uint64_t offset) {
    if (!ok_) return nullptr;
    std::unique_lock guard(lock_);
    if (ready_ && ready_->offset != offset) {  // read ahead for a scan that went elsewhere
        free_.push_back(std::move(ready_));
        wanted_ = false;
    }
    if (!ready_ && !(wanted_ && wanted_offset_ == offset)) {
        wanted_ = true;
        wanted_offset_ = offset;
        changed_.notify_all();
    }
    // The wait watches stop: the reader may be busy with a block nobody wants any more, and a
    // block read while stopping is incomplete.
    for (;;) {
        if (stop_.load(std::memory_order_relaxed)) return nullptr;
        if (ready_ && ready_->offset == offset) break;
        changed_.wait_for(guard, std::chrono::milliseconds(10));
    }
    std::unique_ptr<block_s> block = std::move(ready_);
    if (offset + block->length < volume_size_) {
        wanted_ = true;
        wanted_offset_ = offset + block->length;
        changed_.notify_all();
    }
    return block;
}

void block_reader_c::give_back(std::unique_ptr<block_s> block) {
    if (!block) return;
    {
        std::lock_guard guard(lock_);
        free_.push_back(std::move(block));
    }
    changed_.notify_all();
}

void block_reader_c::run() {
    std::unique_lock guard(lock_);
    for (;;) {
        changed_.wait(guard, [&] { return quit_ || (wanted_ && !ready_ && !free_.empty()); });
        if (quit_) return;
        std::unique_ptr<block_s> block = std::move(free_.back());
        free_.pop_back();
        uint64_t offset = wanted_offset_;
        wanted_ = false;
        guard.unlock();
        read_block(*block, offset);
        guard.lock();
        if (wanted_ || ready_) {  // the scan asked for another place meanwhile
            free_.push_back(std::move(block));
            continue;
        }
        ready_ = std::move(block);
        changed_.notify_all();
    }
}

void block_reader_c::read_block(block_s& block, uint64_t offset) {
    block.offset = offset;
    block.length = static_cast<size_t>(std::min<uint64_t>(block_size_, volume_size_ - offset));
    block.unreadable.clear();
    for (size_t at = 0; at < block.length; at += piece_size) {
        if (stop_.load(std::memory_order_relaxed)) return;
        read_piece(block, at, std::min(piece_size, block.length - at));
    }
}

void block_reader_c::read_piece(block_s& block, size_t at, size_t count) {
    uint8_t* data = block.storage.get() + room_in_front_ + at;
    if (read_exact(device_, block.offset + at, count, data)) return;
    // Find what can still be read, one unit at a time.
    for (size_t done = 0; done < count; done += unit_size) {
        size_t unit = std::min(unit_size, count - done);
        if (read_exact(device_, block.offset + at + done, unit, data + done)) continue;
        std::memset(data + done, 0, unit);
        block.unreadable.push_back({block.offset + at + done, unit});
    }
}

}  // namespace calloway
