// Reading a file's data along its cluster chain, or as consecutive clusters from its first
// one (a deleted file, whose chain has been cleared).
#include <algorithm>
#include <cstring>

#include "disk/fat_internal.h"
#include "disk/sector_device.h"

using namespace fat_detail;

namespace {

uint8_t fail(fat_file& file, uint8_t result) {
    file.flags |= fat_file_error;
    return result;
}

// At the start of each cluster: the cluster that holds the data at file.position.
uint8_t enter_cluster(fat_file& file, bool contiguous) {
    uint32_t cluster;
    if (file.position == 0)
        cluster = file.first_cluster;
    else if (contiguous)
        cluster = file.cluster + 1;
    else
        cluster = next_cluster(*file.volume, file.cluster);
    if (cluster == fat_entry_unreadable) return fail(file, fat_disk_error);
    if (cluster < 2) return fail(file, fat_internal_error);
    file.cluster = cluster;
    return fat_ok;
}

}  // namespace

uint8_t fat_read_file(fat_file* file, void* destination, uint32_t byte_count, uint32_t* bytes_read,
                      bool contiguous) {
    if (bytes_read) *bytes_read = 0;
    if (!file) return fat_invalid_object;
    if (uint8_t result = validate_object(file->volume, file->mount_id)) return result;
    if (file->flags & fat_file_error) return fat_internal_error;
    if (!(file->flags & fat_file_open)) return fat_denied;

    const fat_volume& volume = *file->volume;
    uint32_t remaining = file->position < file->size ? std::min(byte_count, file->size - file->position) : 0;
    if (remaining && !destination) return fat_invalid_object;
    auto* out = static_cast<uint8_t*>(destination);
    while (remaining) {
        uint32_t in_sector = file->position % fat_sector_size;
        uint32_t sector_in_cluster = (file->position / fat_sector_size) & (volume.cluster_sectors - 1u);
        if (in_sector == 0 && sector_in_cluster == 0) {
            if (uint8_t result = enter_cluster(*file, contiguous)) return result;
        }
        uint32_t first = cluster_sector(volume, file->cluster);
        if (first == 0) return fail(*file, fat_internal_error);
        uint32_t sector = first + sector_in_cluster;

        uint32_t copied;
        // Whole sectors go straight to the caller, up to the end of the cluster.
        if (in_sector == 0 && remaining >= fat_sector_size) {
            uint32_t count = std::min<uint32_t>(remaining / fat_sector_size, volume.cluster_sectors - sector_in_cluster);
            if (drive_read_sectors(volume.drive, out, sector, static_cast<uint8_t>(count)) != sector_ok)
                return fail(*file, fat_disk_error);
            copied = count * fat_sector_size;
        } else {
            if (sector != file->buffer_sector) {
                file->buffer_sector = 0;
                if (drive_read_sectors(volume.drive, file->buffer, sector, 1) != sector_ok)
                    return fail(*file, fat_disk_error);
                file->buffer_sector = sector;
            }
            copied = std::min(fat_sector_size - in_sector, remaining);
            std::memcpy(out, file->buffer + in_sector, copied);
        }
        file->position += copied;
        out += copied;
        remaining -= copied;
        if (bytes_read) *bytes_read += copied;
    }
    return fat_ok;
}
