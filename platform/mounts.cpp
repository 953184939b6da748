// Mount points from /proc/self/mountinfo, and whether a path lies on a volume.
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/volume_probe.h"
#include "platform/volumes.h"

namespace fs = std::filesystem;

namespace platform {
namespace {

// mountinfo escapes space, tab, newline and backslash as octal "\ooo".
std::string unescape_mount_path(const std::string& text) {
    std::string out;
    for (size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\\' && i + 3 < text.size()) {
            int value = 0;
            bool octal = true;
            for (size_t k = 1; k <= 3; ++k) {
                if (text[i + k] < '0' || text[i + k] > '7') {
                    octal = false;
                    break;
                }
                value = value * 8 + (text[i + k] - '0');
            }
            if (octal) {
                out += static_cast<char>(value);
                i += 3;
                continue;
            }
        }
        out += text[i];
    }
    return out;
}

std::string with_trailing_slash(std::string path) {
    if (path.empty() || path.back() != '/') path += '/';
    return path;
}

// The device number of a block device node, or 0.
uint64_t block_device_number(const std::string& path) {
    struct stat info {};
    if (path.rfind("/dev/", 0) != 0 || ::stat(path.c_str(), &info) != 0 || !S_ISBLK(info.st_mode)) return 0;
    return info.st_rdev;
}

// The nearest existing folder of a path that may not exist yet.
fs::path nearest_existing(const std::string& path) {
    std::error_code ec;
    fs::path p = fs::absolute(path, ec).lexically_normal();
    while (!p.empty() && !fs::exists(p, ec)) {
        if (p == p.parent_path()) break;
        p = p.parent_path();
    }
    return fs::weakly_canonical(p, ec);
}

}  // namespace

std::vector<std::string> mount_points_of(uint64_t device_number) {
    std::vector<std::string> points;
    if (device_number == 0) return points;
    std::ifstream in("/proc/self/mountinfo");
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string id, parent, major_minor, root, mount_point;
        if (!(fields >> id >> parent >> major_minor >> root >> mount_point)) continue;
        unsigned major_number = 0, minor_number = 0;
        if (std::sscanf(major_minor.c_str(), "%u:%u", &major_number, &minor_number) != 2) continue;
        if (makedev(major_number, minor_number) != device_number || root != "/") continue;
        points.push_back(with_trailing_slash(unescape_mount_path(mount_point)));
    }
    return points;
}

namespace detail {
std::vector<std::string> volume_mount_points(const volume_info_s& volume) {
    return mount_points_of(block_device_number(volume.device_name));
}
}  // namespace detail

bool path_is_on_volume(const std::string& path, const volume_info_s& volume) {
    fs::path target = nearest_existing(path);
    std::string target_text = with_trailing_slash(target.string());
    for (const auto& point : volume.mount_paths)
        if (target_text.rfind(point, 0) == 0) return true;
    uint64_t device = block_device_number(volume.device_name);
    struct stat info {};
    return device != 0 && ::stat(target.c_str(), &info) == 0 && info.st_dev == device;
}

}  // namespace platform
