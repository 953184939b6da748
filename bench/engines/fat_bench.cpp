// FAT32 volume of 50,000 files in 100 folders, 30 % of them deleted: scan time against reading
// the same directory and FAT sectors one at a time with pread; recovery of 50 deleted files of
// 2 MiB against reading the same clusters.
#include <QDir>
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <set>

#include "bench/engines/bench_support.h"
#include "bench/engines/measure.h"
#include "devices/volume_list.h"
#include "disk/sector_device.h"
#include "engines/fat_recovery.h"
#include "platform/test_seam.h"
#include "tests/fixtures/fat_image_builder.h"

namespace {

constexpr uint32_t folder_count = 100;
constexpr uint32_t files_per_folder = 500;
constexpr uint32_t cluster_bytes = 4096;
constexpr uint32_t big_file_count = 50;
constexpr uint32_t big_file_clusters = 512;  // 2 MiB
constexpr uint32_t end_of_chain = 0x0FFFFFFF;

struct fat_layout_s {
    std::vector<uint32_t> directory_clusters;  // the root's and every folder's
    std::vector<uint32_t> big_files;           // first clusters of the large deleted files
};

// Allocates a folder of `entries` entries at the next clusters; returns its first cluster.
uint32_t add_folder(fat_fixture::fat_image& image, fat_layout_s& layout, uint32_t& next, uint32_t entries) {
    const uint32_t clusters = ((entries + 2) * 32 + cluster_bytes - 1) / cluster_bytes;
    const uint32_t first = next;
    for (uint32_t c = 0; c < clusters; ++c, ++next) {
        image.set_fat(next, c + 1 == clusters ? end_of_chain : next + 1);
        layout.directory_clusters.push_back(next);
    }
    return first;
}

fat_layout_s build_volume(fat_fixture::fat_image& image) {
    fat_layout_s layout;
    image.set_fat(2, end_of_chain);  // the root folder: one cluster holds the folder entries
    layout.directory_clusters.push_back(2);
    uint32_t next = 3;
    char name[12];
    for (uint32_t f = 0; f < folder_count; ++f) {
        const uint32_t first = add_folder(image, layout, next, files_per_folder);
        std::snprintf(name, sizeof name, "DIR%05u   ", f);
        image.put_dir_entry(2, f, fat_fixture::short_entry(name, 0x10, first, 0));
        for (uint32_t i = 0; i < files_per_folder; ++i, ++next) {
            std::snprintf(name, sizeof name, "F%07uBIN", f * files_per_folder + i);
            auto entry = fat_fixture::short_entry(name, 0x20, next, cluster_bytes);
            if (i % 10 < 3)
                entry[0] = 0xE5;
            else
                image.set_fat(next, end_of_chain);
            image.put_dir_entry(first, i, entry);
        }
    }
    const uint32_t big = add_folder(image, layout, next, big_file_count);
    image.put_dir_entry(2, folder_count, fat_fixture::short_entry("BIG        ", 0x10, big, 0));
    for (uint32_t i = 0; i < big_file_count; ++i, next += big_file_clusters) {
        std::snprintf(name, sizeof name, "\xE5" "IG%05uBIN", i);
        image.put_dir_entry(big, i, fat_fixture::short_entry(name, 0x20, next, big_file_clusters * cluster_bytes));
        layout.big_files.push_back(next);
    }
    return layout;
}

// Fills the large files' clusters straight into the image file.
bool write_big_files(const std::string& path, const fat_fixture::fat_image& image, const fat_layout_s& layout) {
    int fd = ::open(path.c_str(), O_WRONLY);
    if (fd < 0) return false;
    std::vector<uint8_t> data(big_file_clusters * cluster_bytes);
    bool ok = true;
    for (uint32_t first : layout.big_files) {
        for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<uint8_t>(i * 31 + first);
        ok = ok && ::pwrite(fd, data.data(), data.size(), static_cast<off_t>(image.cluster_sector(first) * 512)) ==
                       static_cast<ssize_t>(data.size());
    }
    return ::close(fd) == 0 && ok;
}

// The sectors the walk must read: every directory sector and the FAT sectors of the folder chains.
std::vector<std::pair<uint64_t, uint32_t>> metadata_sectors(const fat_fixture::fat_image& image,
                                                            const fat_layout_s& layout) {
    std::vector<std::pair<uint64_t, uint32_t>> ranges;
    std::set<uint64_t> fat_sectors;
    const auto& g = image.geometry();
    for (uint32_t cluster : layout.directory_clusters) {
        for (uint32_t s = 0; s < g.cluster_sectors; ++s)
            ranges.emplace_back((image.cluster_sector(cluster) + s) * 512, 512);
        fat_sectors.insert(g.fat_start() + cluster * 4ULL / 512);
    }
    for (uint64_t sector : fat_sectors) ranges.emplace_back(sector * 512, 512);
    return ranges;
}

}  // namespace

int run_fat_bench(const std::string& folder) {
    std::printf("FAT32: %u folders x %u files, 30 %% deleted, and %u deleted files of 2 MiB\n", folder_count,
                files_per_folder, big_file_count);
    fat_fixture::fat_image image(fat_fixture::geometry_for_clusters(90000, cluster_bytes / 512));
    fat_layout_s layout = build_volume(image);
    const std::string path = folder + "/bench-fat32.img";
    if (!image.write_sparse_file(path) || !write_big_files(path, image, layout)) {
        std::fprintf(stderr, "cannot write %s\n", path.c_str());
        return 1;
    }
    auto sectors = metadata_sectors(image, layout);
    platform::test::set_disk_list(std::vector<std::string>{path});
    drive_table_open();
    enumerate_volumes();
    fat_recovery_c engine;
    engine.set_volume(volume_list().value(1));
    uint64_t store_bytes = 0;
    auto scan = [&] { return bench::timed_scan(engine, store_bytes); };
    bench::compare_cold_and_warm("FAT scan", scan, [&] { return bench::raw_read_ranges(path, sectors); });
    bench::report_store("entries", engine.scanned_count(), engine.found_count(), store_bytes);

    const QString out = QString::fromStdString(folder + "/bench-fat-out");
    std::vector<std::pair<uint64_t, uint32_t>> clusters;
    for (uint32_t first : layout.big_files)
        for (uint32_t c = 0; c < big_file_clusters; c += 16)  // the engine reads 4 KiB steps; raw reads 64 KiB
            clusters.emplace_back(image.cluster_sector(first + c) * 512, 16 * cluster_bytes);
    unsigned failed = 0;
    auto recover = [&] {
        QDir(out).removeRecursively();
        QDir().mkpath(out);
        bench::stopwatch clock;
        for (uint32_t first : layout.big_files) failed += engine.extract(first, out + "/" + QString::number(first)) != 0;
        return clock.seconds();
    };
    bench::compare_cold_and_warm("FAT recovery (100 MiB)", recover, [&] { return bench::raw_read_ranges(path, clusters); });
    if (failed) std::printf("  %u files failed\n", failed);
    QDir(out).removeRecursively();
    std::remove(path.c_str());
    return failed ? 1 : 0;
}
