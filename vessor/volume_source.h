#pragma once
// The volume a scan reads: "/dev/hd%c%d" resolved through the platform layer, read at byte
// offsets relative to the volume's start. Nothing is ever written to it.
#include <cstddef>
#include <cstdint>
#include <string>

#include "platform/device.h"

namespace vessor {

// "/dev/hd" + disk letter ('a' is disk 0) + partition number (0: the whole disk).
bool parse_device_name(const char* name, unsigned& disk, uint32_t& partition);

class volume_source_c {
public:
    // 0, or a negative result code.
    int open(const char* device_name);
    // True when exactly `size` bytes were read.
    bool read(uint64_t offset, void* destination, size_t size) const;
    uint64_t size() const { return size_; }

private:
    platform::device_handle device_;
    uint64_t size_ = 0;
};

}  // namespace vessor
