// The NTFS engine over volumes from the NTFS builder: what it keeps and shows, byte-exact
// recovery of every kind of stored data, failed starts, pause and stop.
#include <gtest/gtest.h>

#include <QDir>
#include <QTemporaryDir>
#include <chrono>
#include <map>
#include <set>
#include <thread>

#include "engines/ntfs_recovery.h"
#include "platform/test_seam.h"
#include "tests/engines/engine_test_support.h"
#include "tests/fixtures/ntfs_builder.h"
#include "tests/support/mtools_volume.h"
#include "tests/support/test_support.h"

using ntfs_fixture::entry_options_s;
using ntfs_fixture::storage_e;
using test_support::byte_pattern;

namespace {

entry_options_s deleted(storage_e storage = storage_e::automatic) {
    entry_options_s options;
    options.deleted = true;
    options.storage = storage;
    return options;
}

std::vector<uint8_t> sparse_data() {
    auto data = byte_pattern(64 * 1024, 9);
    std::fill(data.begin() + 8192, data.begin() + 40960, 0);
    return data;
}

std::vector<uint8_t> compressible_data() {
    std::vector<uint8_t> data;
    for (int i = 0; data.size() < 100000; ++i) {
        std::string line = "line " + std::to_string(i % 50) + " of a compressible file\n";
        data.insert(data.end(), line.begin(), line.end());
    }
    return data;
}

struct ntfs_fixture_s {
    std::vector<uint8_t> disk;
    std::map<uint64_t, std::vector<uint8_t>> deleted_files;  // by record number
    uint64_t orphan = 0, live_file = 0;
};

ntfs_fixture_s build_fixture() {
    ntfs_fixture_s f;
    ntfs_fixture::ntfs_builder_c builder;
    auto keep = [&](uint64_t number, std::vector<uint8_t> data) { f.deleted_files[number] = std::move(data); };
    keep(builder.add_file(5, "top.txt", byte_pattern(100, 1), deleted()), byte_pattern(100, 1));
    uint64_t docs = builder.add_folder(5, "Docs");
    f.live_file = builder.add_file(docs, "live.txt", byte_pattern(700, 2));
    keep(builder.add_file(docs, "resident.txt", byte_pattern(300, 3), deleted(storage_e::resident)), byte_pattern(300, 3));
    keep(builder.add_file(docs, "whole.bin", byte_pattern(50000, 4), deleted(storage_e::contiguous)),
         byte_pattern(50000, 4));
    keep(builder.add_file(docs, "pieces.bin", byte_pattern(70000, 5), deleted(storage_e::fragmented)),
         byte_pattern(70000, 5));
    keep(builder.add_file(docs, "holes.bin", sparse_data(), deleted(storage_e::sparse)), sparse_data());
    keep(builder.add_file(docs, "packed.txt", compressible_data(), deleted(storage_e::compressed)), compressible_data());
    uint64_t gone = builder.add_folder(5, "Gone", deleted());
    keep(builder.add_file(gone, "inside.bin", byte_pattern(9000, 6), deleted()), byte_pattern(9000, 6));
    builder.add_folder(5, "Empty");
    f.orphan = builder.add_file(4000, "orphan.bin", byte_pattern(5000, 7), deleted());
    std::vector<uint8_t> volume;
    EXPECT_TRUE(builder.build(volume)) << builder.error();
    f.disk = ntfs_fixture::mbr_disk(volume, 2048);
    return f;
}

}  // namespace

TEST(ntfs_engine, shows_deleted_files_in_their_folders_and_recovers_each_exactly) {
    auto fixture = build_fixture();
    test_support::scratch_dir dir;
    const std::string image = dir.file("ntfs.img");
    ASSERT_TRUE(test_support::write_file(image, fixture.disk));
    const std::string hash = test_support::sha256_file(image);
    engine_test::attached_disks disks({image});
    volume_item_s volume = disks.volume(0, 1);
    ASSERT_EQ(volume.file_system, "NTFS");
    EXPECT_EQ(ntfs_recovery_c::device_name(volume), "/dev/hda1");

    ntfs_recovery_c engine;
    for (int round = 0; round < 2; ++round) {  // the second scan first ends the first one's context
        ASSERT_TRUE(engine_test::scan(engine, volume));
        EXPECT_EQ(engine.records().count(fixture.live_file), 0u);
        ASSERT_TRUE(engine.records().count(fixture.orphan));
        auto shown = engine_test::shown_rows(engine_ntfs, engine);
        std::set<uint64_t> listed;
        for (const auto& [path, rows] : shown)
            for (const auto& row : rows) {
                EXPECT_TRUE(listed.insert(row.id).second);
                EXPECT_EQ(row.attributes & 0x82, 0x82) << row.name.toStdString();
            }
        std::set<uint64_t> expected;
        for (const auto& [number, data] : fixture.deleted_files) expected.insert(number);
        EXPECT_EQ(listed, expected);  // neither the orphan nor the live file
        EXPECT_EQ(shown.count("/Empty"), 0u);
        ASSERT_EQ(shown["/Docs"].size(), 5);
        EXPECT_EQ(shown["/"].size(), 1);
        EXPECT_EQ(shown["/Gone"].size(), 1);
        EXPECT_GT(engine.progress(), 0.5);
    }
    QTemporaryDir out;
    for (const auto& [number, data] : fixture.deleted_files) {
        QString target = out.filePath(QString::number(number));
        ASSERT_EQ(engine.extract(number, target), 0) << number;
        EXPECT_EQ(test_support::read_file(target.toStdString()), data) << number;
    }
    QString path;
    EXPECT_EQ(engine.full_path(std::next(fixture.deleted_files.begin())->first, path), 0);
    EXPECT_EQ(path.count('\\'), 2) << path.toStdString();
    EXPECT_EQ(engine.full_path(fixture.orphan, path), -1);
    EXPECT_EQ(test_support::sha256_file(image), hash);
}

