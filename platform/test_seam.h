#pragma once
// Test-only seams: the disk list, in-memory disks, a disk's reported sector size, media that
// vanish and blocks that cannot be read. Never used by the program itself.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace platform::test {

// Replaces the disk list (nullopt: back to TARNWELL_DISKS or /sys/block).
void set_disk_list(std::optional<std::vector<std::string>> paths);

// Registers a buffer as the disk "mem:NAME" (put that path in the disk list). The buffer is
// shared: writes through the device change it, and a test may change it between reads.
void add_memory_disk(const std::string& name, std::shared_ptr<std::vector<uint8_t>> data);
void remove_memory_disks();

// A removed medium: the device stays open but reads fail and the check-verify query fails.
void set_medium_present(const std::string& path, bool present);
// Reads touching [offset, offset + length) of this disk fail (a damaged disk).
void add_bad_range(const std::string& path, uint64_t offset, uint64_t length);
// The sector size the disk reports (512 unless set).
void set_sector_size(const std::string& path, uint32_t sector_size);
// Every read of this disk first waits this long (a slow disk, so a test can pause a scan).
void set_read_delay(const std::string& path, uint32_t microseconds);
// Forgets every medium, bad range and sector size setting.
void reset_disk_settings();

}  // namespace platform::test
