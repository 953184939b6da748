#include "vessor/volume_source.h"

#include <cstring>

#include "platform/disks.h"
#include "platform/volumes.h"
#include "vessor/vessor.h"

namespace vessor {

bool parse_device_name(const char* name, unsigned& disk, uint32_t& partition) {
    static constexpr char prefix[] = "/dev/hd";
    if (!name || std::strncmp(name, prefix, sizeof prefix - 1) != 0) return false;
    const char* p = name + sizeof prefix - 1;
    auto letter = static_cast<unsigned char>(*p);
    if (letter < 'a') return false;
    disk = letter - 'a';
    ++p;
    if (*p < '0' || *p > '9') return false;
    uint64_t number = 0;
    for (int digits = 0; *p >= '0' && *p <= '9'; ++p, ++digits) {
        if (digits == 9) return false;
        number = number * 10 + static_cast<unsigned>(*p - '0');
    }
    if (*p != '\0') return false;
    partition = static_cast<uint32_t>(number);
    return true;
}

int volume_source_c::open(const char* device_name) {
    unsigned disk = 0;
    uint32_t partition = 0;
    if (!parse_device_name(device_name, disk, partition)) return error_device;
    platform::volume_info_s volume;
    if (platform::find_volume_by_location(disk, partition, volume))
        device_ = platform::device_open(volume.volume_name, platform::access_read);
    else if (partition == 0)  // a disk whose volume list entry is missing: read the disk itself
        device_ = platform::device_open(platform::physical_drive_path(disk), platform::access_read);
    if (!device_) return error_device;
    size_ = platform::device_size(device_);
    return result_ok;
}

bool volume_source_c::read(uint64_t offset, void* destination, size_t size) const {
    if (!device_ || offset > size_ || size > size_ - offset) return false;
    int64_t got = platform::device_read(device_, destination, size, offset);
    return got >= 0 && static_cast<size_t>(got) == size;
}

}  // namespace vessor
