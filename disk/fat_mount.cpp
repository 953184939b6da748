// The volume table, volume registration and mounting.
#include <atomic>

#include "disk/fat_boot_sector.h"
#include "disk/fat_internal.h"
#include "disk/sector_device.h"

fat_volume_table_entry fat_volume_table[fat_volume_count];

namespace fat_detail {
namespace {

fat_volume* registered_volumes[fat_volume_count];

// Mount counter: objects copy the value of their volume's last mount and are valid only while
// it still matches. It skips 0, so that an object nobody filled in never matches.
std::atomic<uint16_t> mount_counter{0};

uint16_t next_mount_id() {
    uint16_t id = static_cast<uint16_t>(mount_counter.fetch_add(1) + 1);
    if (id == 0) id = static_cast<uint16_t>(mount_counter.fetch_add(1) + 1);
    return id;
}

bool drive_ready(unsigned drive) {
    return !(drive_state(drive) & drive_status_not_ready);
}

boot_check_e check_boot_sector(fat_volume& volume, uint32_t sector) {
    volume.window_sector = 0;
    if (drive_read_sectors(volume.drive, volume.window, sector, 1) != sector_ok) return boot_unreadable;
    return check_boot_signature(window_bytes(volume));
}

uint8_t mount(fat_volume& volume, const fat_volume_table_entry& location) {
    volume.fs_type = fat_type_none;
    volume.drive = location.drive;
    if (drive_prepare(volume.drive) & drive_status_not_ready) return fat_not_ready;

    uint32_t base = 0;
    boot_check_e check = check_boot_sector(volume, 0);
    // Sector 0 is a partition table, or the boot sector of another volume of the disk.
    if (check == boot_no_marker || (check == boot_fat && location.partition != 0)) {
        base = location.start_sector;
        check = check_boot_sector(volume, base);
    }
    if (check == boot_unreadable) return fat_disk_error;
    if (check != boot_fat) return fat_no_file_system;

    fat_layout_s layout;
    if (!read_boot_parameters(window_bytes(volume), base, layout)) return fat_no_file_system;
    volume.cluster_sectors = layout.cluster_sectors;
    volume.fat_count = layout.fat_count;
    volume.root_entries = layout.root_entries;
    volume.fat_entries = layout.fat_entries;
    volume.fat_sectors = layout.fat_sectors;
    volume.fat_start = layout.fat_start;
    volume.root_start = layout.root_start;
    volume.data_start = layout.data_start;
    volume.mount_id = next_mount_id();
    volume.fs_type = layout.fs_type;
    volume.window_sector = 0;
    return fat_ok;
}

}  // namespace

uint8_t mount_volume(unsigned volume_number, fat_volume*& volume) {
    volume = nullptr;
    if (volume_number >= fat_volume_count) return fat_invalid_drive;
    fat_volume* registered = registered_volumes[volume_number];
    if (!registered) return fat_not_enabled;
    volume = registered;
    if (registered->fs_type != fat_type_none && drive_ready(registered->drive)) return fat_ok;
    return mount(*registered, fat_volume_table[volume_number]);
}

uint8_t validate_object(const fat_volume* volume, uint16_t mount_id) {
    if (!volume || volume->fs_type == fat_type_none || volume->mount_id != mount_id) return fat_invalid_object;
    if (!drive_ready(volume->drive)) return fat_not_ready;
    return fat_ok;
}

}  // namespace fat_detail

uint8_t fat_register_volume(unsigned volume_number, fat_volume* volume) {
    if (volume_number >= fat_volume_count) return fat_invalid_drive;
    fat_volume*& slot = fat_detail::registered_volumes[volume_number];
    if (slot) slot->fs_type = fat_type_none;
    if (volume) volume->fs_type = fat_type_none;
    slot = volume;
    return fat_ok;
}
