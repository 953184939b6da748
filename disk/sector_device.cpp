#include "disk/sector_device.h"

#include <chrono>
#include <cstring>
#include <new>

#include "disk/drive_table.h"
#include "platform/disks.h"
#include "platform/trace.h"

using namespace std::chrono_literals;

namespace drive_table_detail {

drive_table_s& table() {
    static auto* state = new drive_table_s;
    return *state;
}

bool query_geometry(drive_entry_s& entry) {
    if (!platform::device_check_verify(entry.handle)) {
        entry.status = drive_status_not_ready;
        return false;
    }
    platform::disk_geometry_s geometry;
    if (!platform::device_get_geometry(entry.handle, geometry)) {
        entry.status = drive_status_not_ready;
        return false;
    }
    entry.sector_size = static_cast<uint16_t>(geometry.bytes_per_sector);
    // Everything above works with 512-byte sectors only.
    if (geometry.bytes_per_sector != 512) {
        entry.status = drive_status_not_ready;
        return false;
    }
    // A 32-bit product, as the drive table has always kept it.
    entry.sector_count = static_cast<uint32_t>(geometry.cylinders) * geometry.tracks_per_cylinder *
                         geometry.sectors_per_track;
    entry.status = platform::device_is_writable(entry.handle) ? 0 : drive_status_write_protected;
    return true;
}

}  // namespace drive_table_detail

using namespace drive_table_detail;

namespace {

bool valid_drive(unsigned drive) {
    return drive < table().drive_count.load();
}

// Closes every entry and opens drives 0, 1, ... until the first that cannot be opened,
// printing one console line per drive. Caller holds device_mutex.
unsigned open_drives() {
    drive_table_s& t = table();
    for (auto& entry : t.drives) {
        entry.handle.reset();
        entry.status = drive_status_not_ready;
        entry.sector_size = 0;
        entry.sector_count = 0;
    }
    unsigned opened = 0;
    for (unsigned n = 0; n < drive_table_size; ++n) {
        std::string path = platform::physical_drive_path(n);
        platform::device_handle handle = platform::device_open(path, platform::access_read);
        if (!handle) break;
        drive_entry_s& entry = t.drives[n];
        entry.handle = std::move(handle);
        platform::tracef("Disk# %u <== %s", n, path.c_str());
        if (query_geometry(entry)) {
            uint64_t megabytes = uint64_t{entry.sector_size} * entry.sector_count / 1024 / 1024;
            platform::tracef(" (%uMB, %u bytes * %u sectors)\n", static_cast<unsigned>(megabytes),
                             static_cast<unsigned>(entry.sector_size), static_cast<unsigned>(entry.sector_count));
        } else {
            platform::tracef(" (Not Ready)\n");
        }
        ++opened;
    }
    return opened;
}

// The entry of a drive for a transfer, with device_mutex held; null when the table changed
// under the caller (a rescan between its check and its lock).
drive_entry_s* locked_entry(unsigned drive) {
    if (!valid_drive(drive) || !table().drives[drive].handle) return nullptr;
    return &table().drives[drive];
}

}  // namespace

int drive_table_open() {
    drive_table_s& t = table();
    if (!t.transfer_buffer) {
        t.transfer_buffer = static_cast<uint8_t*>(platform::aligned_alloc_buffer(transfer_buffer_size));
        if (!t.transfer_buffer) return 0;
    }
    if (!t.device_mutex) {
        t.device_mutex = new (std::nothrow) std::timed_mutex;
        if (!t.device_mutex) return 0;
    }
    std::lock_guard guard(*t.device_mutex);
    unsigned opened = open_drives();
    t.drive_count = start_poll_thread() ? opened : 0;
    return static_cast<int>(t.drive_count.load());
}

int drive_table_rescan() {
    drive_table_s& t = table();
    if (!t.device_mutex) return 0;  // never opened: nothing to rescan
    std::lock_guard guard(*t.device_mutex);
    t.drive_count = open_drives();
    return static_cast<int>(t.drive_count.load());
}

uint8_t drive_prepare(unsigned drive) {
    drive_table_s& t = table();
    if (!t.device_mutex) return drive_status_not_ready;
    std::unique_lock lock(*t.device_mutex, std::defer_lock);
    if (!lock.try_lock_for(5000ms)) return drive_status_not_ready;
    drive_entry_s* entry = locked_entry(drive);
    if (!entry) return drive_status_not_ready;
    query_geometry(*entry);
    return entry->status;
}

