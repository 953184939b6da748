// Nothing is ever written to a scanned volume: every scan, recovery, deep scan, scan-file
// round trip and partition search on each shared image leaves a writable copy of it
// byte-for-byte the same.
#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QDir>
#include <string>
#include <vector>

#include "devices/drive_list.h"
#include "devices/volume_list.h"
#include "engines/fat_recovery.h"
#include "engines/raw_recovery.h"
#include "partition/partition_search.h"
#include "tests/engines/engine_test_support.h"
#include "tests/support/test_support.h"
#include "vessor/vessor.h"

namespace {

constexpr int extract_limit = 100;  // files recovered per volume and engine

// Runs a scan to its end. The largest image is a 5 GiB disk that a sanitizer build reads
// slowly, hence the generous wait.
bool run_to_end(recovery_base_c& engine, const volume_item_s& volume) {
    engine.reset();
    engine.set_volume(volume);
    engine.start();
    return engine.wait(QDeadlineTimer(15 * 60 * 1000));
}

// Recovers every file row the result rules show; returns how many were tried.
int recover_shown_rows(engine_kind_e kind, recovery_base_c& engine, const std::string& folder) {
    QDir().mkpath(QString::fromStdString(folder));
    int tried = 0;
    for (const auto& [path, rows] : engine_test::shown_rows(kind, engine))
        for (const recovery_item_s& row : rows)
            if (tried < extract_limit) engine.extract(row.id, QString::fromStdString(folder + "/" + std::to_string(tried++)));
    return tried;
}

void scan_fat(const volume_item_s& volume, const std::string& folder) {
    fat_recovery_c engine;
    ASSERT_TRUE(run_to_end(engine, volume));
    recover_shown_rows(engine_fat, engine, folder);
}

void scan_ntfs(const volume_item_s& volume, const std::string& folder) {
    std::string device = "/dev/hd" + std::string(1, static_cast<char>('a' + volume.disk_number)) +
                         std::to_string(volume.partition_number);
    std::vector<uint8_t> context(vessor::context_size, 0);
    ASSERT_EQ(ntfs_scan_startup(device.c_str(), context.data()), 0) << device;
    uint8_t record[vessor::record_size];
    int recovered = 0;
    while (ntfs_scan_next(context.data(), record) && recovered < extract_limit) {
        if (!(vessor::layout::u32(record, vessor::record_flags_offset) & vessor::flag_file)) continue;
        uint64_t number = vessor::layout::u64(record, vessor::record_number_offset);
        ntfs_recover_file(context.data(), number, (folder + "/" + std::to_string(recovered++)).c_str(), nullptr);
    }
    ntfs_scan_cleanup(context.data());
}

void deep_scan_and_round_trip(const volume_item_s& volume, const std::string& folder) {
    raw_recovery_c engine;
    ASSERT_TRUE(run_to_end(engine, volume));
    recover_shown_rows(engine_deep, engine, folder + "/deep");
    if (engine.entries().empty()) return;
    const std::string saved = folder + "/scan.sav";
    ASSERT_EQ(engine.write_scan_file(saved), 0);
    raw_recovery_c reopened;
    ASSERT_FALSE(reopened.read_scan_file(saved).empty());
    reopened.set_volume(volume);
    recover_shown_rows(engine_deep, reopened, folder + "/reopened");
}

void search_partitions_of_every_drive() {
    enumerate_drives();
    for (const drive_item_s& drive : drive_list()) {
        if (drive.drive_path.isEmpty()) continue;
        partition_search_state_s state;
        search_partitions(drive, state, [](const partition_item_s&) {});
    }
}

class read_only_test : public ::testing::TestWithParam<const char*> {};

TEST_P(read_only_test, every_operation_leaves_the_image_unchanged) {
    TARNWELL_TESTDATA_OR_SKIP(cached, GetParam());
    test_support::scratch_dir dir;
    const std::string image = dir.file("disk.img");
    // A writable copy: a read-only file would hide a write attempt behind a failing open.
    ASSERT_EQ(test_support::run_command("cp --sparse=always '" + cached + "' '" + image + "' && chmod 600 '" + image + "'"), 0);
    const std::string before = test_support::sha256_file(image);

    int volumes = 0;
    {
        engine_test::attached_disks disks({image});
        for (const volume_item_s& volume : volume_list()) {
            if (volume.device_name.isEmpty()) continue;
            SCOPED_TRACE(volume.device_name.toStdString());
            const std::string folder = dir.file("out" + std::to_string(volumes++));
            QDir().mkpath(QString::fromStdString(folder));
            if (volume.file_system.startsWith("FAT")) scan_fat(volume, folder + "/fat");
            if (volume.file_system == "NTFS") scan_ntfs(volume, folder);
            deep_scan_and_round_trip(volume, folder);
        }
        search_partitions_of_every_drive();
    }
    EXPECT_GT(volumes, 0);
    EXPECT_EQ(test_support::sha256_file(image), before);
}

const char* const shared_images[] = {
    "fat12.raw.gz",         "fat16.raw.gz",           "fat32_loop.raw.gz", "fat_deleted_dir.raw.gz",
    "fat_deleted_dir_2.raw.gz", "fat_lfn_test.raw.gz", "fat_unusual_cluster.raw.gz", "mbr-win-512.raw.tgz",
    "ntfs-2m.raw.gz",       "ntfs-lastaccess.raw.gz", "ntfs3.raw.gz",      "ntfs_index.raw.gz",
    "vss_1_vol.tar.gz",
};

std::string case_name(const ::testing::TestParamInfo<const char*>& info) {
    std::string name = info.param;
    name = name.substr(0, name.find('.'));
    for (char& c : name)
        if (!isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

INSTANTIATE_TEST_SUITE_P(shared_images, read_only_test, ::testing::ValuesIn(shared_images), case_name);

}  // namespace
