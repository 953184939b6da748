// The FAT engine on real volumes made by mkfs.fat and mtools: what it lists, what it recovers,
// pause and stop, and that it never writes to the volume.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <chrono>
#include <thread>
#include <set>

#include "engines/fat_recovery.h"
#include "platform/test_seam.h"
#include "tests/engines/engine_test_support.h"
#include "tests/support/mtools_volume.h"
#include "tests/support/test_support.h"

using test_support::byte_pattern;

namespace {

// Files of the fixture volume; sizes are distinct so rows can be matched to them.
std::vector<test_support::mtools_file_s> fixture_files() {
    return {{"/top.bin", byte_pattern(3000, 1)},           {"/Docs/keep.txt", byte_pattern(500, 2)},
            {"/Docs/old.bin", byte_pattern(9000, 3)},      {"/Docs/Deep/x.dat", byte_pattern(20000, 4)},
            {"/Gone/inner1.bin", byte_pattern(7000, 5)},   {"/Gone/inner2.bin", byte_pattern(8000, 6)},
            {"/Live/only.txt", byte_pattern(600, 7)}};
}

const std::set<uint32_t> deleted_sizes{3000, 9000, 20000, 7000, 8000};

struct volume_case_s {
    unsigned fat_bits;
    unsigned size_kib;
    unsigned cluster_sectors;
};

class fat_engine_real : public ::testing::TestWithParam<volume_case_s> {};

}  // namespace

TEST_P(fat_engine_real, lists_every_deleted_file_in_its_folder_and_recovers_it_exactly) {
    if (!test_support::have_fat_tools()) GTEST_SKIP() << "mkfs.fat or mtools absent";
    test_support::scratch_dir dir;
    const std::string image = dir.file("volume.img");
    std::string error;
    auto files = fixture_files();
    ASSERT_TRUE(test_support::make_mtools_volume(image, GetParam().size_kib, GetParam().fat_bits,
                                                 GetParam().cluster_sectors, files,
                                                 {"/top.bin", "/Docs/old.bin", "/Docs/Deep/x.dat"}, {"/Gone"}, error))
        << error;
    const std::string hash_before = test_support::sha256_file(image);

    engine_test::attached_disks disks({image});
    fat_recovery_c engine;
    for (int round = 0; round < 2; ++round) {  // a second scan on the same engine gives the same
        ASSERT_TRUE(engine_test::scan(engine, disks.volume(0, 0)));
        auto shown = engine_test::shown_rows(engine_fat, engine);
        std::map<uint32_t, QString> folder_of_size;
        for (const auto& [path, rows] : shown) {
            for (const auto& row : rows) {
                EXPECT_TRUE(row.attributes & 0x40) << row.name.toStdString();
                EXPECT_TRUE(row.name.startsWith('#')) << row.name.toStdString();
                EXPECT_EQ(row.id >> 32, 0u);
                EXPECT_TRUE(folder_of_size.emplace(static_cast<uint32_t>(row.size), path).second);
            }
        }
        std::set<uint32_t> listed;
        for (const auto& [size, path] : folder_of_size) listed.insert(size);
        EXPECT_EQ(listed, deleted_sizes);
        EXPECT_EQ(folder_of_size[3000], "/");  // deleted from the root folder: still shown
        EXPECT_EQ(folder_of_size[9000].toUpper(), "/DOCS");
        EXPECT_EQ(folder_of_size[20000].toUpper(), "/DOCS/DEEP");
        EXPECT_EQ(shown.count("/LIVE") + shown.count("/Live"), 0u);  // no deleted file below it
    }

    QTemporaryDir out;
    for (const auto& [path, rows] : engine_test::shown_rows(engine_fat, engine)) {
        for (const auto& row : rows) {
            QString target = out.filePath(QString::number(row.id));
            ASSERT_EQ(engine.extract(row.id, target), 0) << row.name.toStdString();
            auto data = test_support::read_file(target.toStdString());
            bool matched = false;
            for (const auto& file : files)
                if (file.content.size() == row.size) matched = data == file.content;
            EXPECT_TRUE(matched) << row.name.toStdString();
        }
    }
    EXPECT_EQ(engine.extract(999999, out.filePath("none")), -1);
    EXPECT_EQ(test_support::sha256_file(image), hash_before);
}

