#pragma once
// What a device handle reads: a file or block device, or a buffer registered by a test.
// Internal to the platform layer.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/device.h"

namespace platform::detail {

class backing_c {
public:
    virtual ~backing_c() = default;
    // Bytes transferred (short at the end), or -1 with errno set.
    virtual int64_t read_at(void* destination, size_t byte_count, uint64_t byte_offset) = 0;
    virtual int64_t write_at(const void* source, size_t byte_count, uint64_t byte_offset) = 0;
    virtual bool flush() = 0;
    virtual uint64_t size() = 0;
    // The path still opens and reports a non-zero size.
    virtual bool still_present() = 0;
    virtual bool writable() = 0;
    virtual uint32_t reported_sector_size() = 0;
    virtual device_identity_s identity() = 0;
    const std::string& path() const { return path_; }

protected:
    explicit backing_c(std::string path) : path_(std::move(path)) {}

private:
    std::string path_;
};

// Opens the path (a file, a block device or "mem:NAME"); null with errno set on failure.
std::shared_ptr<backing_c> open_backing(const std::string& path, unsigned access, unsigned flags);

}  // namespace platform::detail
