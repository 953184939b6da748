#include "tests/disk/disk_test_support.h"

#include <chrono>
#include <filesystem>
#include <set>
#include <thread>

#include "disk/sector_device.h"
#include "platform/test_seam.h"
#include "platform/trace.h"
#include "tests/support/test_support.h"

namespace disk_test {

attached_drives::attached_drives(const std::vector<std::string>& paths, platform::trace_sink trace) {
    platform::set_trace_sink(std::move(trace));
    sector_device_test::reset();
    platform::test::set_disk_list(paths);
    count_ = drive_table_open();
}

attached_drives::~attached_drives() {
    sector_device_test::reset();
    platform::test::set_disk_list(std::nullopt);
    platform::test::reset_disk_settings();
    platform::test::remove_memory_disks();
}

std::string memory_disk(const std::string& name, std::vector<uint8_t> bytes) {
    platform::test::add_memory_disk(name, std::make_shared<std::vector<uint8_t>>(std::move(bytes)));
    return "mem:" + name;
}

mounted_volume::~mounted_volume() {
    fat_register_volume(0, nullptr);
}

std::unique_ptr<mounted_volume> mount(uint8_t drive, uint8_t partition, uint32_t start_sector) {
    auto mounted = std::make_unique<mounted_volume>();
    fat_volume_table[0] = {drive, partition, start_sector};
    fat_register_volume(0, &mounted->volume);
    mounted->open_result = fat_open_dir(&mounted->root, u"/");
    return mounted;
}

std::string utf8(const char16_t* text) {
    std::string out;
    for (; *text; ++text) {
        char32_t c = *text;
        if (c >= 0xD800 && c < 0xDC00 && text[1] >= 0xDC00 && text[1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (text[1] - 0xDC00);
            ++text;
        }
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else if (c < 0x800) {
            out += static_cast<char>(0xC0 | c >> 6);
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            out += static_cast<char>(0xE0 | c >> 12);
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            out += static_cast<char>(0xF0 | c >> 18);
            out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return out;
}

std::string utf8(const std::u16string& text) {
    return utf8(text.c_str());
}

uint8_t list_dir(uint32_t start_cluster, std::vector<walked_entry>& out) {
    fat_dir dir;
    if (uint8_t result = fat_open_dir(&dir, u"/")) return result;
    dir.start_cluster = dir.cluster = start_cluster;
    if (uint8_t result = fat_read_dir(&dir, nullptr)) return result;
    char16_t long_name[fat_long_name_units];
    for (;;) {
        fat_entry_info info;
        info.long_name = long_name;
        info.long_name_size = fat_long_name_units;
        uint8_t result = fat_read_dir(&dir, &info);
        if (result != fat_ok) return result;
        if (info.short_name[0] == 0) return fat_ok;
        walked_entry entry;
        entry.short_name = utf8(info.short_name);
        entry.long_name = utf8(long_name);
        entry.attributes = info.attributes;
        entry.size = info.size;
        entry.first_cluster = info.first_cluster;
        out.push_back(entry);
    }
}

namespace {

void walk_folder(uint32_t cluster, const std::string& path, bool inside_deleted, std::set<uint32_t>& seen,
                 walk_result& result) {
    std::vector<walked_entry> entries;
    if (uint8_t failed = list_dir(cluster, entries))
        result.errors.push_back((path.empty() ? "/" : path) + ": " + std::to_string(failed));
    for (walked_entry& entry : entries) {
        entry.path = path + "/" + (entry.long_name.empty() ? entry.short_name : entry.long_name);
        entry.inside_deleted = inside_deleted;
        result.entries.push_back(entry);
        if (entry.folder() && entry.first_cluster >= 2 && seen.insert(entry.first_cluster).second)
            walk_folder(entry.first_cluster, entry.path, inside_deleted || entry.deleted(), seen, result);
    }
}

}  // namespace

walk_result walk() {
    walk_result result;
    std::set<uint32_t> seen;
    walk_folder(0, "", false, seen, result);
    return result;
}

tree_map live_tree(fat_volume& volume, const walk_result& walked, std::vector<std::string>& errors) {
    tree_map tree;
    for (const walked_entry& entry : walked.entries) {
        if (entry.deleted() || entry.inside_deleted) continue;
        if (entry.folder()) {
            tree[entry.path] = "<dir>";
            continue;
        }
        std::vector<uint8_t> data;
        if (uint8_t result = read_whole(volume, entry.first_cluster, entry.size, false, data))
            errors.push_back(entry.path + ": read " + std::to_string(result));
        tree[entry.path] = test_support::sha256_bytes(data);
    }
    return tree;
}

tree_map mtools_tree(const std::string& image, const std::string& scratch_folder, std::string& error) {
    namespace fs = std::filesystem;
    std::string out = scratch_folder + "/mcopy-out";
    fs::remove_all(out);
    fs::create_directories(out);
    std::string output;
    if (test_support::run_command("LC_ALL=C.UTF-8 MTOOLS_SKIP_CHECK=1 mcopy -s -n -i '" + image + "' ::/ '" + out + "'",
                                  &output) != 0) {
        error = output;
        return {};
    }
    tree_map tree;
    for (const auto& item : fs::recursive_directory_iterator(out)) {
        std::string path = item.path().string().substr(out.size());
        tree[path] = item.is_directory() ? "<dir>" : test_support::sha256_file(item.path().string());
    }
    fs::remove_all(out);
    return tree;
}

std::vector<std::string> tree_differences(const tree_map& a, const tree_map& b) {
    std::vector<std::string> differences;
    for (const auto& [path, value] : a) {
        auto it = b.find(path);
        if (it == b.end()) differences.push_back("-" + path);
        else if (it->second != value) differences.push_back("~" + path);
    }
    for (const auto& [path, value] : b)
        if (!a.count(path)) differences.push_back("+" + path);
    return differences;
}

uint8_t read_whole(fat_volume& volume, uint32_t first_cluster, uint32_t size, bool contiguous,
                   std::vector<uint8_t>& data, uint32_t step) {
    fat_file file;
    file.volume = &volume;
    file.mount_id = volume.mount_id;
    file.flags = fat_file_open;
    file.size = size;
    file.first_cluster = first_cluster;
    data.clear();
    std::vector<uint8_t> chunk(step);
    for (;;) {
        uint32_t got = 0;
        uint8_t result = fat_read_file(&file, chunk.data(), step, &got, contiguous);
        data.insert(data.end(), chunk.begin(), chunk.begin() + got);
        if (result != fat_ok) return result;
        if (got == 0) return fat_ok;
    }
}

bool wait_until(const std::function<bool()>& condition, int timeout_seconds) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_seconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}

std::vector<uint8_t> pattern(size_t size, uint32_t seed) {
    std::vector<uint8_t> bytes(size);
    uint32_t state = seed * 2654435761u + 1;
    for (auto& byte : bytes) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<uint8_t>(state >> 16);
    }
    return bytes;
}

}  // namespace disk_test
