// The FAT reader over a disk that is the input: mount, every directory it can reach (live and
// deleted folders, both ways a subfolder is entered), and every file read along its chain and
// as consecutive clusters.
#include <cstdint>
#include <unordered_set>
#include <vector>

#include "disk/fat_reader.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

// Bounds that keep one input quick; the reader itself must end on its own within them.
constexpr size_t folder_limit = 64;
constexpr size_t entry_limit = 4096;
constexpr uint32_t read_limit = 64 * 1024;

struct file_s {
    uint32_t first_cluster;
    uint32_t size;
};

void read_file(fat_volume& volume, const file_s& wanted, bool contiguous) {
    fat_file file;
    file.volume = &volume;
    file.mount_id = volume.mount_id;
    file.flags = fat_file_open;
    file.size = wanted.size;
    file.first_cluster = wanted.first_cluster;
    static std::vector<uint8_t> buffer(8192);
    uint32_t total = 0;
    // Odd request sizes reach the partial-sector path as well as the whole-sector one.
    const uint32_t steps[] = {8192, 700, 1, 4096};
    for (unsigned i = 0; total < read_limit; ++i) {
        uint32_t got = 0;
        uint8_t result = fat_read_file(&file, buffer.data(), steps[i % 4], &got, contiguous);
        fuzz::require(got <= steps[i % 4], "fat_read_file reported more bytes than asked for");
        total += got;
        if (result != fat_ok || got == 0) break;
    }
    fuzz::require(total <= wanted.size, "fat_read_file read past the file's size");
}

// Lists one folder; appends its subfolders and files.
void list_folder(fat_dir& dir, std::vector<uint32_t>& folders, std::vector<file_s>& files, size_t& entries) {
    static char16_t long_name[fat_long_name_units];
    for (; entries < entry_limit; ++entries) {
        fat_entry_info info;
        info.long_name = long_name;
        info.long_name_size = fat_long_name_units;
        uint8_t result = fat_read_dir(&dir, &info);
        if (info.short_name[0] == 0) break;
        if (info.attributes & fat_attribute_directory)
            folders.push_back(info.first_cluster);
        else
            files.push_back({info.first_cluster, info.size});
        if (result != fat_ok) break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::prepare_memory_disk();
    fuzz::load_disk(data, size);
    static fat_volume volume;
    fat_volume_table[0] = {0, 0, 0};
    fat_register_volume(0, &volume);

    fat_dir dir;
    for (const char16_t* path : {u"9:/", u"/sub", u"3:"}) fat_open_dir(&dir, path);
    if (fat_open_dir(&dir, u"0:\\") != fat_ok) return 0;

    std::vector<uint32_t> folders;
    std::vector<file_s> files;
    size_t entries = 0;
    list_folder(dir, folders, files, entries);
    std::unordered_set<uint32_t> listed{0};
    for (size_t i = 0; i < folders.size() && listed.size() <= folder_limit; ++i) {
        if (!listed.insert(folders[i]).second) continue;
        fat_dir sub;
        if (fat_open_dir(&sub, u"/") != fat_ok) break;
        sub.start_cluster = folders[i];
        sub.cluster = folders[i];
        if (fat_read_dir(&sub, nullptr) == fat_ok) list_folder(sub, folders, files, entries);
    }
    for (size_t i = 0; i < files.size() && i < 16; ++i) {
        read_file(volume, files[i], false);
        read_file(volume, files[i], true);
    }
    fuzz::require_disk_unchanged();
    return 0;
}
