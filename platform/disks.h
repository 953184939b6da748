#pragma once
// The disk list: which block devices or image files stand for "\\.\PhysicalDriveN".
#include <string>
#include <vector>

namespace platform {

// The paths in TARNWELL_DISKS (colon-separated) when it is set, else the whole-disk block
// devices of /sys/block: real disks first sorted by name, then loop devices with a backing
// file. A test may set the list through the seam in test_seam.h.
std::vector<std::string> disk_list();

// "\\.\PhysicalDrive%u" for disk n.
std::string physical_drive_path(unsigned n);
// The disk number of a "\\.\PhysicalDriveN" path, or -1 when the path is not of that form.
int physical_drive_number(const std::string& path);
// The device or image behind a "\\.\PhysicalDriveN" path, or "" when there is no disk N.
std::string physical_drive_backing(const std::string& path);

// Drive type as GetDriveTypeW names it: 2 removable (and image files), 3 fixed.
enum drive_type_e : unsigned {
    drive_unknown = 0,
    drive_no_root_dir = 1,
    drive_removable = 2,
    drive_fixed = 3,
    drive_remote = 4,
    drive_cdrom = 5,
    drive_ramdisk = 6,
};
unsigned disk_drive_type(const std::string& disk_path);

}  // namespace platform
