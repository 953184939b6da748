#pragma once
// The carving library: finds files on a volume by their content and reads a volume's bytes
// back. The deep-scan engine is its only user; these calls and the parameter block are all it
// relies on.
#include <atomic>
#include <cstddef>
#include <cstdint>

// Called once per file found, on the thread that runs carve_scan. type_name is the usual
// extension ("jpg", "docx", ...), offset the file's first byte on the volume.
using carve_found_fn = void (*)(void* context, const char* type_name, int64_t offset, uint64_t length);

// Shared between the engine and the scan while it runs: the engine's thread writes pause and
// stop and reads progress without a lock, so those three are atomics (relaxed is enough: each
// has one writer and a stale value only delays a step).
struct carve_params {
    void* context = nullptr;              // 0; passed back to found (the pointer takes the reserved word beside it)
    std::atomic<double> progress{0.0};    // 8; share of the volume read, 0.0 to 1.0
    std::atomic<int32_t> pause{0};        // 16; non-zero: the scan waits
    std::atomic<int32_t> stop{0};         // 20; non-zero: the scan ends
    carve_found_fn found = nullptr;       // 24; the reserved word after it is taken on 64-bit
};
static_assert(sizeof(carve_params) == 32, "the parameter block is 32 bytes");
static_assert(offsetof(carve_params, progress) == 8 && offsetof(carve_params, pause) == 16 &&
                  offsetof(carve_params, stop) == 20 && offsetof(carve_params, found) == 24,
              "the engine relies on these offsets");
static_assert(std::atomic<double>::is_always_lock_free && std::atomic<int32_t>::is_always_lock_free,
              "the shared fields must be plain aligned words");

// What a scan met besides files, for the caller's summary.
struct carve_report_s {
    uint64_t files_found = 0;
    uint64_t unreadable_blocks = 0;  // blocks that could not be read and were skipped
    uint64_t unreadable_bytes = 0;
    uint64_t bytes_scanned = 0;      // how far the scan got (the whole volume unless stopped)
};

// The handle of a volume opened for reading.
struct carve_volume_s;
using carve_handle = carve_volume_s*;

extern "C" {

// Reads the configuration (which types are on, custom signatures). A missing file turns every
// built-in type on. Returns 0, or -1 when the file exists but cannot be read.
int carve_init(const char* config_path);

// Searches the volume (a volume GUID path, with or without its trailing "\", or a device or
// image path), calling params->found once per file, and returns when the end of the volume is
// reached or params->stop is set. Returns 0, or -1 when the volume cannot be opened.
int carve_scan(carve_params* params, const char* volume_path);

// The same, and fills *report (when not null) once the scan is over.
int carve_scan_with_report(carve_params* params, const char* volume_path, carve_report_s* report);

// Opens a volume for carve_read; null on failure. Reads stay inside the volume.
carve_handle carve_open(const char* volume_path);
// Sets the read position (origin 0 start, 1 current, 2 end). 0, or -1 for a position outside
// the volume.
int carve_seek(carve_handle handle, int64_t position, int origin);
// Reads up to byte_count bytes at the position and advances it: the bytes placed, 0 at the end
// of the volume, -1 on a read error.
int carve_read(carve_handle handle, void* buffer, int byte_count);
// Closes the handle. 0, -1 for a null handle.
int carve_close(carve_handle handle);

}  // extern "C"
