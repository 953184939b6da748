#pragma once
// Per-disk settings a test may impose (medium present, sector size, unreadable ranges) and the
// registry of in-memory disks. Internal to the platform layer.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace platform::detail {

struct disk_settings_s {
    bool present = true;
    std::optional<uint32_t> sector_size;
    std::vector<std::pair<uint64_t, uint64_t>> bad_ranges;  // offset, length
    uint32_t read_delay_us = 0;  // a slow disk, for tests that must catch a scan while it runs

    // True when a read of [offset, offset + length) touches an unreadable range.
    bool touches_bad_range(uint64_t offset, uint64_t length) const;
};

disk_settings_s settings_for(const std::string& path);
// False while no test has set anything: reads then skip the lookup.
bool any_disk_settings();

constexpr const char* memory_prefix = "mem:";
bool is_memory_path(const std::string& path);
std::shared_ptr<std::vector<uint8_t>> memory_disk(const std::string& path);

std::optional<std::vector<std::string>> disk_list_override();

}  // namespace platform::detail
