#pragma once
// The process-wide drive table behind sector_device.h, shared by the files of the sector
// device layer. Not for use outside disk/.
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "disk/sector_device.h"
#include "platform/device.h"

namespace drive_table_detail {

struct drive_entry_s {
    // Read without the lock by drive_state, drive_query and the checks before a transfer.
    std::atomic<uint8_t> status{drive_status_not_ready};
    std::atomic<uint16_t> sector_size{0};
    std::atomic<uint32_t> sector_count{0};
    // Changed and used only under device_mutex.
    platform::device_handle handle;
};

struct drive_table_s {
    drive_entry_s drives[drive_table_size];
    std::atomic<unsigned> drive_count{0};
    uint8_t* transfer_buffer = nullptr;
    std::timed_mutex* device_mutex = nullptr;

    // The poll thread runs for the life of the process; only the test seam ever stops it.
    std::thread* poll_thread = nullptr;
    std::mutex poll_lock;
    std::condition_variable poll_wake;
    bool poll_stop = false;
};

// Created on first use and never destroyed: the poll thread may outlive static destruction.
drive_table_s& table();

// Geometry query of one entry (caller holds device_mutex or owns the table alone).
bool query_geometry(drive_entry_s& entry);

// Starts the poll thread unless it runs; false when the thread cannot be created.
bool start_poll_thread();
// Test seam only: stops the poll thread and waits for it.
void stop_poll_thread();

}  // namespace drive_table_detail