uint8_t drive_state(unsigned drive) {
    if (!valid_drive(drive)) return drive_status_not_ready;
    return table().drives[drive].status;
}

namespace {

// Steps shared by reads and writes: the checks, the lock and the transfer size.
struct transfer_s {
    std::unique_lock<std::timed_mutex> lock;
    drive_entry_s* entry = nullptr;
    size_t byte_count = 0;
    uint64_t byte_offset = 0;
};

uint8_t begin_transfer(unsigned drive, uint32_t first_sector, uint8_t count, transfer_s& transfer) {
    drive_table_s& t = table();
    if (!valid_drive(drive) || (t.drives[drive].status & drive_status_not_ready) || !t.device_mutex)
        return sector_not_ready;
    transfer.lock = std::unique_lock(*t.device_mutex, std::defer_lock);
    if (!transfer.lock.try_lock_for(3000ms)) return sector_not_ready;
    transfer.entry = locked_entry(drive);
    if (!transfer.entry) return sector_not_ready;
    transfer.byte_count = size_t{transfer.entry->sector_size} * count;
    transfer.byte_offset = uint64_t{transfer.entry->sector_size} * first_sector;
    return sector_ok;
}

}  // namespace

uint8_t drive_read_sectors(unsigned drive, void* destination, uint32_t first_sector, uint8_t count) {
    transfer_s transfer;
    if (uint8_t result = begin_transfer(drive, first_sector, count, transfer)) return result;
    if (transfer.byte_count > transfer_buffer_size) return sector_parameter_error;
    if (transfer.byte_count == 0) return sector_ok;
    if (!destination) return sector_parameter_error;
    uint8_t* buffer = table().transfer_buffer;
    int64_t got = platform::device_read(transfer.entry->handle, buffer, transfer.byte_count, transfer.byte_offset);
    if (got != static_cast<int64_t>(transfer.byte_count)) return sector_error;
    std::memcpy(destination, buffer, transfer.byte_count);
    return sector_ok;
}

uint8_t drive_write_sectors(unsigned drive, const void* source, uint32_t first_sector, uint8_t count) {
    transfer_s transfer;
    if (uint8_t result = begin_transfer(drive, first_sector, count, transfer)) return result;
    if (transfer.entry->status & drive_status_write_protected) return sector_write_protected;
    if (transfer.byte_count > transfer_buffer_size) return sector_parameter_error;
    if (transfer.byte_count == 0) return sector_ok;
    if (!source) return sector_parameter_error;
    uint8_t* buffer = table().transfer_buffer;
    std::memcpy(buffer, source, transfer.byte_count);
    int64_t put = platform::device_write(transfer.entry->handle, buffer, transfer.byte_count, transfer.byte_offset);
    return put == static_cast<int64_t>(transfer.byte_count) ? sector_ok : sector_error;
}

uint8_t drive_query(unsigned drive, unsigned command, void* out) {
    if (!valid_drive(drive) || (table().drives[drive].status & drive_status_not_ready)) return sector_not_ready;
    const drive_entry_s& entry = table().drives[drive];
    switch (command) {
    case 0:
        return sector_ok;
    case 1: {
        if (!out) return sector_parameter_error;
        uint32_t count = entry.sector_count;
        std::memcpy(out, &count, sizeof count);
        return sector_ok;
    }
    case 2: {
        if (!out) return sector_parameter_error;
        uint16_t size = entry.sector_size;
        std::memcpy(out, &size, sizeof size);
        return sector_ok;
    }
    case 3: {
        if (!out) return sector_parameter_error;
        uint32_t erase_block = 128;
        std::memcpy(out, &erase_block, sizeof erase_block);
        return sector_ok;
    }
    default:
        return sector_parameter_error;
    }
}

namespace sector_device_test {

void reset() {
    stop_poll_thread();
    drive_table_s& t = table();
    if (!t.device_mutex) return;
    std::lock_guard guard(*t.device_mutex);
    for (auto& entry : t.drives) {
        entry.handle.reset();
        entry.status = drive_status_not_ready;
        entry.sector_size = 0;
        entry.sector_count = 0;
    }
    t.drive_count = 0;
}

unsigned drive_count() {
    return table().drive_count.load();
}

}  // namespace sector_device_test
