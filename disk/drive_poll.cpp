// The media poll thread: notices drives whose medium has gone away. It only ever sets the
// not-ready bit; a geometry query (drive_prepare or a rescan) clears it.
#include <chrono>
#include <new>
#include <system_error>

#include "disk/drive_table.h"

using namespace std::chrono_literals;

namespace drive_table_detail {
namespace {

// Sleeps for the given time; false when the test seam asked the thread to stop.
bool poll_sleep(std::chrono::milliseconds duration) {
    drive_table_s& t = table();
    std::unique_lock lock(t.poll_lock);
    return !t.poll_wake.wait_for(lock, duration, [&] { return t.poll_stop; });
}

// Checks one drive's medium; false when the drive was skipped.
bool poll_drive(drive_entry_s& entry) {
    if (entry.status & drive_status_not_ready) return false;
    std::unique_lock lock(*table().device_mutex, std::defer_lock);
    // A busy drive is skipped until its next turn.
    if (!lock.try_lock_for(100ms) || !entry.handle) return false;
    if (!platform::device_check_verify(entry.handle)) entry.status |= drive_status_not_ready;
    return true;
}

void poll_loop() {
    drive_table_s& t = table();
    while (poll_sleep(100ms)) {
        // Drive 0 holds the system and is never polled.
        for (unsigned n = 1; n < t.drive_count.load(); ++n) {
            if (!poll_sleep(1ms)) return;
            if (poll_drive(t.drives[n]) && !poll_sleep(100ms)) return;
        }
    }
}

}  // namespace

bool start_poll_thread() {
    drive_table_s& t = table();
    if (t.poll_thread) return true;
    {
        std::lock_guard guard(t.poll_lock);
        t.poll_stop = false;
    }
    try {
        t.poll_thread = new std::thread(poll_loop);  // runs for the life of the process
    } catch (const std::system_error&) {
        return false;
    } catch (const std::bad_alloc&) {
        return false;
    }
    return true;
}

void stop_poll_thread() {
    drive_table_s& t = table();
    if (!t.poll_thread) return;
    {
        std::lock_guard guard(t.poll_lock);
        t.poll_stop = true;
    }
    t.poll_wake.notify_all();
    t.poll_thread->join();
    delete t.poll_thread;
    t.poll_thread = nullptr;
}

}  // namespace drive_table_detail
