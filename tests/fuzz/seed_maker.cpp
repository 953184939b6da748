// Writes the seed inputs of the fuzz targets that come from our own fixture builders:
//   fuzz_seed_maker CORPUS_FOLDER
// (make-seeds.sh adds the volumes made by mkfs.fat and mtools and the shared images). Run by
// hand when a builder learns something new; the seeds are committed.
#include <QGuiApplication>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/byte_reader.h"
#include "tests/calloway/samples.h"
#include "tests/fixtures/fat_image_builder.h"
#include "tests/fixtures/ntfs_builder.h"

namespace {

using bytes_t = std::vector<uint8_t>;
std::string corpus;

void put(const std::string& target, const std::string& name, const bytes_t& data) {
    std::filesystem::create_directories(corpus + "/" + target);
    std::ofstream(corpus + "/" + target + "/" + name, std::ios::binary)
        .write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

bytes_t padded(bytes_t data) {
    data.resize((data.size() + 511) / 512 * 512, 0);
    return data;
}

void carving_seeds() {
    bytes_t volume;
    for (const samples::sample_s& sample : samples::all()) {
        if (sample.data.size() > 64 * 1024) continue;
        put("carve_formats", sample.name, sample.data);
        // A few samples one after the other on sector boundaries, with noise between them.
        if (volume.size() < 256 * 1024) {
            volume = padded(volume);
            volume.insert(volume.end(), sample.data.begin(), sample.data.end());
            bytes_t noise = samples::noise(700, static_cast<uint32_t>(volume.size()));
            volume.insert(volume.end(), noise.begin(), noise.end());
        }
    }
    put("carve_scan", "samples_in_a_row.img", padded(volume));
}

void ntfs_seeds() {
    ntfs_fixture::volume_options_s options;
    options.cluster_size = 512;
    options.log_file_size = 4096;
    options.min_records = 40;
    options.mft_fragments = 2;
    ntfs_fixture::ntfs_builder_c builder(options);
    uint64_t folder = builder.add_folder(5, "folder");
    builder.add_file(folder, "resident.txt", bytes_t(100, 'r'));
    ntfs_fixture::entry_options_s fragmented;
    fragmented.storage = ntfs_fixture::storage_e::fragmented;
    uint64_t fragmented_record = builder.add_file(5, "fragmented.bin", samples::noise(3000, 1), fragmented);
    ntfs_fixture::entry_options_s compressed;
    compressed.storage = ntfs_fixture::storage_e::compressed;
    compressed.deleted = true;
    uint64_t compressed_record = builder.add_file(folder, "compressed.txt", bytes_t(9000, 'c'), compressed);
    ntfs_fixture::entry_options_s listed;
    listed.extension_records = 1;
    uint64_t listed_record = builder.add_file(5, "listed.bin", samples::noise(1500, 2), listed);
    bytes_t image;
    if (!builder.build(image)) {
        std::fprintf(stderr, "ntfs builder: %s\n", builder.error().c_str());
        return;
    }
    // Both targets scan the whole disk and its first partition: one layout each keeps them small.
    put("ntfs_volume", "small_volume.img", image);
    put("ntfs_engine", "small_volume_in_mbr.img", ntfs_fixture::mbr_disk(image, 1));
    put("boot_sector", "ntfs_boot.bin", bytes_t(image.begin(), image.begin() + 1024));
    for (uint64_t record : {uint64_t{0}, uint64_t{5}, fragmented_record, compressed_record, listed_record}) {
        uint64_t at = builder.record_offset(record);
        size_t length = std::min<size_t>(image.size() - at, 8 * 1024);
        put("ntfs_record", "record_" + std::to_string(record) + ".bin", bytes_t(image.begin() + at, image.begin() + at + length));
    }
}

void fat_seeds() {
    // A folder whose cluster chain loops back on itself, and one that contains itself.
    auto geometry = fat_fixture::geometry_for_clusters(200);
    fat_fixture::fat_image image(geometry);
    image.put_root_entry(0, fat_fixture::short_entry("LOOP       ", 0x10, 3, 0));
    image.put_root_entry(1, fat_fixture::short_entry("\xE5" "ELETED TXT", 0x20, 5, 1500));
    image.set_fat(3, 4);
    image.set_fat(4, 3);
    image.put_dir_entry(3, 0, fat_fixture::short_entry("SELF       ", 0x10, 3, 0));
    image.put_dir_entry(3, 1, fat_fixture::short_entry("FILE    BIN", 0x20, 6, 700));
    image.set_fat(6, 0x0FFF);
    put("fat_reader", "fat_chain_loop.img", image.to_bytes());
    put("fat_engine", "fat_chain_loop.img", image.to_bytes());
}

void partition_seeds() {
    bytes_t disk(64 * 512, 0);
    auto sector = [&](uint64_t n) { return disk.data() + n * 512; };
    // NTFS at sector 3, 8 sectors (and its backup after them).
    std::memcpy(sector(3) + 3, "NTFS    ", 8);
    platform::put_le(sector(3) + 11, 512, 2);
    platform::put_le(sector(3) + 40, 8, 8);
    platform::put_le(sector(3) + 510, 0xAA55, 2);
    // FAT32 at sector 20 with its FSInfo sector.
    std::memcpy(sector(20) + 3, "MSWIN4.1", 8);
    platform::put_le(sector(20) + 11, 512, 2);
    sector(20)[13] = 1;
    platform::put_le(sector(20) + 14, 32, 2);
    sector(20)[16] = 2;
    platform::put_le(sector(20) + 32, 30, 4);
    platform::put_le(sector(20) + 36, 1, 4);
    std::memcpy(sector(20) + 82, "FAT32   ", 8);
    platform::put_le(sector(20) + 510, 0xAA55, 2);
    std::memcpy(sector(21), "RRaA", 4);
    platform::put_le(sector(21) + 510, 0xAA55, 2);
    put("partition_search", "ntfs_and_fat32.img", disk);
    put("boot_sector", "fat32_msw.bin", bytes_t(sector(20), sector(22)));
}

void scan_file_seeds() {
    bytes_t file(256 + 3 * 32, 0);
    const char volume[] = "\\\\?\\Volume{0b9e6f3a-1c2d-4e5f-8a9b-0c1d2e3f4a5b}";
    std::memcpy(file.data(), volume, sizeof volume - 1);
    const char* types[] = {"jpg", "png", "docxfile"};
    for (int i = 0; i < 3; ++i) {
        uint8_t* entry = file.data() + 256 + 32 * i;
        platform::put_le(entry, i, 8);
        platform::put_le(entry + 8, 4096u * (i + 1), 8);
        platform::put_le(entry + 16, 1000u + i, 8);
        std::memcpy(entry + 24, types[i], std::min<size_t>(8, std::strlen(types[i])));
    }
    put("scan_file", "three_entries.sav", file);
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s CORPUS_FOLDER\n", argv[0]);
        return 2;
    }
    corpus = argv[1];
    QGuiApplication app(argc, argv);  // Qt's image writers make the picture samples
    carving_seeds();
    ntfs_seeds();
    fat_seeds();
    partition_seeds();
    scan_file_seeds();
    return 0;
}
