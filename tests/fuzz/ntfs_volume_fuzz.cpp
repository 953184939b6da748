// The NTFS access library over a disk that is the input: the volume list probed from it, a
// scan of the whole disk and of its first partition, and the recovery of the records found.
#include <cstdio>
#include <string>
#include <vector>

#include "platform/volumes.h"
#include "tests/fuzz/fuzz_support.h"
#include "vessor/vessor.h"

namespace {

constexpr size_t record_limit = 4096;
constexpr int recover_limit = 8;

void scan_and_recover(const char* device_name) {
    static std::vector<uint8_t> context(vessor::context_size);
    std::fill(context.begin(), context.end(), 0);
    if (ntfs_scan_startup(device_name, context.data()) != vessor::result_ok) {
        fuzz::require(!vessor::context_is_open(context.data()), "a failed start left its context open");
        return;
    }
    const int64_t total = vessor::context_total(context.data());
    std::vector<uint64_t> numbers;
    uint8_t record[vessor::record_size];
    for (size_t n = 0; n < record_limit; ++n) {
        std::fill(std::begin(record), std::end(record), 0);
        if (!ntfs_scan_next(context.data(), record)) break;
        numbers.push_back(vessor::layout::u64(record, vessor::record_number_offset));
        fuzz::require(vessor::context_position(context.data()) <= total, "scan position beyond the table");
        // The name must end inside the record.
        bool terminated = false;
        for (size_t unit = 0; unit < vessor::record_name_units && !terminated; ++unit)
            terminated = record[vessor::record_name_offset + 2 * unit] == 0 &&
                         record[vessor::record_name_offset + 2 * unit + 1] == 0;
        fuzz::require(terminated, "a scanned name without its terminating NUL");
    }
    int recovered = 0;
    for (uint64_t number : numbers) {
        if (recovered++ == recover_limit) break;
        std::string target = fuzz::scratch_folder() + "/" + std::to_string(number);
        uint32_t detail = 0;
        int result = ntfs_recover_file(context.data(), number, target.c_str(), &detail);
        fuzz::require(result == static_cast<int>(detail), "the detail differs from the result");
    }
    // A record number far outside the table is refused.
    ntfs_recover_file(context.data(), ~0ull >> 1, (fuzz::scratch_folder() + "/x").c_str(), nullptr);
    fuzz::require(ntfs_scan_cleanup(context.data()) == 0, "an open context could not be cleaned up");
    fuzz::clear_scratch();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::prepare_memory_disk();
    fuzz::load_disk(data, size);
    platform::find_volumes();
    scan_and_recover("/dev/hda0");
    scan_and_recover("/dev/hda1");
    fuzz::require_disk_unchanged();
    return 0;
}
