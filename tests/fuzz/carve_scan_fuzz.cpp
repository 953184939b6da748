// The carving library's whole scan over a volume that is the input, then every file it
// reported read back through its volume-reading calls.
#include <algorithm>
#include <string>
#include <vector>

#include "calloway/calloway.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

struct found_s {
    std::string type;
    int64_t offset;
    uint64_t length;
};

void collect(void* context, const char* type_name, int64_t offset, uint64_t length) {
    static_cast<std::vector<found_s>*>(context)->push_back({type_name, offset, length});
}

void read_back(const found_s& file, uint64_t volume_size) {
    carve_handle handle = carve_open(fuzz::memory_disk_path);
    fuzz::require(handle != nullptr, "the scanned volume cannot be opened for reading");
    fuzz::require(carve_seek(handle, file.offset - file.offset % 512, 0) == 0, "a found file's offset cannot be reached");
    static char buffer[8192];
    uint64_t total = 0;
    for (;;) {
        int n = carve_read(handle, buffer, sizeof buffer);
        fuzz::require(n <= static_cast<int>(sizeof buffer), "carve_read placed more than asked");
        if (n <= 0) break;
        total += static_cast<uint64_t>(n);
    }
    fuzz::require(total <= volume_size, "carve_read read past the end of the volume");
    carve_seek(handle, -1, 0);
    carve_seek(handle, static_cast<int64_t>(volume_size) + 1, 0);
    carve_close(handle);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::prepare_memory_disk();
    fuzz::load_disk(data, size);
    const uint64_t volume_size = (size + 511) / 512 * 512;
    std::vector<found_s> found;
    carve_params params;
    params.context = &found;
    params.found = collect;
    carve_report_s report;
    carve_scan_with_report(&params, fuzz::memory_disk_path, &report);
    fuzz::require(report.files_found == found.size(), "the report counts other files than were reported");
    uint64_t next_free = 0;
    for (const found_s& file : found) {
        fuzz::require(file.offset >= 0 && static_cast<uint64_t>(file.offset) >= next_free,
                      "a file found inside the one before it");
        fuzz::require(file.length > 0 && file.length <= volume_size - static_cast<uint64_t>(file.offset),
                      "a file found that runs past the end of the volume");
        fuzz::require(!file.type.empty(), "a file found without a type");
        next_free = static_cast<uint64_t>(file.offset) + file.length;
    }
    for (size_t i = 0; i < found.size() && i < 8; ++i) read_back(found[i], volume_size);
    fuzz::require_disk_unchanged();
    return 0;
}
