#include "calloway/scan.h"

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>

#include "calloway/block_window.h"
#include "calloway/volume_reader.h"

namespace calloway {

namespace {

constexpr uint64_t sectors_between_checks = 128;  // 64 KiB of headers between looks at stop and pause

bool stopping(const carve_params& params) {
    return params.stop.load(std::memory_order_relaxed) != 0;
}

// Waits while paused; false when the scan is to stop.
bool wait_while_paused(const carve_params& params) {
    while (params.pause.load(std::memory_order_relaxed) && !stopping(params))
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return !stopping(params);
}

void report_file(carve_params& params, const found_file_s& file, uint64_t position, carve_report_s& report) {
    ++report.files_found;
    if (!params.found) return;
    std::string type(file.type);
    params.found(params.context, type.c_str(), static_cast<int64_t>(position), file.length);
}

// Tests the sectors of the window from position on; returns where the search goes on: behind a
// file found, or at the first sector the window cannot test whole. ~0 when stopping.
uint64_t scan_window(const block_window_c& window, volume_reader_c& volume, const carver_set_c& carvers,
                     carve_params& params, uint64_t position, carve_report_s& report) {
    uint64_t volume_size = volume.size();
    // A position is tested once its whole lookahead is in the window.
    uint64_t test_end = window.end() == volume_size ? volume_size : window.end() - block_window_c::lookahead + 1;
    for (uint64_t count = 0; position < test_end; position += sector_size, ++count) {
        if (count % sectors_between_checks == 0) {
            params.progress.store(static_cast<double>(position) / static_cast<double>(volume_size),
                                  std::memory_order_relaxed);
            if (!wait_while_paused(params)) return ~0ull;
        }
        if (!window.readable(position, 1)) continue;
        size_t head_size = static_cast<size_t>(std::min<uint64_t>(window.end() - position, block_window_c::lookahead));
        platform::byte_reader head(window.data_at(position), head_size);
        auto file = carvers.match(head, volume, position);
        if (stopping(params)) return ~0ull;
        if (!file) continue;
        report_file(params, *file, position, report);
        uint64_t end = position + file->length;
        return end + (sector_size - end % sector_size) % sector_size;
    }
    return position;
}

}  // namespace

bool scan_volume(const platform::device_handle& device, const carver_set_c& carvers, carve_params& params,
                 carve_report_s& report) {
    uint64_t volume_size = platform::device_size(device);
    unreadable_count_s unreadable;
    block_window_c window(device, volume_size, params.stop, unreadable);
    volume_reader_c volume(device, volume_size, params.stop);
    if (!window.ok()) return false;
    volume.set_block(&window);
    uint64_t position = 0;
    bool finished = true;
    while (position < volume_size) {
        if (!wait_while_paused(params) || !window.reach(position)) {
            finished = false;
            break;
        }
        uint64_t next = scan_window(window, volume, carvers, params, position, report);
        if (next == ~0ull) {
            finished = false;
            break;
        }
        position = next;
    }
    report.unreadable_blocks = unreadable.blocks;
    report.unreadable_bytes = unreadable.bytes;
    report.bytes_scanned = finished ? volume_size : std::min(position, volume_size);
    if (finished) params.progress.store(1.0, std::memory_order_relaxed);
    return true;
}

}  // namespace calloway
