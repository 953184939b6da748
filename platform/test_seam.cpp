#include "platform/test_seam.h"

#include <atomic>
#include <map>
#include <mutex>

#include "platform/disk_settings.h"
#include "platform/volume_probe.h"

namespace platform {
namespace {

std::atomic<bool> settings_present{false};

struct seam_state_s {
    std::mutex lock;
    std::optional<std::vector<std::string>> disk_list;
    std::map<std::string, std::shared_ptr<std::vector<uint8_t>>> memory_disks;
    std::map<std::string, detail::disk_settings_s> settings;
};

seam_state_s& state() {
    static auto* s = new seam_state_s;  // never destroyed, like every process-wide object here
    return *s;
}

}  // namespace

namespace detail {

bool disk_settings_s::touches_bad_range(uint64_t offset, uint64_t length) const {
    for (const auto& [bad_offset, bad_length] : bad_ranges) {
        uint64_t end = offset + length;
        uint64_t bad_end = bad_offset + bad_length;
        if (offset < bad_end && bad_offset < end) return true;
    }
    return false;
}

bool any_disk_settings() {
    return settings_present.load(std::memory_order_relaxed);
}

disk_settings_s settings_for(const std::string& path) {
    std::lock_guard guard(state().lock);
    auto it = state().settings.find(path);
    return it == state().settings.end() ? disk_settings_s{} : it->second;
}

bool is_memory_path(const std::string& path) {
    return path.rfind(memory_prefix, 0) == 0;
}

std::shared_ptr<std::vector<uint8_t>> memory_disk(const std::string& path) {
    std::lock_guard guard(state().lock);
    auto it = state().memory_disks.find(path.substr(std::string(memory_prefix).size()));
    return it == state().memory_disks.end() ? nullptr : it->second;
}

std::optional<std::vector<std::string>> disk_list_override() {
    std::lock_guard guard(state().lock);
    return state().disk_list;
}

}  // namespace detail

namespace test {

void set_disk_list(std::optional<std::vector<std::string>> paths) {
    {
        std::lock_guard guard(state().lock);
        state().disk_list = std::move(paths);
    }
    detail::invalidate_volume_snapshot();  // the volumes of the old list are no longer there
}

void add_memory_disk(const std::string& name, std::shared_ptr<std::vector<uint8_t>> data) {
    std::lock_guard guard(state().lock);
    state().memory_disks[name] = std::move(data);
}

void remove_memory_disks() {
    std::lock_guard guard(state().lock);
    state().memory_disks.clear();
}

void set_medium_present(const std::string& path, bool present) {
    std::lock_guard guard(state().lock);
    settings_present = true;
    state().settings[path].present = present;
}

void add_bad_range(const std::string& path, uint64_t offset, uint64_t length) {
    std::lock_guard guard(state().lock);
    settings_present = true;
    state().settings[path].bad_ranges.emplace_back(offset, length);
}

void set_sector_size(const std::string& path, uint32_t sector_size) {
    std::lock_guard guard(state().lock);
    settings_present = true;
    state().settings[path].sector_size = sector_size;
}

void set_read_delay(const std::string& path, uint32_t microseconds) {
    std::lock_guard guard(state().lock);
    settings_present = true;
    state().settings[path].read_delay_us = microseconds;
}

void reset_disk_settings() {
    std::lock_guard guard(state().lock);
    state().settings.clear();
}

}  // namespace test
}  // namespace platform