TEST(ntfs_engine, a_failed_start_logs_its_result_and_leaves_an_empty_table) {
    QTemporaryDir folder;
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(folder.path()));
    platform::test::add_memory_disk("blank", std::make_shared<std::vector<uint8_t>>(8 << 20, 0));
    engine_test::attached_disks disks({"mem:blank"});
    ntfs_recovery_c engine;
    ASSERT_TRUE(engine_test::scan(engine, disks.volume(0, 0)));
    EXPECT_TRUE(engine.records().empty());
    EXPECT_TRUE(build_result_folders(engine_ntfs, &engine).nodes.empty());
    auto log = test_support::read_file(folder.filePath("Ostrel.log").toStdString());
    std::string text(log.begin(), log.end());
    EXPECT_NE(text.find("  [ntfs_recovery:105] ntfs_scan_startup failed with return value (-"), std::string::npos)
        << text;
    QDir::setCurrent(previous);
}

TEST(ntfs_engine, pause_holds_between_records_and_stop_keeps_links_and_marks) {
    ntfs_fixture::volume_options_s options;
    ntfs_fixture::ntfs_builder_c builder(options);
    uint64_t folder = builder.add_folder(5, "Many");
    for (int i = 0; i < 200; ++i) builder.add_file(folder, "f" + std::to_string(i), byte_pattern(10, i), deleted());
    std::vector<uint8_t> volume;
    ASSERT_TRUE(builder.build(volume)) << builder.error();
    platform::test::add_memory_disk("many", std::make_shared<std::vector<uint8_t>>(volume));
    engine_test::attached_disks disks({"mem:many"});
    platform::test::set_read_delay("mem:many", 20000);

    ntfs_recovery_c engine;
    engine.set_volume(disks.volume(0, 0));
    engine.start();
    ASSERT_TRUE(engine_test::wait_until([&] { return engine.scanned_count() >= 1; }, 30));
    engine.set_pause(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    uint64_t held = engine.scanned_count();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(engine.scanned_count(), held);
    engine.set_stop(3);
    ASSERT_TRUE(engine.wait(10000));
    for (const auto& [number, record] : engine.records()) {
        auto parent = engine.records().find(record->parent_number);
        if (parent == engine.records().end()) continue;
        EXPECT_NE(std::find(parent->second->children.begin(), parent->second->children.end(), record.get()),
                  parent->second->children.end());
        if (record->flags & 0x02) {
            EXPECT_TRUE(parent->second->holds_files);
        }
    }
}

// Volumes made by Windows and Linux: what their master file tables hold.
TEST(ntfs_engine, real_volumes_list_what_their_tables_hold) {
    TARNWELL_TESTDATA_OR_SKIP(vss, "vss_1_vol.tar.gz");
    TARNWELL_TESTDATA_OR_SKIP(linux_made, "ntfs3.raw.gz");
    TARNWELL_TESTDATA_OR_SKIP(index_only, "ntfs_index.raw.gz");
    TARNWELL_TESTDATA_OR_SKIP(two_megabyte, "ntfs-2m.raw.gz");
    engine_test::attached_disks disks({vss, linux_made, index_only, two_megabyte});
    ntfs_recovery_c engine;

    ASSERT_TRUE(engine_test::scan(engine, disks.volume(0, 2)));
    auto shown = engine_test::shown_rows(engine_ntfs, engine);
    ASSERT_EQ(shown["/System Volume Information"].size(), 1);
    EXPECT_EQ(shown["/System Volume Information"][0].id, 42u);

    struct {
        int disk, partition;
    } without_deleted_records[] = {{1, 0}, {2, 1}, {3, 1}};
    for (const auto& c : without_deleted_records) {
        ASSERT_TRUE(engine_test::scan(engine, disks.volume(c.disk, c.partition)));
        EXPECT_GT(engine.scanned_count(), 16u) << c.disk;
        EXPECT_TRUE(build_result_folders(engine_ntfs, &engine).nodes.empty()) << c.disk;
    }
}
