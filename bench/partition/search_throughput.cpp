// Lost-partition search throughput against a plain unbuffered read of the same image in
// 128 KiB blocks, in one run. Not a test: run by hand on an image without partitions.
//   partition_search_bench IMAGE        (an existing image or disk you may read)
//   partition_search_bench --make GIB   (writes a GIB-sized image of non-zero data to ./bench.img)
#include <fcntl.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "devices/drive_list.h"
#include "partition/partition_repair.h"
#include "platform/device.h"

namespace {

using clock_type = std::chrono::steady_clock;

double seconds_since(clock_type::time_point start) {
    return std::chrono::duration<double>(clock_type::now() - start).count();
}

// Real data, so that the reads reach the disk (a sparse file's holes cost no I/O).
bool make_image(const std::string& path, uint64_t gib) {
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0) return false;
    std::string block(1 << 20, '\0');
    for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 131 + 7);
    bool ok = true;
    for (uint64_t i = 0; ok && i < gib * 1024; ++i) ok = ::write(fd, block.data(), block.size()) == static_cast<ssize_t>(block.size());
    ok = ::fsync(fd) == 0 && ok;
    ::close(fd);
    return ok;
}

// Drops the image from the page cache so that neither run profits from the other.
void drop_cache(const std::string& path) {
    int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) return;
    ::posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    ::close(fd);
}

double plain_read_seconds(const std::string& path, uint64_t bytes) {
    drop_cache(path);
    int fd = ::open(path.c_str(), O_RDONLY | O_DIRECT);
    if (fd < 0) fd = ::open(path.c_str(), O_RDONLY);
    void* buffer = platform::aligned_alloc_buffer(131072);
    auto start = clock_type::now();
    for (uint64_t offset = 0; offset < bytes; offset += 131072)
        if (::pread(fd, buffer, 131072, static_cast<off_t>(offset)) <= 0) break;
    double elapsed = seconds_since(start);
    platform::aligned_free(buffer);
    ::close(fd);
    return elapsed;
}

double search_seconds(const std::string& path, size_t& found) {
    drop_cache(path);
    partition_repair_c search;
    drive_item_s drive = drive_list().value(1);
    auto start = clock_type::now();
    search.search_now(drive);
    double elapsed = seconds_since(start);
    found = static_cast<size_t>(search.partitions().size());
    return elapsed;
}

}  // namespace

int main(int argc, char** argv) {
    std::string path;
    if (argc == 3 && std::strcmp(argv[1], "--make") == 0) {
        path = "bench.img";
        if (!make_image(path, std::strtoull(argv[2], nullptr, 10))) {
            std::fprintf(stderr, "cannot write %s\n", path.c_str());
            return 1;
        }
    } else if (argc == 2) {
        path = argv[1];
    } else {
        std::fprintf(stderr, "usage: %s IMAGE | --make GIB\n", argv[0]);
        return 2;
    }
    ::setenv("TARNWELL_DISKS", path.c_str(), 1);
    enumerate_drives();
    if (drive_list().size() < 2) {
        std::fprintf(stderr, "%s is not a usable disk image\n", path.c_str());
        return 1;
    }
    const uint64_t bytes = drive_list().value(1).size_bytes;
    size_t found = 0;
    double plain_first = plain_read_seconds(path, bytes);
    double search = search_seconds(path, found);
    double plain_second = plain_read_seconds(path, bytes);
    double plain = (plain_first + plain_second) / 2;
    std::printf("drive bytes %llu, partitions found %zu\n", static_cast<unsigned long long>(bytes), found);
    std::printf("plain O_DIRECT read: %.3f s (%.0f MiB/s)\n", plain, bytes / plain / 1048576.0);
    std::printf("partition search:    %.3f s (%.0f MiB/s)\n", search, bytes / search / 1048576.0);
    std::printf("search / plain throughput: %.3f\n", plain / search);
    return 0;
}
