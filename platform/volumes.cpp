#include "platform/volumes.h"

#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <mutex>

#include "platform/disk_settings.h"
#include "platform/disks.h"
#include "platform/volume_probe.h"

namespace platform {
namespace {

struct snapshot_s {
    std::mutex lock;
    bool taken = false;
    std::vector<volume_info_s> volumes;
};

snapshot_s& snapshot() {
    static auto* s = new snapshot_s;  // never destroyed: engine threads may still ask at exit
    return *s;
}

std::vector<volume_info_s> probe_all() {
    std::vector<volume_info_s> volumes;
    auto disks = disk_list();
    for (size_t i = 0; i < disks.size(); ++i) {
        for (auto& volume : detail::probe_disk_volumes(disks[i], static_cast<unsigned>(i))) {
            volume.mount_paths = detail::volume_mount_points(volume);
            volumes.push_back(std::move(volume));
        }
    }
    return volumes;
}

std::string without_trailing_separator(const std::string& name) {
    if (name.size() > 1 && (name.back() == '\\' || name.back() == '/')) return name.substr(0, name.size() - 1);
    return name;
}

bool names_volume(const volume_info_s& volume, const std::string& name) {
    std::string bare = without_trailing_separator(name);
    if (bare == without_trailing_separator(volume.volume_name) || name == volume.device_name) return true;
    for (const auto& point : volume.mount_paths)
        if (name == point || bare == without_trailing_separator(point)) return true;
    return false;
}

bool find_in_snapshot(const std::string& name, volume_info_s& out) {
    std::lock_guard guard(snapshot().lock);
    for (const auto& volume : snapshot().volumes) {
        if (names_volume(volume, name)) {
            out = volume;
            return true;
        }
    }
    return false;
}

void ensure_snapshot() {
    {
        std::lock_guard guard(snapshot().lock);
        if (snapshot().taken) return;
    }
    find_volumes();
}

}  // namespace

namespace detail {
void invalidate_volume_snapshot() {
    std::lock_guard guard(snapshot().lock);
    snapshot().taken = false;
    snapshot().volumes.clear();
}
}  // namespace detail

std::vector<std::string> find_volumes() {
    auto volumes = probe_all();
    std::vector<std::string> names;
    for (const auto& volume : volumes) names.push_back(volume.volume_name);
    std::lock_guard guard(snapshot().lock);
    snapshot().volumes = std::move(volumes);
    snapshot().taken = true;
    return names;
}

std::vector<volume_info_s> volume_snapshot() {
    ensure_snapshot();
    std::lock_guard guard(snapshot().lock);
    return snapshot().volumes;
}

bool find_volume(const std::string& name, volume_info_s& out) {
    ensure_snapshot();
    if (find_in_snapshot(name, out)) return true;
    find_volumes();  // the disks may have changed since the last look
    return find_in_snapshot(name, out);
}

bool find_volume_by_location(unsigned disk_number, uint32_t partition_number, volume_info_s& out) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (attempt == 1) find_volumes();
        for (const auto& volume : volume_snapshot()) {
            if (volume.disk_number == disk_number && volume.partition_number == partition_number) {
                out = volume;
                return true;
            }
        }
    }
    return false;
}

bool query_dos_device(const std::string& name, std::string& device_name) {
    volume_info_s volume;
    if (!find_in_snapshot("\\\\?\\" + name + "\\", volume)) return false;
    device_name = volume.device_name;
    return true;
}

bool get_volume_path_names(const std::string& volume_name, std::vector<std::string>& paths) {
    volume_info_s volume;
    if (!find_in_snapshot(volume_name, volume)) return false;
    paths = volume.mount_paths.empty() ? std::vector<std::string>{volume.device_name} : volume.mount_paths;
    return true;
}

unsigned get_drive_type(const std::string& root_path) {
    volume_info_s volume;
    return find_in_snapshot(root_path, volume) ? volume.drive_type : static_cast<unsigned>(drive_no_root_dir);
}

bool get_volume_information(const std::string& root_path, std::string& label, std::string& file_system,
                            uint32_t& file_system_flags) {
    volume_info_s volume;
    if (!find_in_snapshot(root_path, volume) || volume.file_system.empty()) return false;
    label = volume.label;
    file_system = volume.file_system;
    file_system_flags = 0;
    return true;
}

bool get_disk_free_space(const std::string& root_path, uint64_t& total_bytes, uint64_t& free_bytes) {
    volume_info_s volume;
    if (!find_in_snapshot(root_path, volume)) return false;
    if (volume.mount_paths.empty()) {
        total_bytes = volume.size;
        free_bytes = 0;
        return true;
    }
    struct statvfs info {};
    if (::statvfs(volume.mount_paths.front().c_str(), &info) != 0) return false;
    total_bytes = static_cast<uint64_t>(info.f_blocks) * info.f_frsize;
    free_bytes = static_cast<uint64_t>(info.f_bfree) * info.f_frsize;
    return true;
}

bool is_user_an_admin(const std::string& volume_name) {
    volume_info_s volume;
    if (!find_in_snapshot(volume_name, volume)) return false;
    if (detail::is_memory_path(volume.disk_path)) return detail::memory_disk(volume.disk_path) != nullptr;
    int fd = ::open(volume.disk_path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    ::close(fd);
    return true;
}

bool volume_name_is_ambiguous(const std::string& volume_name) {
    std::string bare = without_trailing_separator(volume_name);
    std::lock_guard guard(snapshot().lock);
    int matches = 0;
    for (const auto& volume : snapshot().volumes)
        if (without_trailing_separator(volume.volume_name) == bare) ++matches;
    return matches > 1;
}

}  // namespace platform
