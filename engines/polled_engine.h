#pragma once
// What the FAT and NTFS engines share: progress, pause flag, stop code and the two counters,
// written by one thread and polled by the page's thread without a lock (hence atomics).
#include <atomic>
#include <cstdint>

#include "engines/recovery_base.h"

class polled_engine_c : public recovery_base_c {
    Q_OBJECT
public:
    using recovery_base_c::recovery_base_c;

    double progress() override { return progress_.load(std::memory_order_relaxed); }
    void set_progress(double value) override { progress_.store(value, std::memory_order_relaxed); }
    void set_stop(int code) override { stop_.store(code, std::memory_order_relaxed); }
    int stop() override { return stop_.load(std::memory_order_relaxed); }
    int pause() override { return pause_.load(std::memory_order_relaxed); }
    void set_pause(int flag) override { pause_.store(flag, std::memory_order_relaxed); }
    uint64_t scanned_count() override { return scanned_count_.load(std::memory_order_relaxed); }
    uint64_t found_count() override { return found_count_.load(std::memory_order_relaxed); }

protected:
    // Progress, pause, stop and both counts back to zero.
    void reset_state();
    // Waits in 100 ms steps while the pause flag is set; false as soon as a stop code is seen.
    bool wait_while_paused();
    void count_scanned() { scanned_count_.fetch_add(1, std::memory_order_relaxed); }
    void count_found() { found_count_.fetch_add(1, std::memory_order_relaxed); }

private:
    std::atomic<double> progress_{0.0};
    std::atomic<int32_t> pause_{0};
    std::atomic<int32_t> stop_{0};
    std::atomic<uint64_t> scanned_count_{0};
    std::atomic<uint64_t> found_count_{0};
};
