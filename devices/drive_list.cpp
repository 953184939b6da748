#include "devices/drive_list.h"

#include "platform/disks.h"

namespace {

QList<drive_item_s>& published_list() {
    static auto* list = new QList<drive_item_s>;
    return *list;
}

}  // namespace

void enumerate_drives() {
    auto& list = published_list();
    list.clear();
    list.append(drive_item_s{});
    for (unsigned n = 0; n <= 9; ++n) {
        const std::string path = platform::physical_drive_path(n);
        auto device = platform::device_open(path, platform::access_query);
        if (!device) break;
        auto geometry = std::make_shared<platform::disk_geometry_s>();
        if (!platform::device_get_geometry(device, *geometry)) break;
        drive_item_s item;
        item.drive_path = QString::fromStdString(path);
        item.size_bytes = static_cast<uint64_t>(geometry->cylinders) * geometry->tracks_per_cylinder *
                          geometry->sectors_per_track * geometry->bytes_per_sector;
        item.geometry = std::move(geometry);
        list.append(item);
    }
}

const QList<drive_item_s>& drive_list() {
    return published_list();
}
