#include "platform/disks.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "platform/disk_settings.h"

namespace fs = std::filesystem;

namespace platform {
namespace {

std::string read_sys_line(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

bool starts_with(const std::string& text, const char* prefix) {
    return text.rfind(prefix, 0) == 0;
}

// Natural order, so loop2 comes before loop10.
bool natural_less(const std::string& a, const std::string& b) {
    auto split = [](const std::string& s) {
        size_t digits = s.find_first_of("0123456789");
        std::string stem = s.substr(0, digits);
        unsigned long number = digits == std::string::npos ? 0 : std::strtoul(s.c_str() + digits, nullptr, 10);
        return std::make_pair(stem, number);
    };
    auto [stem_a, number_a] = split(a);
    auto [stem_b, number_b] = split(b);
    return stem_a != stem_b ? stem_a < stem_b : (number_a != number_b ? number_a < number_b : a < b);
}

std::vector<std::string> sys_block_disks() {
    std::vector<std::string> real_disks, loop_disks;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/sys/block", ec)) {
        std::string name = entry.path().filename().string();
        if (starts_with(name, "ram") || starts_with(name, "zram") || starts_with(name, "sr") ||
            starts_with(name, "dm-"))
            continue;
        if (read_sys_line(entry.path().string() + "/size") == "0") continue;
        if (starts_with(name, "loop")) {
            if (read_sys_line(entry.path().string() + "/loop/backing_file").empty()) continue;
            loop_disks.push_back(name);
        } else {
            real_disks.push_back(name);
        }
    }
    std::sort(real_disks.begin(), real_disks.end(), natural_less);
    std::sort(loop_disks.begin(), loop_disks.end(), natural_less);
    std::vector<std::string> paths;
    for (const auto& name : real_disks) paths.push_back("/dev/" + name);
    for (const auto& name : loop_disks) paths.push_back("/dev/" + name);
    return paths;
}

std::vector<std::string> split_disk_variable(const char* value) {
    std::vector<std::string> paths;
    std::string text(value);
    size_t start = 0;
    while (start <= text.size()) {
        size_t end = text.find(':', start);
        if (end == std::string::npos) end = text.size();
        std::string item = text.substr(start, end - start);
        if (!item.empty()) {
            std::error_code ec;
            // Absolute paths, so device names and volume GUIDs do not depend on the current folder.
            auto absolute = detail::is_memory_path(item) ? fs::path(item) : fs::absolute(item, ec);
            paths.push_back(ec ? item : absolute.lexically_normal().string());
        }
        start = end + 1;
    }
    return paths;
}

}  // namespace

std::vector<std::string> disk_list() {
    if (auto forced = detail::disk_list_override()) return *forced;
    if (const char* value = std::getenv("TARNWELL_DISKS")) return split_disk_variable(value);
    return sys_block_disks();
}

std::string physical_drive_path(unsigned n) {
    return "\\\\.\\PhysicalDrive" + std::to_string(n);
}

int physical_drive_number(const std::string& path) {
    static const std::string prefix = "\\\\.\\PhysicalDrive";
    if (!starts_with(path, prefix.c_str()) || path.size() == prefix.size() || path.size() > prefix.size() + 4)
        return -1;
    int number = 0;
    for (size_t i = prefix.size(); i < path.size(); ++i) {
        if (path[i] < '0' || path[i] > '9') return -1;
        number = number * 10 + (path[i] - '0');
    }
    return number;
}

std::string physical_drive_backing(const std::string& path) {
    int number = physical_drive_number(path);
    if (number < 0) return {};
    auto disks = disk_list();
    return static_cast<size_t>(number) < disks.size() ? disks[static_cast<size_t>(number)] : std::string();
}

unsigned disk_drive_type(const std::string& disk_path) {
    if (!starts_with(disk_path, "/dev/")) return drive_removable;  // image files and memory disks
    std::string name = fs::path(disk_path).filename().string();
    return read_sys_line("/sys/class/block/" + name + "/removable") == "1" ? drive_removable : drive_fixed;
}

}  // namespace platform
