// locate_volume: on which physical drive a volume lies, its partition number and first sector.
#include <limits>

#include "disk/sector_device.h"
#include "platform/device.h"

int locate_volume(const std::string& volume_path, volume_location_s& location) {
    std::string path = volume_path;
    // A volume path with its trailing separator names the volume's root; without it, the volume.
    if (!path.empty() && (path.back() == '\\' || path.back() == '/')) path.pop_back();

    platform::device_handle volume =
        platform::device_open(path, platform::access_read, platform::open_no_buffering);
    if (!volume) return -1;

    uint32_t partition_number = 0;
    uint64_t starting_offset = 0;
    if (!platform::device_get_partition_info(volume, partition_number, starting_offset)) return -1;
    // A start beyond 32-bit sector numbers cannot be addressed by the drive layer: reading the
    // truncated number would read another part of the disk.
    uint64_t start_sector = starting_offset / 512;
    if (start_sector > std::numeric_limits<uint32_t>::max()) return -1;

    uint32_t disk_number = 0;
    if (!platform::device_get_disk_extents(volume, disk_number)) return -1;

    location.disk_number = disk_number;
    location.partition_number = partition_number;
    location.start_sector = static_cast<uint32_t>(start_sector);
    return 0;
}
