#pragma once
// Raw device access: the stand-ins for CreateFile, ReadFile, WriteFile, SetFilePointer and the
// disk and volume control codes. A device is a disk of the disk list, a volume (a byte window
// of a disk), a plain file or an in-memory disk registered by a test.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace platform {

// Same fields and size as the Windows DISK_GEOMETRY record.
struct disk_geometry_s {
    int64_t cylinders = 0;
    uint32_t media_type = 0;
    uint32_t tracks_per_cylinder = 0;
    uint32_t sectors_per_track = 0;
    uint32_t bytes_per_sector = 0;
};
static_assert(sizeof(disk_geometry_s) == 24);

enum access_e : unsigned {
    access_query = 0,  // device queries only
    access_read = 1,
    access_write = 2,
};

enum open_flags_e : unsigned {
    open_buffered = 0,
    open_no_buffering = 1,  // O_DIRECT where the file system allows it; needs aligned buffers
};

class device_c;
using device_handle = std::shared_ptr<device_c>;

// Opens a device by any of the names the program uses:
//   "\\.\PhysicalDriveN"            disk N of the disk list
//   "\\?\Volume{GUID}" [+ "\"]       a volume of the volume list (reads are volume-relative)
//   a volume device name             "/dev/sdb1" or "/abs/image.img#2"
//   any other path                   that file or block device itself
// Returns null on failure (errno-like reason in last_error()).
device_handle device_open(const std::string& path, unsigned access, unsigned flags = open_buffered);

// Bytes read (short at the end of the device), or -1 on an I/O error or a bad argument.
int64_t device_read(const device_handle& device, void* destination, size_t byte_count, uint64_t byte_offset);
// Bytes written, or -1. Fails on a device opened without access_write.
int64_t device_write(const device_handle& device, const void* source, size_t byte_count, uint64_t byte_offset);
// Flushes written data to the medium (fsync); false on failure.
bool device_flush(const device_handle& device);

// IOCTL_STORAGE_CHECK_VERIFY: the medium is still there (path opens, size not zero).
bool device_check_verify(const device_handle& device);
// IOCTL_DISK_GET_DRIVE_GEOMETRY: 255 heads, 63 sectors per track, whole cylinders.
bool device_get_geometry(const device_handle& device, disk_geometry_s& geometry);
// IOCTL_DISK_IS_WRITABLE: not read-only and the path is writable.
bool device_is_writable(const device_handle& device);
// Length in bytes of the device (whole disk, volume window or file).
uint64_t device_size(const device_handle& device);
// Logical sector size (512 unless the disk reports or a test sets another).
uint32_t device_sector_size(const device_handle& device);

// IOCTL_DISK_GET_PARTITION_INFO_EX: partition number (0 for a whole disk) and byte offset.
bool device_get_partition_info(const device_handle& device, uint32_t& partition_number, uint64_t& starting_offset);
// IOCTL_VOLUME_GET_VOLUME_DISK_EXTENTS with room for one extent: the disk number.
bool device_get_disk_extents(const device_handle& device, uint32_t& disk_number);

// Identity of what a handle opened: device number for block devices, device and inode for
// files, plus the size; a later open compares it to be sure it is the same disk.
struct device_identity_s {
    uint64_t device = 0;
    uint64_t inode = 0;
    uint64_t size = 0;
    bool operator==(const device_identity_s&) const = default;
};
device_identity_s device_identity(const device_handle& device);

// The path the handle reads (block device, image file or "mem:NAME").
std::string device_backing_path(const device_handle& device);

// Reason of the last failed call on this thread, as text.
std::string last_error();

// 4096-aligned zeroed memory, for unbuffered transfers; release with aligned_free.
void* aligned_alloc_buffer(size_t byte_count);
void aligned_free(void* buffer);

}  // namespace platform
