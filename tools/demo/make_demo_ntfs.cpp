// Writes the demo disk's NTFS volume: folders with files, some of them deleted, made by the
// test suite's NTFS builder.
//   make_demo_ntfs OUTPUT SIZE_BYTES
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "tests/fixtures/ntfs_builder.h"

namespace {

std::vector<uint8_t> text_file(const std::string& line, int lines) {
    std::string text;
    for (int i = 1; i <= lines; ++i) text += line + " (line " + std::to_string(i) + ")\n";
    return std::vector<uint8_t>(text.begin(), text.end());
}

std::vector<uint8_t> binary_file(size_t size, unsigned seed) {
    std::vector<uint8_t> data(size);
    for (auto& byte : data) {
        seed = seed * 1103515245u + 12345u;
        byte = static_cast<uint8_t>(seed >> 16);
    }
    return data;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_demo_ntfs OUTPUT SIZE_BYTES\n");
        return 2;
    }
    ntfs_fixture::volume_options_s options;
    options.volume_size = std::strtoull(argv[2], nullptr, 10);
    options.label = "DEMONTFS";
    ntfs_fixture::ntfs_builder_c builder(options);
    ntfs_fixture::entry_options_s deleted;
    deleted.deleted = true;

    uint64_t projects = builder.add_folder(5, "Projects");
    builder.add_file(projects, "plan.txt", text_file("The plan for the next release", 120));
    builder.add_file(projects, "budget.xlsx.txt", text_file("Budget figures", 300), deleted);
    uint64_t music = builder.add_folder(5, "Music");
    builder.add_file(music, "song.ogg.bin", binary_file(180000, 7), deleted);
    builder.add_file(music, "live.bin", binary_file(20000, 9));
    uint64_t old = builder.add_folder(5, "Old photos", deleted);
    builder.add_file(old, "beach.jpg.bin", binary_file(90000, 11), deleted);
    builder.add_file(5, "readme.txt", text_file("Deleted from the root folder", 20), deleted);

    if (!builder.write_image(argv[1])) {
        std::fprintf(stderr, "make_demo_ntfs: %s\n", builder.error().c_str());
        return 1;
    }
    return 0;
}
