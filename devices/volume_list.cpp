#include "devices/volume_list.h"

#include <algorithm>
#include <string>
#include <vector>

#include "devices/drive_list.h"
#include "platform/device.h"
#include "platform/disks.h"
#include "platform/volumes.h"

namespace {

// The working record: every field filled, strings as the platform gives them.
struct native_volume_s {
    std::u16string device_name;
    std::u16string volume_name;
    std::u16string label;
    std::u16string file_system;
    std::u16string path;
    std::vector<std::u16string> path_names;
    uint32_t file_system_flags = 0;
    uint32_t drive_type = 0;
    uint64_t total_bytes = 0;
    uint64_t free_bytes = 0;
    int32_t partition_number = -1;
    int32_t disk_number = -1;
};

std::vector<native_volume_s>& native_volume_list() {
    static auto* list = new std::vector<native_volume_s>;
    return *list;
}

QList<volume_item_s>& published_list() {
    static auto* list = new QList<volume_item_s>;
    return *list;
}

std::u16string wide(const std::string& text) {
    return QString::fromStdString(text).toStdU16String();
}

std::string narrow(const std::u16string& text) {
    return QString::fromStdU16String(text).toStdString();
}

QString to_qstring(const std::u16string& text) {
    return QString::fromStdU16String(text);
}

bool well_formed_volume_name(const std::string& name) {
    return name.size() > 4 && name.rfind("\\\\?\\", 0) == 0 && name.back() == '\\';
}

void read_volume_information(native_volume_s& volume) {
    const std::string root = narrow(volume.path_names.front());
    volume.drive_type = platform::get_drive_type(root);
    std::string label, file_system;
    if (!platform::get_volume_information(root, label, file_system, volume.file_system_flags)) return;
    volume.label = wide(label);
    volume.file_system = wide(file_system);
    uint64_t total = 0, free = 0;
    if (platform::get_disk_free_space(root, total, free)) {
        volume.total_bytes = total;
        volume.free_bytes = free;
    }
}

void read_disk_location(native_volume_s& volume) {
    volume.partition_number = -1;
    volume.disk_number = -1;
    if (volume.drive_type != platform::drive_removable && volume.drive_type != platform::drive_fixed) return;
    int32_t partition = -1, disk = -1;
    if (query_disk_location(to_qstring(volume.volume_name), partition, disk)) {
        volume.partition_number = partition;
        volume.disk_number = disk;
    }
}

bool passes_type_filter(const native_volume_s& volume) {
    if (volume.drive_type == platform::drive_remote || volume.drive_type == platform::drive_cdrom) return false;
    if (volume.drive_type == platform::drive_fixed) return platform::is_user_an_admin(narrow(volume.volume_name));
    return true;
}

// One enumerated volume name; false when the volume is skipped.
bool describe_volume(const std::string& name, native_volume_s& volume) {
    if (!well_formed_volume_name(name)) return false;
    std::string device;
    if (!platform::query_dos_device(name.substr(4, name.size() - 5), device)) return false;
    volume.device_name = wide(device);
    volume.volume_name = wide(name);
    std::vector<std::string> paths;
    if (platform::get_volume_path_names(name, paths))
        for (const auto& path : paths) volume.path_names.push_back(wide(path));
    if (!volume.path_names.empty()) volume.path = volume.path_names.front();
    if (volume.path.empty()) volume.path = volume.device_name;
    if (!volume.path_names.empty() && !volume.path_names.front().empty()) read_volume_information(volume);
    read_disk_location(volume);
    return true;
}

void build_volume_list() {
    auto& list = published_list();
    list.clear();
    list.append(volume_item_s{});
    for (const auto& native : native_volume_list()) {
        if (native.partition_number == -1 || native.disk_number == -1) continue;
        volume_item_s item;
        item.device_name = to_qstring(native.device_name);
        item.volume_name = to_qstring(native.volume_name);
        item.label = to_qstring(native.label);
        item.file_system = to_qstring(native.file_system);
        item.path = to_qstring(native.path);
        item.total_bytes = native.total_bytes;
        item.free_bytes = native.free_bytes;
        item.partition_number = native.partition_number;
        item.disk_number = native.disk_number;
        list.append(item);
    }
}

}  // namespace

void enumerate_volumes() {
    auto& natives = native_volume_list();
    natives.clear();
    published_list().clear();
    const auto names = platform::find_volumes();
    if (names.empty()) return;  // no volume at all: not even the heading record
    for (const auto& name : names) {
        native_volume_s volume;
        if (describe_volume(name, volume) && passes_type_filter(volume)) natives.push_back(std::move(volume));
    }
    std::sort(natives.begin(), natives.end(), [](const native_volume_s& a, const native_volume_s& b) {
        const std::u16string key_a = a.path_names.empty() ? std::u16string() : a.path_names.front();
        const std::u16string key_b = b.path_names.empty() ? std::u16string() : b.path_names.front();
        return key_a < key_b;
    });
    build_volume_list();
}

const QList<volume_item_s>& volume_list() {
    return published_list();
}

bool query_disk_location(const QString& volume_path, int32_t& partition_number, int32_t& disk_number) {
    std::string path = volume_path.toStdString();
    if (!path.empty() && (path.back() == '\\' || path.back() == '/')) path.pop_back();
    auto device = platform::device_open(path, platform::access_read, platform::open_no_buffering);
    if (!device) return false;
    uint32_t partition = 0, disk = 0;
    uint64_t start = 0;
    if (!platform::device_get_partition_info(device, partition, start)) return false;
    if (!platform::device_get_disk_extents(device, disk)) return false;
    partition_number = static_cast<int32_t>(partition);
    disk_number = static_cast<int32_t>(disk);
    return true;
}

void register_device_meta_types() {
    qRegisterMetaType<volume_item_s>("volume_item_s");
    qRegisterMetaType<drive_item_s>("drive_item_s");
}