INSTANTIATE_TEST_SUITE_P(fat_types, fat_engine_real,
                         ::testing::Values(volume_case_s{12, 4096, 2}, volume_case_s{16, 16384, 4},
                                           volume_case_s{32, 40960, 1}),
                         [](const auto& info) { return "fat" + std::to_string(info.param.fat_bits); });

TEST(fat_engine, pause_holds_the_walk_and_stop_keeps_links_and_marks) {
    if (!test_support::have_fat_tools()) GTEST_SKIP() << "mkfs.fat or mtools absent";
    test_support::scratch_dir dir;
    const std::string image = dir.file("many.img");
    std::vector<test_support::mtools_file_s> files;
    std::vector<std::string> deleted;
    for (int i = 0; i < 48; ++i) {
        std::string path = "/D" + std::to_string(i % 6) + "/f" + std::to_string(i) + ".bin";
        files.push_back({path, byte_pattern(1000 + static_cast<size_t>(i), static_cast<uint32_t>(i))});
        if (i % 2) deleted.push_back(path);
    }
    std::string error;
    ASSERT_TRUE(test_support::make_mtools_volume(image, 16384, 16, 4, files, deleted, {}, error)) << error;
    engine_test::attached_disks disks({image});
    platform::test::set_read_delay(image, 3000);  // slow enough to catch the walk on its way

    fat_recovery_c engine;
    engine.set_volume(disks.volume(0, 0));
    engine.start();
    ASSERT_TRUE(engine_test::wait_until([&] { return engine.scanned_count() >= 3; }));
    engine.set_pause(1);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // the pause has been seen by now
    uint64_t held = engine.scanned_count();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    EXPECT_EQ(engine.scanned_count(), held);
    EXPECT_FALSE(engine.isFinished());

    engine.set_stop(3);  // while paused
    ASSERT_TRUE(engine.wait(10000));
    EXPECT_EQ(engine.stop(), 3);
    ASSERT_TRUE(engine.records().count(0));
    for (const auto& [key, record] : engine.records()) {
        if (record->attributes & 0x10) continue;
        auto parent = engine.records().find(record->parent_cluster);
        if (parent == engine.records().end()) continue;
        EXPECT_TRUE(parent->second->holds_files);
        EXPECT_NE(std::find(parent->second->children.begin(), parent->second->children.end(), record.get()),
                  parent->second->children.end());
    }
}

TEST(fat_engine, a_volume_that_cannot_be_located_yields_nothing_of_the_previous_one) {
    if (!test_support::have_fat_tools()) GTEST_SKIP() << "mkfs.fat or mtools absent";
    test_support::scratch_dir dir;
    const std::string image = dir.file("volume.img");
    std::string error;
    ASSERT_TRUE(test_support::make_mtools_volume(image, 4096, 12, 2, fixture_files(), {"/Docs/old.bin"}, {}, error))
        << error;
    engine_test::attached_disks disks({image});
    fat_recovery_c engine;
    ASSERT_TRUE(engine_test::scan(engine, disks.volume(0, 0)));
    ASSERT_GT(engine.records().size(), 1u);

    volume_item_s missing = disks.volume(0, 0);
    missing.volume_name = "\\\\?\\Volume{00000000-0000-0000-0000-000000000000}\\";
    ASSERT_TRUE(engine_test::scan(engine, missing));
    EXPECT_EQ(engine.records().size(), 1u);  // the root record only
    EXPECT_TRUE(build_result_folders(engine_fat, &engine).nodes.empty());
}
