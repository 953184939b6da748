// NTFS volume of 100,000 records (100 folders of 1,000 small files, 30 % deleted): scan time
// against reading the master file table in 1 MiB blocks; recovery of 50 deleted files of 2 MiB
// against reading the same clusters.
#include <QDir>
#include <cstdio>

#include "bench/engines/bench_support.h"
#include "bench/engines/measure.h"
#include "devices/volume_list.h"
#include "engines/ntfs_recovery.h"
#include "platform/test_seam.h"
#include "tests/fixtures/ntfs_builder.h"

namespace {

constexpr unsigned folder_count = 100;
constexpr unsigned files_per_folder = 1000;
constexpr unsigned big_file_count = 50;
constexpr size_t big_file_bytes = 2 << 20;

struct ntfs_layout_s {
    std::vector<std::pair<uint64_t, uint32_t>> table;     // the master file table in 1 MiB reads
    std::vector<std::pair<uint64_t, uint32_t>> big_data;  // the large files' clusters
    std::vector<uint64_t> big_files;
};

bool build_volume(const std::string& path, ntfs_layout_s& layout) {
    ntfs_fixture::ntfs_builder_c builder;
    ntfs_fixture::entry_options_s deleted;
    deleted.deleted = true;
    for (unsigned f = 0; f < folder_count; ++f) {
        uint64_t parent = builder.add_folder(5, "folder" + std::to_string(f));
        for (unsigned i = 0; i < files_per_folder; ++i)
            builder.add_file(parent, "file" + std::to_string(i) + ".bin", std::vector<uint8_t>(16, uint8_t(i)),
                             i % 10 < 3 ? deleted : ntfs_fixture::entry_options_s{});
    }
    deleted.storage = ntfs_fixture::storage_e::contiguous;
    uint64_t big = builder.add_folder(5, "big");
    for (unsigned i = 0; i < big_file_count; ++i) {
        std::vector<uint8_t> data(big_file_bytes);
        for (size_t b = 0; b < data.size(); ++b) data[b] = static_cast<uint8_t>(b * 7 + i);
        layout.big_files.push_back(builder.add_file(big, "big" + std::to_string(i), std::move(data), deleted));
    }
    if (!builder.write_image(path)) {
        std::fprintf(stderr, "cannot build the NTFS volume: %s\n", builder.error().c_str());
        return false;
    }
    const uint64_t table_start = builder.record_offset(0);
    const uint64_t table_bytes = builder.table_records() * builder.options().record_size;
    for (uint64_t at = 0; at < table_bytes; at += 1 << 20)
        layout.table.emplace_back(table_start + at, static_cast<uint32_t>(std::min<uint64_t>(1 << 20, table_bytes - at)));
    const uint64_t cluster = builder.options().cluster_size;
    for (uint64_t number : layout.big_files)
        for (const auto& extent : builder.data_extents(number))
            for (uint64_t at = 0; at < extent.length * cluster; at += 1 << 20)
                layout.big_data.emplace_back(extent.lcn * cluster + at,
                                             static_cast<uint32_t>(std::min<uint64_t>(1 << 20, extent.length * cluster - at)));
    std::printf("%llu records in the table\n", static_cast<unsigned long long>(builder.table_records()));
    return true;
}

}  // namespace

int run_ntfs_bench(const std::string& folder) {
    std::printf("NTFS: %u folders x %u files, 30 %% deleted, and %u deleted files of 2 MiB\n", folder_count,
                files_per_folder, big_file_count);
    const std::string path = folder + "/bench-ntfs.img";
    ntfs_layout_s layout;
    if (!build_volume(path, layout)) return 1;

    platform::test::set_disk_list(std::vector<std::string>{path});
    enumerate_volumes();
    ntfs_recovery_c engine;
    engine.set_volume(volume_list().value(1));
    uint64_t store_bytes = 0;
    auto scan = [&] { return bench::timed_scan(engine, store_bytes); };
    bench::compare_cold_and_warm("NTFS scan", scan, [&] { return bench::raw_read_ranges(path, layout.table); });
    bench::report_store("records", engine.scanned_count(), engine.found_count(), store_bytes);

    const QString out = QString::fromStdString(folder + "/bench-ntfs-out");
    unsigned failed = 0;
    auto recover = [&] {
        QDir(out).removeRecursively();
        QDir().mkpath(out);
        bench::stopwatch clock;
        for (uint64_t number : layout.big_files)
            failed += engine.extract(number, out + "/" + QString::number(number)) != 0;
        return clock.seconds();
    };
    bench::compare_cold_and_warm("NTFS recovery (100 MiB)", recover,
                                 [&] { return bench::raw_read_ranges(path, layout.big_data); });
    if (failed) std::printf("  %u files failed\n", failed);
    QDir(out).removeRecursively();
    std::remove(path.c_str());
    return failed ? 1 : 0;
}
