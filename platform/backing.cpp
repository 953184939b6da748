#include "platform/backing.h"

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/disk_settings.h"

namespace platform::detail {
namespace {

bool aligned(const void* pointer, uint64_t offset, size_t length) {
    return reinterpret_cast<uintptr_t>(pointer) % 4096 == 0 && offset % 512 == 0 && length % 512 == 0;
}

class file_backing_c final : public backing_c {
public:
    file_backing_c(std::string path, int fd, int direct_fd, bool for_write)
        : backing_c(std::move(path)), fd_(fd), direct_fd_(direct_fd), for_write_(for_write) {
        struct stat info {};
        if (::fstat(fd_, &info) == 0) block_device_ = S_ISBLK(info.st_mode);
    }
    ~file_backing_c() override {
        ::close(fd_);
        if (direct_fd_ >= 0) ::close(direct_fd_);
    }

    int64_t read_at(void* destination, size_t byte_count, uint64_t byte_offset) override {
        return transfer(destination, nullptr, byte_count, byte_offset);
    }
    int64_t write_at(const void* source, size_t byte_count, uint64_t byte_offset) override {
        if (!for_write_) {
            errno = EBADF;
            return -1;
        }
        return transfer(nullptr, source, byte_count, byte_offset);
    }
    bool flush() override { return ::fsync(fd_) == 0 && (direct_fd_ < 0 || ::fsync(direct_fd_) == 0); }

    uint64_t size() override { return size_of(fd_); }

    bool still_present() override {
        int fd = ::open(path().c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return false;
        uint64_t length = size_of(fd);
        ::close(fd);
        return length != 0;
    }

    bool writable() override {
        if (block_device_) {
            int read_only = 0;
            if (::ioctl(fd_, BLKROGET, &read_only) != 0 || read_only != 0) return false;
        }
        return ::access(path().c_str(), W_OK) == 0;
    }

    uint32_t reported_sector_size() override {
        int sector_size = 0;
        if (block_device_ && ::ioctl(fd_, BLKSSZGET, &sector_size) == 0 && sector_size > 0)
            return static_cast<uint32_t>(sector_size);
        return 512;
    }

    device_identity_s identity() override {
        struct stat info {};
        device_identity_s id;
        if (::fstat(fd_, &info) == 0) {
            id.device = block_device_ ? info.st_rdev : info.st_dev;
            id.inode = block_device_ ? 0 : info.st_ino;
        }
        id.size = size();
        return id;
    }

private:
    static uint64_t size_of(int fd) {
        struct stat info {};
        if (::fstat(fd, &info) != 0) return 0;
        if (S_ISBLK(info.st_mode)) {
            uint64_t bytes = 0;
            return ::ioctl(fd, BLKGETSIZE64, &bytes) == 0 ? bytes : 0;
        }
        return static_cast<uint64_t>(info.st_size);
    }

    // Loops over short transfers; unbuffered where the buffer and offset allow it, buffered
    // otherwise or when the device refuses the unbuffered transfer (EINVAL).
    int64_t transfer(void* into, const void* from, size_t byte_count, uint64_t byte_offset) {
        const void* pointer = into ? into : from;
        int fd = (direct_fd_ >= 0 && aligned(pointer, byte_offset, byte_count)) ? direct_fd_ : fd_;
        size_t done = 0;
        while (done < byte_count) {
            ssize_t n = into ? ::pread(fd, static_cast<uint8_t*>(into) + done, byte_count - done,
                                       static_cast<off_t>(byte_offset + done))
                             : ::pwrite(fd, static_cast<const uint8_t*>(from) + done, byte_count - done,
                                        static_cast<off_t>(byte_offset + done));
            if (n < 0) {
                if (errno == EINTR) continue;
                if (errno == EINVAL && fd == direct_fd_) {
                    fd = fd_;
                    continue;
                }
                return -1;
            }
            if (n == 0) break;
            done += static_cast<size_t>(n);
            if (fd == direct_fd_ && !aligned(static_cast<const uint8_t*>(pointer) + done, byte_offset + done,
                                             byte_count - done))
                fd = fd_;
        }
        return static_cast<int64_t>(done);
    }

    int fd_;
    int direct_fd_;
    bool for_write_;
    bool block_device_ = false;
};

class memory_backing_c final : public backing_c {
public:
    memory_backing_c(std::string path, std::shared_ptr<std::vector<uint8_t>> data, bool for_write)
        : backing_c(std::move(path)), data_(std::move(data)), for_write_(for_write) {}

    int64_t read_at(void* destination, size_t byte_count, uint64_t byte_offset) override {
        if (byte_offset >= data_->size()) return 0;
        size_t n = static_cast<size_t>(std::min<uint64_t>(byte_count, data_->size() - byte_offset));
        std::memcpy(destination, data_->data() + byte_offset, n);
        return static_cast<int64_t>(n);
    }
    int64_t write_at(const void* source, size_t byte_count, uint64_t byte_offset) override {
        if (!for_write_) {
            errno = EBADF;
            return -1;
        }
        if (byte_offset >= data_->size()) return 0;
        size_t n = static_cast<size_t>(std::min<uint64_t>(byte_count, data_->size() - byte_offset));
        std::memcpy(data_->data() + byte_offset, source, n);
        return static_cast<int64_t>(n);
    }
    bool flush() override { return true; }
    uint64_t size() override { return data_->size(); }
    bool still_present() override { return memory_disk(path()) != nullptr && !data_->empty(); }
    bool writable() override { return true; }
    uint32_t reported_sector_size() override { return 512; }
    device_identity_s identity() override {
        return {reinterpret_cast<uintptr_t>(data_.get()), 0, data_->size()};
    }

private:
    std::shared_ptr<std::vector<uint8_t>> data_;
    bool for_write_;
};

}  // namespace

std::shared_ptr<backing_c> open_backing(const std::string& path, unsigned access, unsigned flags) {
    bool for_write = (access & access_write) != 0;
    if (is_memory_path(path)) {
        auto data = memory_disk(path);
        if (!data) {
            errno = ENOENT;
            return nullptr;
        }
        return std::make_shared<memory_backing_c>(path, std::move(data), for_write);
    }
    int mode = (for_write ? O_RDWR : O_RDONLY) | O_CLOEXEC;
    int fd = ::open(path.c_str(), mode);
    if (fd < 0) return nullptr;
    int direct_fd = -1;
    if (flags & open_no_buffering) {
        direct_fd = ::open(path.c_str(), mode | O_DIRECT);  // not every file system allows it
    }
    return std::make_shared<file_backing_c>(path, fd, direct_fd, for_write);
}

}  // namespace platform::detail
