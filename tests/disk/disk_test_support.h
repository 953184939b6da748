#pragma once
// Helpers of the disk tests: disks attached as the drive table, a mounted FAT volume, a
// recursive walk of its directories and whole-file reads.
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "disk/fat_reader.h"
#include "platform/trace.h"

namespace disk_test {

// Puts the given paths ("mem:NAME" or image files) in the disk list and opens the drive table;
// restores everything when it goes away.
class attached_drives {
public:
    // The console lines of the drive table go to trace (nowhere when it is empty).
    explicit attached_drives(const std::vector<std::string>& paths, platform::trace_sink trace = {});
    ~attached_drives();
    attached_drives(const attached_drives&) = delete;
    attached_drives& operator=(const attached_drives&) = delete;
    int drive_count() const { return count_; }

private:
    int count_ = 0;
};

// Registers a memory disk "mem:NAME" holding the bytes and returns its path.
std::string memory_disk(const std::string& name, std::vector<uint8_t> bytes);

// A volume object registered as volume 0 on a drive, as the scan engine sets it up.
struct mounted_volume {
    mounted_volume() = default;
    mounted_volume(const mounted_volume&) = delete;
    mounted_volume& operator=(const mounted_volume&) = delete;
    ~mounted_volume();  // unregisters volume 0: the reader must not keep a pointer to it
    fat_volume volume;
    uint8_t open_result = 0;
    fat_dir root;
};
std::unique_ptr<mounted_volume> mount(uint8_t drive, uint8_t partition = 0, uint32_t start_sector = 0);

// One directory entry met by the walk.
struct walked_entry {
    std::string path;  // "/" separated, names as the reader gives them (long name, else short)
    std::string short_name;
    std::string long_name;
    uint8_t attributes = 0;
    uint32_t size = 0;
    uint32_t first_cluster = 0;
    bool inside_deleted = false;  // some folder above it is deleted
    bool deleted() const { return attributes & fat_attribute_deleted; }
    bool folder() const { return attributes & fat_attribute_directory; }
};
struct walk_result {
    std::vector<walked_entry> entries;
    std::vector<std::string> errors;  // "path: result" of every directory read that failed
};
// Lists the whole tree of volume 0, deleted folders included, each folder cluster once.
walk_result walk();
// The entries of one directory of volume 0 (start_cluster 0 = the root); result of the first failed read.
uint8_t list_dir(uint32_t start_cluster, std::vector<walked_entry>& out);

// Path -> "<dir>" for a folder or the sha256 of a file's content.
using tree_map = std::map<std::string, std::string>;
// The live folders and files of the walk (nothing deleted, nothing inside a deleted folder),
// each file read along its chain; a failed read goes into errors.
tree_map live_tree(fat_volume& volume, const walk_result& walked, std::vector<std::string>& errors);
// The live tree as mtools copies it out of an image (mcopy -s); empty with error on failure.
tree_map mtools_tree(const std::string& image, const std::string& scratch_folder, std::string& error);
// "+path" for what only b has, "-path" for what only a has, "~path" for differing content.
std::vector<std::string> tree_differences(const tree_map& a, const tree_map& b);

// Reads a whole file in steps of step bytes, as the scan engine extracts it.
uint8_t read_whole(fat_volume& volume, uint32_t first_cluster, uint32_t size, bool contiguous,
                   std::vector<uint8_t>& data, uint32_t step = 4096);

std::string utf8(const std::u16string& text);
std::string utf8(const char16_t* text);

// Waits up to timeout_seconds for a condition to hold, checking it every few milliseconds.
bool wait_until(const std::function<bool()>& condition, int timeout_seconds = 10);

// A deterministic byte pattern, distinct per seed.
std::vector<uint8_t> pattern(size_t size, uint32_t seed);

}  // namespace disk_test
