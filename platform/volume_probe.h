#pragma once
// Probes one disk of the disk list for its volumes with libblkid. Internal to the platform layer.
#include <string>
#include <vector>

#include "platform/volumes.h"

namespace platform::detail {

std::vector<volume_info_s> probe_disk_volumes(const std::string& disk_path, unsigned disk_number);

// A Windows-style GUID text ("xxxxxxxx-xxxx-xxxx-xxxx-xxxxxxxxxxxx") made from a key.
std::string guid_from_key(const std::string& key);

// The file system name as Windows names it, from blkid's TYPE and VERSION.
std::string windows_file_system_name(const std::string& type, const std::string& version);

// Forgets the volume snapshot, so the next look probes the disks again.
void invalidate_volume_snapshot();

// The mount points of a volume's block device (none for image partitions).
std::vector<std::string> volume_mount_points(const volume_info_s& volume);

}  // namespace platform::detail
