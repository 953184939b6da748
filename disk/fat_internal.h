#pragma once
// Shared pieces of the FAT reader's files. Not for use outside disk/.
#include <cstdint>

#include "disk/fat_reader.h"
#include "platform/byte_reader.h"

namespace fat_detail {

// Mounts the volume of a volume number when it is not mounted or its drive became not ready.
uint8_t mount_volume(unsigned volume_number, fat_volume*& volume);

// 0 when the object's volume is mounted under the same mount_id and its drive is ready.
uint8_t validate_object(const fat_volume* volume, uint16_t mount_id);

// Puts an absolute sector into the volume's window (sector 0 keeps what is there).
bool load_window(fat_volume& volume, uint32_t sector);
inline platform::byte_reader window_bytes(const fat_volume& volume) {
    return platform::byte_reader(volume.window, sizeof volume.window);
}

// First sector of a cluster, or 0 for a cluster outside 2 .. fat_entries - 1.
uint32_t cluster_sector(const fat_volume& volume, uint32_t cluster);

constexpr uint32_t fat_entry_unreadable = 0xFFFFFFFF;
// The FAT entry of a cluster: 1 for a cluster out of range, fat_entry_unreadable when the FAT
// sector cannot be read.
uint32_t next_cluster(fat_volume& volume, uint32_t cluster);

// The 8.3 name of a directory entry as UTF-16 (code page 936), NT case bits applied.
void decode_short_name(platform::byte_reader entry, char16_t (&name)[fat_short_name_units]);

}  // namespace fat_detail
