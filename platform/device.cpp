#include "platform/device.h"

#include <cerrno>
#include <chrono>
#include <thread>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "platform/backing.h"
#include "platform/disk_settings.h"
#include "platform/disks.h"
#include "platform/volumes.h"

namespace platform {

class device_c {
public:
    std::shared_ptr<detail::backing_c> backing;
    uint64_t window_start = 0;
    uint64_t window_length = std::numeric_limits<uint64_t>::max();  // whole backing
    bool is_volume = false;
    uint32_t partition_number = 0;
    int disk_number = -1;  // -1: not a disk of the disk list
    unsigned access = access_read;

    uint64_t length() const {
        uint64_t backing_size = backing->size();
        if (window_start >= backing_size) return 0;
        return std::min(window_length, backing_size - window_start);
    }
};

namespace {

thread_local std::string error_text;

void fail(int error) {
    error_text = std::strerror(error);
    errno = error;
}

int disk_number_of(const std::string& path) {
    auto disks = disk_list();
    for (size_t i = 0; i < disks.size(); ++i)
        if (disks[i] == path) return static_cast<int>(i);
    return -1;
}

bool looks_like_volume_name(const std::string& path) {
    return path.rfind("\\\\?\\Volume{", 0) == 0;
}

device_handle open_volume(const volume_info_s& volume, unsigned access, unsigned flags) {
    auto backing = detail::open_backing(volume.disk_path, access, flags);
    if (!backing) {
        fail(errno);
        return nullptr;
    }
    auto device = std::make_shared<device_c>();
    device->backing = std::move(backing);
    device->window_start = volume.start_offset;
    device->window_length = volume.size;
    device->is_volume = true;
    device->partition_number = volume.partition_number;
    device->disk_number = static_cast<int>(volume.disk_number);
    device->access = access;
    return device;
}

device_handle open_whole(const std::string& path, int disk_number, unsigned access, unsigned flags) {
    auto backing = detail::open_backing(path, access, flags);
    if (!backing) {
        fail(errno);
        return nullptr;
    }
    auto device = std::make_shared<device_c>();
    device->backing = std::move(backing);
    device->disk_number = disk_number;
    device->access = access;
    return device;
}

bool readable_now(const device_handle& device, uint64_t offset, uint64_t length) {
    if (!detail::any_disk_settings()) return true;
    auto settings = detail::settings_for(device->backing->path());
    if (!settings.present) {
        fail(ENOMEDIUM);
        return false;
    }
    if (settings.touches_bad_range(device->window_start + offset, length)) {
        fail(EIO);
        return false;
    }
    if (settings.read_delay_us) std::this_thread::sleep_for(std::chrono::microseconds(settings.read_delay_us));
    return true;
}

}  // namespace

device_handle device_open(const std::string& path, unsigned access, unsigned flags) {
    int drive = physical_drive_number(path);
    if (drive >= 0) {
        std::string backing = physical_drive_backing(path);
        if (backing.empty()) {
            fail(ENOENT);
            return nullptr;
        }
        return open_whole(backing, drive, access, flags);
    }
    volume_info_s volume;
    bool device_path = path.rfind("/dev/", 0) == 0 && disk_number_of(path) < 0;
    if ((looks_like_volume_name(path) || path.find('#') != std::string::npos || device_path) &&
        find_volume(path, volume))
        return open_volume(volume, access, flags);
    if (looks_like_volume_name(path)) {
        fail(ENOENT);
        return nullptr;
    }
    return open_whole(path, disk_number_of(path), access, flags);
}

int64_t device_read(const device_handle& device, void* destination, size_t byte_count, uint64_t byte_offset) {
    if (!device || (!destination && byte_count)) {
        fail(EINVAL);
        return -1;
    }
    // Only a volume's window needs clamping: past the end of a disk or file the read comes back
    // short by itself, and asking the size would cost a system call per sector.
    if (device->is_volume) {
        if (byte_offset >= device->window_length) return 0;
        byte_count = static_cast<size_t>(std::min<uint64_t>(byte_count, device->window_length - byte_offset));
    }
    if (!readable_now(device, byte_offset, byte_count)) return -1;
    int64_t n = device->backing->read_at(destination, byte_count, device->window_start + byte_offset);
    if (n < 0) fail(errno);
    return n;
}

int64_t device_write(const device_handle& device, const void* source, size_t byte_count, uint64_t byte_offset) {
    if (!device || (!source && byte_count) || !(device->access & access_write)) {
        fail(device ? EBADF : EINVAL);
        return -1;
    }
    uint64_t length = device->length();
    if (byte_offset >= length) return 0;
    byte_count = static_cast<size_t>(std::min<uint64_t>(byte_count, length - byte_offset));
    if (!detail::settings_for(device->backing->path()).present) {
        fail(ENOMEDIUM);
        return -1;
    }
    int64_t n = device->backing->write_at(source, byte_count, device->window_start + byte_offset);
    if (n < 0) fail(errno);
    return n;
}

bool device_flush(const device_handle& device) {
    if (!device) return false;
    if (device->backing->flush()) return true;
    fail(errno);
    return false;
}

bool device_check_verify(const device_handle& device) {
    if (!device) return false;
    if (!detail::settings_for(device->backing->path()).present) return false;
    return device->backing->still_present();
}

uint32_t device_sector_size(const device_handle& device) {
    if (!device) return 0;
    auto settings = detail::settings_for(device->backing->path());
    return settings.sector_size ? *settings.sector_size : device->backing->reported_sector_size();
}

uint64_t device_size(const device_handle& device) {
    return device ? device->length() : 0;
}

bool device_get_geometry(const device_handle& device, disk_geometry_s& geometry) {
    if (!device_check_verify(device)) return false;
    uint32_t sector_size = device_sector_size(device);
    if (sector_size == 0) return false;
    geometry = {};
    geometry.tracks_per_cylinder = 255;
    geometry.sectors_per_track = 63;
    geometry.bytes_per_sector = sector_size;
    geometry.media_type = 12;  // fixed hard disk media
    geometry.cylinders = static_cast<int64_t>(device->length() / (255ULL * 63ULL * sector_size));
    return true;
}

bool device_is_writable(const device_handle& device) {
    return device && device->backing->writable();
}

bool device_get_partition_info(const device_handle& device, uint32_t& partition_number, uint64_t& starting_offset) {
    if (!device) return false;
    partition_number = device->is_volume ? device->partition_number : 0;
    starting_offset = device->window_start;
    return true;
}

bool device_get_disk_extents(const device_handle& device, uint32_t& disk_number) {
    if (!device || device->disk_number < 0) return false;
    disk_number = static_cast<uint32_t>(device->disk_number);
    return true;
}

device_identity_s device_identity(const device_handle& device) {
    return device ? device->backing->identity() : device_identity_s{};
}

std::string device_backing_path(const device_handle& device) {
    return device ? device->backing->path() : std::string();
}

std::string last_error() {
    return error_text;
}

void* aligned_alloc_buffer(size_t byte_count) {
    size_t rounded = (byte_count + 4095) / 4096 * 4096;
    void* buffer = std::aligned_alloc(4096, rounded ? rounded : 4096);
    if (buffer) std::memset(buffer, 0, rounded ? rounded : 4096);
    return buffer;
}

void aligned_free(void* buffer) {
    std::free(buffer);
}

}  // namespace platform
