// The scan file reader on a file that is the input; a file it accepts must give the folders
// and rows of a deep scan, and write back to the same entries.
#include <sys/mman.h>
#include <unistd.h>

#include <QList>
#include <QString>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "engines/raw_recovery.h"
#include "results/result_rules.h"
#include "results/scan_file_volume.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

// The input as a file of its own, without touching a disk.
class memory_file_c {
public:
    memory_file_c(const uint8_t* data, size_t size) : fd_(::memfd_create("scan-file", MFD_CLOEXEC)) {
        fuzz::require(fd_ >= 0 && ::write(fd_, data, size) == static_cast<ssize_t>(size), "memory file");
    }
    ~memory_file_c() { ::close(fd_); }
    std::string path() const { return "/proc/self/fd/" + std::to_string(fd_); }

private:
    int fd_;
};

std::vector<uint8_t> file_bytes(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
}

void check_accepted(raw_recovery_c& engine, const std::string& header, const uint8_t* data, size_t size) {
    fuzz::require(size >= 288 && (size - 256) % 32 == 0, "a scan file of a wrong size was accepted");
    fuzz::require(engine.entries().size() == (size - 256) / 32, "not every entry was loaded");
    size_t rows = 0;
    result_tree_s tree = build_result_folders(engine_deep, &engine);
    for (const auto& node : tree.nodes) rows += folder_rows(engine_deep, &engine, node.record).size();
    fuzz::require(rows == engine.entries().size(), "the type folders do not show every entry once");
    find_scan_file_volume(QString::fromLatin1(header.c_str()), {});

    engine.set_volume(volume_item_s{});
    // What is written again holds the same entries.
    std::string copy = fuzz::scratch_folder() + "/copy.sav";
    if (engine.write_scan_file(copy) == 0) {
        std::vector<uint8_t> written = file_bytes(copy);
        fuzz::require(written.size() == size && std::memcmp(written.data() + 256, data + 256, size - 256) == 0,
                      "a saved scan file differs from the one loaded");
    }
    fuzz::clear_scratch();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::prepare_memory_disk();
    static auto* engine = new raw_recovery_c;
    engine->reset();
    memory_file_c file(data, size);
    std::string header = engine->read_scan_file(file.path());
    if (header.empty()) {
        fuzz::require(engine->entries().empty(), "a refused scan file replaced the table");
        return 0;
    }
    fuzz::require(header.size() < 256 && std::memcmp(header.data(), data, header.size()) == 0,
                  "the header text is not the file's");
    check_accepted(*engine, header, data, size);
    return 0;
}
