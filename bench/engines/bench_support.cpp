#include "bench/engines/bench_support.h"

#include <fcntl.h>
#include <malloc.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cstdio>

#include "engines/recovery_base.h"

namespace bench {

double peak_rss_mib() {
    struct rusage usage {};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

uint64_t heap_in_use() {
    return mallinfo2().uordblks;
}

bool drop_page_cache() {
    ::sync();
    int fd = ::open("/proc/sys/vm/drop_caches", O_WRONLY);
    if (fd < 0) return false;
    bool ok = ::write(fd, "3\n", 2) == 2;
    ::close(fd);
    return ok;
}

double timed_scan(::recovery_base_c& engine, uint64_t& store_bytes) {
    engine.reset();
    uint64_t before = heap_in_use();
    stopwatch clock;
    engine.start();
    engine.wait();
    double seconds = clock.seconds();
    store_bytes = heap_in_use() - before;
    return seconds;
}

void report_store(const char* what, uint64_t read, uint64_t kept, uint64_t store_bytes) {
    std::printf("%s read %llu, records kept %llu, store %.1f MiB (%.0f bytes a record)\n", what,
                static_cast<unsigned long long>(read), static_cast<unsigned long long>(kept),
                static_cast<double>(store_bytes) / 1048576.0,
                kept ? static_cast<double>(store_bytes) / static_cast<double>(kept) : 0.0);
}

double raw_read_ranges(const std::string& path, const std::vector<std::pair<uint64_t, uint32_t>>& ranges) {
    int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) return -1;
    std::vector<uint8_t> buffer(1 << 20);
    stopwatch clock;
    for (const auto& [offset, length] : ranges) {
        if (length > buffer.size()) buffer.resize(length);
        if (::pread(fd, buffer.data(), length, static_cast<off_t>(offset)) < 0) break;
    }
    double seconds = clock.seconds();
    ::close(fd);
    return seconds;
}

void report_ratio(const char* label, double work_seconds, double raw_seconds) {
    std::printf("%-28s %8.3f s   raw %8.3f s   ratio %.2f (work / raw)\n", label, work_seconds, raw_seconds,
                raw_seconds > 0 ? work_seconds / raw_seconds : 0.0);
}

void report_rate(const char* label, uint64_t bytes, double work_seconds, double raw_seconds) {
    double mib = static_cast<double>(bytes) / (1 << 20);
    std::printf("%-28s %8.1f MB/s   raw %8.1f MB/s   ratio %.2f (rate / raw rate)\n", label, mib / work_seconds,
                mib / raw_seconds, raw_seconds / work_seconds);
}

}  // namespace bench
