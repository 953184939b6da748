#include "tests/engines/engine_test_support.h"

#include "disk/sector_device.h"
#include "platform/test_seam.h"

namespace engine_test {

attached_disks::attached_disks(const std::vector<std::string>& paths) {
    platform::test::set_disk_list(paths);
    sector_device_test::reset();
    drive_table_open();
    enumerate_volumes();
}

attached_disks::~attached_disks() {
    sector_device_test::reset();
    platform::test::set_disk_list(std::nullopt);
    platform::test::remove_memory_disks();
    platform::test::reset_disk_settings();
}

volume_item_s attached_disks::volume(int disk, int partition) const {
    for (const auto& volume : volume_list())
        if (!volume.device_name.isEmpty() && volume.disk_number == disk && volume.partition_number == partition)
            return volume;
    return {};
}

bool scan(recovery_base_c& engine, const volume_item_s& volume) {
    engine.reset();
    engine.set_volume(volume);
    engine.start();
    return engine.wait(60000);
}

std::map<QString, QList<recovery_item_s>> shown_rows(engine_kind_e kind, recovery_base_c& engine) {
    std::map<QString, QList<recovery_item_s>> result;
    auto tree = build_result_folders(kind, &engine);
    for (size_t i = 0; i < tree.nodes.size(); ++i)
        result[tree.path_of(static_cast<int>(i))] = folder_rows(kind, &engine, tree.nodes[i].record);
    return result;
}

}  // namespace engine_test
