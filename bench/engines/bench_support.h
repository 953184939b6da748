#pragma once
// Timing, memory and raw-read helpers shared by the engine benchmarks.
#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

class recovery_base_c;

namespace bench {

class stopwatch {
public:
    stopwatch() : start_(std::chrono::steady_clock::now()) {}
    double seconds() const {
        return std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
    }

private:
    std::chrono::steady_clock::time_point start_;
};

// Peak resident memory of the process so far, in MiB.
double peak_rss_mib();
// Heap bytes in use now (what a store holds, measured around a scan).
uint64_t heap_in_use();

// Drops the page cache (needs root); false when that is not allowed.
bool drop_page_cache();

// Runs a prepared engine's scan to its end; store_bytes receives the heap it kept.
double timed_scan(::recovery_base_c& engine, uint64_t& store_bytes);
// Prints what a scan read and kept.
void report_store(const char* what, uint64_t read, uint64_t kept, uint64_t store_bytes);

// Reads each (offset, length) range of the file with pread, in order; returns the seconds taken.
double raw_read_ranges(const std::string& path, const std::vector<std::pair<uint64_t, uint32_t>>& ranges);

// Prints "label: a s vs raw b s -> ratio r".
void report_ratio(const char* label, double work_seconds, double raw_seconds);
void report_rate(const char* label, uint64_t bytes, double work_seconds, double raw_seconds);

}  // namespace bench
