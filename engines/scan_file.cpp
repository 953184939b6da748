// The scan file: a 256-byte header holding the volume path, then the carved entries as 32-byte
// little-endian records. Written through a temporary file and a rename, so a failed save never
// destroys an earlier good one; read whole and checked before it replaces anything.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <algorithm>

#include "engines/raw_recovery.h"
#include "platform/byte_reader.h"

namespace {

constexpr size_t header_size = 256;
constexpr size_t entry_size = 32;
constexpr size_t piece_entries = 2048;  // 64 KiB per read

bool write_all(int fd, const uint8_t* data, size_t length) {
    while (length > 0) {
        ssize_t n = ::write(fd, data, length);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

bool read_all(int fd, uint8_t* data, size_t length) {
    while (length > 0) {
        ssize_t n = ::read(fd, data, length);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

void encode_entry(const carved_entry_s& entry, uint8_t* out) {
    platform::put_le(out, entry.ordinal, 8);
    platform::put_le(out + 8, static_cast<uint64_t>(entry.offset), 8);
    platform::put_le(out + 16, entry.length, 8);
    std::memcpy(out + 24, entry.type.data(), 8);
}

carved_entry_s decode_entry(const platform::byte_reader& bytes) {
    carved_entry_s entry;
    entry.ordinal = bytes.u64(0);
    entry.offset = static_cast<int64_t>(bytes.u64(8));
    entry.length = bytes.u64(16);
    std::memcpy(entry.type.data(), bytes.data() + 24, 8);
    return entry;
}

class fd_guard {
public:
    explicit fd_guard(int fd) : fd_(fd) {}
    ~fd_guard() {
        if (fd_ >= 0) ::close(fd_);
    }
    int get() const { return fd_; }
    int release() {
        int fd = fd_;
        fd_ = -1;
        return fd;
    }

private:
    int fd_;
};

}  // namespace

int raw_recovery_c::write_scan_file(const std::string& path) {
    if (volume_path_.size() > header_size - 1 || entries_.empty()) return -1;
    std::vector<uint8_t> bytes(header_size + entries_.size() * entry_size, 0);
    std::memcpy(bytes.data(), volume_path_.data(), volume_path_.size());
    for (size_t i = 0; i < entries_.size(); ++i) encode_entry(entries_[i], bytes.data() + header_size + i * entry_size);

    std::string temporary = path + ".part" + std::to_string(::getpid());
    fd_guard fd(::open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0644));
    if (fd.get() < 0) return -1;
    bool written = write_all(fd.get(), bytes.data(), bytes.size()) && ::fsync(fd.get()) == 0;
    bool closed = ::close(fd.release()) == 0;
    if (!written || !closed || ::rename(temporary.c_str(), path.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return -1;
    }
    return 0;
}

std::string raw_recovery_c::read_scan_file(const std::string& path) {
    fd_guard fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) return {};
    uint8_t header[header_size];
    if (!read_all(fd.get(), header, header_size)) return {};
    const void* end = std::memchr(header, 0, header_size);
    if (!end || end == header) return {};  // no terminating zero byte, or no volume at all
    std::string volume(reinterpret_cast<const char*>(header), static_cast<const uint8_t*>(end) - header);

    struct stat info {};
    if (::fstat(fd.get(), &info) != 0 || info.st_size < static_cast<off_t>(header_size + entry_size)) return {};
    uint64_t body = static_cast<uint64_t>(info.st_size) - header_size;
    if (body % entry_size != 0 || body / entry_size > scan_file_entry_limit) return {};

    // Read in pieces and checked as they come: a crafted file of gigabytes is refused at its
    // first bad entry, and memory grows only with the entries that passed.
    std::vector<carved_entry_s> loaded;
    std::vector<uint8_t> piece(piece_entries * entry_size);
    for (uint64_t done = 0, total = body / entry_size; done < total;) {
        size_t count = static_cast<size_t>(std::min<uint64_t>(piece_entries, total - done));
        if (!read_all(fd.get(), piece.data(), count * entry_size)) return {};
        for (size_t i = 0; i < count; ++i, ++done) {
            carved_entry_s entry = decode_entry(platform::byte_reader(piece.data() + i * entry_size, entry_size));
            // A wrong ordinal would make a row name and extract another entry, or none.
            if (entry.ordinal != done || entry.offset < 0 ||
                entry.length > static_cast<uint64_t>(INT64_MAX) - static_cast<uint64_t>(entry.offset))
                return {};
            loaded.push_back(entry);
        }
    }
    entries_ = std::move(loaded);
    type_map_.clear();
    for (const auto& entry : entries_) type_map_.append(entry.type_text(), entry.ordinal);
    volume_path_ = volume;
    return volume;
}
