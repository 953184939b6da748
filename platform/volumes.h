#pragma once
// Volume enumeration: every partition of every listed disk (libblkid), the stand-ins for
// FindFirstVolumeW / FindNextVolumeW, QueryDosDeviceW, GetVolumePathNamesForVolumeNameW,
// GetDriveTypeW, GetVolumeInformationW and GetDiskFreeSpaceExW.
#include <cstdint>
#include <string>
#include <vector>

namespace platform {

struct volume_info_s {
    std::string volume_name;        // "\\?\Volume{GUID}\"
    std::string device_name;        // "/dev/sdb1", or "/abs/disk.img#1" for a partition of an image
    std::string disk_path;          // the disk's block device or image file
    unsigned disk_number = 0;       // position in the disk list
    uint32_t partition_number = 0;  // 0 for a disk without a partition table
    uint64_t start_offset = 0;      // bytes from the start of the disk
    uint64_t size = 0;              // bytes
    std::string label;              // empty when none
    std::string file_system;        // as Windows names it: "FAT", "FAT32", "NTFS", "exFAT"; else blkid's name; "" when none
    uint32_t serial = 0;            // file system serial number, 0 when none
    std::vector<std::string> mount_paths;  // each with a trailing "/"
    unsigned drive_type = 0;        // GetDriveTypeW of the volume's disk
};

// Probes every disk of the disk list again and keeps the result as the current snapshot.
// Returns the volume GUID paths in enumeration order (disk order, then partition order);
// empty when no volume exists (FindFirstVolumeW fails).
std::vector<std::string> find_volumes();

// The current snapshot (taken by find_volumes, or on first use).
std::vector<volume_info_s> volume_snapshot();

// Looks a volume up in the snapshot, probing again once when it is not there. Accepts a
// volume GUID path with or without its trailing "\" (or "/"), a device name, or a mount path.
bool find_volume(const std::string& name, volume_info_s& out);
// The volume at disk number and partition number (0 = the whole disk).
bool find_volume_by_location(unsigned disk_number, uint32_t partition_number, volume_info_s& out);

// QueryDosDeviceW for a name without "\\?\" and without the trailing "\".
bool query_dos_device(const std::string& name, std::string& device_name);
// GetVolumePathNamesForVolumeNameW: the mount paths, or the device name of an unmounted volume.
bool get_volume_path_names(const std::string& volume_name, std::vector<std::string>& paths);
// GetDriveTypeW on a mount path or device name.
unsigned get_drive_type(const std::string& root_path);
// GetVolumeInformationW; fails for a volume without a recognised file system.
bool get_volume_information(const std::string& root_path, std::string& label, std::string& file_system,
                            uint32_t& file_system_flags);
// GetDiskFreeSpaceExW: statvfs of the mount point; unmounted: total = volume size, free = 0.
bool get_disk_free_space(const std::string& root_path, uint64_t& total_bytes, uint64_t& free_bytes);
// IsUserAnAdmin, asked for one volume: the process can open the volume's disk for reading.
bool is_user_an_admin(const std::string& volume_name);

// Volumes whose GUID paths collide (cloned disks): true when name matches more than one.
bool volume_name_is_ambiguous(const std::string& volume_name);

// The mount points of a block device (major, minor) from /proc/self/mountinfo, with "/" added.
std::vector<std::string> mount_points_of(uint64_t device_number);
// True when a local path lies on the given volume (under one of its mount points, or on its device).
bool path_is_on_volume(const std::string& path, const volume_info_s& volume);

}  // namespace platform
