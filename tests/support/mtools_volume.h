#pragma once
// Real FAT volumes made with mkfs.fat and mtools: files copied in, some deleted again.
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace test_support {

struct mtools_file_s {
    std::string path;  // "/Docs/report.txt"
    std::vector<uint8_t> content;
};

struct mtools_volume_s {
    std::string image;                     // the volume (no partition table)
    std::map<std::string, std::vector<uint8_t>> contents;  // by path, every file written
};

// Makes a volume of size_kib KiB with mkfs.fat (fat_bits 12, 16 or 32; cluster_sectors 0 = the
// tool's choice), copies the files in (folders made as needed), then deletes the given paths
// (files with mdel, folders with mdeltree). Returns false with the failing command's output.
bool make_mtools_volume(const std::string& image, unsigned size_kib, unsigned fat_bits, unsigned cluster_sectors,
                        const std::vector<mtools_file_s>& files, const std::vector<std::string>& deleted_files,
                        const std::vector<std::string>& deleted_folders, std::string& error);

// True when mkfs.fat and mtools are on the machine.
bool have_fat_tools();

// A deterministic byte pattern, distinct per seed.
std::vector<uint8_t> byte_pattern(size_t size, uint32_t seed);

}  // namespace test_support
