#include "tests/fuzz/fuzz_support.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <vector>

#include "disk/sector_device.h"
#include "platform/test_seam.h"
#include "platform/trace.h"

namespace fuzz {

namespace {

struct disk_state_s {
    std::shared_ptr<std::vector<uint8_t>> bytes = std::make_shared<std::vector<uint8_t>>();
    std::vector<uint8_t> loaded;  // what the disk must still hold
};

disk_state_s& disk_state() {
    static auto* state = new disk_state_s;  // lives as long as the drive table that reads it
    return *state;
}

}  // namespace

void prepare_memory_disk() {
    static bool prepared = false;
    if (prepared) return;
    prepared = true;
    platform::trace_off();
    platform::test::add_memory_disk("fuzz", disk_state().bytes);
    platform::test::set_disk_list(std::vector<std::string>{memory_disk_path});
    drive_table_open();
}

void load_disk(const uint8_t* data, size_t size, size_t min_size) {
    disk_state_s& state = disk_state();
    size_t padded = std::max(size, min_size);
    padded = (padded + 511) / 512 * 512;
    state.loaded.assign(padded, 0);
    if (size) std::memcpy(state.loaded.data(), data, size);
    *state.bytes = state.loaded;
}

void require_disk_unchanged() {
    require(*disk_state().bytes == disk_state().loaded, "a reader wrote to the disk it scanned");
}

const std::string& scratch_folder() {
    static const std::string folder = [] {
        std::string path = std::filesystem::temp_directory_path().string() + "/tarnwell-fuzz-" +
                           std::to_string(::getpid());
        std::filesystem::create_directories(path);
        return path;
    }();
    return folder;
}

void clear_scratch() {
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(scratch_folder(), ec))
        std::filesystem::remove_all(entry.path(), ec);
}

void require(bool condition, const char* what) {
    if (condition) return;
    std::fprintf(stderr, "fuzz invariant broken: %s\n", what);
    std::abort();
}

}  // namespace fuzz
