#include "cli/volume_checks.h"

#include "calloway/calloway.h"
#include "disk/fat_reader.h"
#include "disk/sector_device.h"
#include "engines/ntfs_recovery.h"
#include "vessor/vessor.h"

#include <vector>

namespace {

// The sector device layer's drive table, opened once for the run.
void open_drive_table() {
    static const bool opened = (drive_table_open(), true);
    (void)opened;
}

std::string fat_result_text(uint8_t result) {
    switch (result) {
    case fat_disk_error:
        return "a sector could not be read";
    case fat_not_ready:
        return "the drive is not ready";
    case fat_no_file_system:
        return "no valid FAT file system";
    default:
        return "FAT reader result " + std::to_string(result);
    }
}

}  // namespace

bool check_fat_volume(const volume_item_s& volume, std::string& error) {
    open_drive_table();
    volume_location_s location;
    if (locate_volume(volume.volume_name.toStdString(), location) != 0 || location.disk_number >= drive_table_size) {
        error = "cannot locate " + volume.device_name.toStdString() + " on its disk";
        return false;
    }
    // Volume 1 of the reader is ours; the engine uses volume 0.
    static auto* probe = new fat_volume;
    fat_volume_table[1].drive = static_cast<uint8_t>(location.disk_number);
    fat_volume_table[1].partition = static_cast<uint8_t>(location.partition_number);
    fat_volume_table[1].start_sector = location.start_sector;
    fat_register_volume(1, probe);
    fat_dir dir;
    uint8_t result = fat_open_dir(&dir, u"1:/");
    if (result != fat_ok) {
        error = "cannot mount " + volume.device_name.toStdString() + ": " + fat_result_text(result);
        return false;
    }
    return true;
}

bool check_carving_volume(const volume_item_s& volume, std::string& error) {
    carve_handle handle = carve_open(volume.volume_name.toStdString().c_str());
    if (!handle) {
        error = "cannot open " + volume.device_name.toStdString() + " for reading";
        return false;
    }
    carve_close(handle);
    return true;
}

bool check_ntfs_volume(const volume_item_s& volume, std::string& error) {
    std::vector<uint8_t> context(vessor::context_size, 0);
    const std::string device = ntfs_recovery_c::device_name(volume);
    int result = ntfs_scan_startup(device.c_str(), context.data());
    if (result < 0) {
        error = "cannot read the NTFS volume " + volume.device_name.toStdString() + " (" + device +
                ", NTFS library result " + std::to_string(result) + ")";
        return false;
    }
    ntfs_scan_cleanup(context.data());
    return true;
}
