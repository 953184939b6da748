#pragma once
// Sector-addressed access to the physical drives: a process-wide table of up to ten drives,
// one 64 KiB transfer buffer and one mutex, and a thread that notices vanished media.
#include <cstdint>
#include <string>

// Status bits of a drive table entry.
enum : uint8_t {
    drive_status_not_ready = 0x01,
    drive_status_write_protected = 0x04,
};

// Result codes of the sector operations.
enum : uint8_t {
    sector_ok = 0,
    sector_error = 1,
    sector_write_protected = 2,
    sector_not_ready = 3,
    sector_parameter_error = 4,
};

constexpr unsigned drive_table_size = 10;
constexpr uint32_t transfer_buffer_size = 65536;

int drive_table_open();
int drive_table_rescan();
uint8_t drive_prepare(unsigned drive);
uint8_t drive_state(unsigned drive);
uint8_t drive_read_sectors(unsigned drive, void* destination, uint32_t first_sector, uint8_t count);
uint8_t drive_write_sectors(unsigned drive, const void* source, uint32_t first_sector, uint8_t count);
// Commands: 0 flush, 1 sector count (u32), 2 sector size (u16), 3 erase block size (u32).
uint8_t drive_query(unsigned drive, unsigned command, void* out);

struct volume_location_s {
    uint32_t disk_number = 0;
    uint32_t partition_number = 0;
    uint32_t start_sector = 0;
};
// 0 with the location of a volume path (trailing "\" or "/" allowed), else -1.
int locate_volume(const std::string& volume_path, volume_location_s& location);

namespace sector_device_test {
// Stops the poll thread and empties the table, so the next drive_table_open starts afresh.
void reset();
// The number of drives in the table.
unsigned drive_count();
}  // namespace sector_device_test
