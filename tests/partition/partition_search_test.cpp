// The lost-partition search over crafted and real disk images.
#include <gtest/gtest.h>

#include <QDeadlineTimer>

#include <unistd.h>

#include <cstdio>
#include <functional>
#include <vector>

#include "partition/partition_repair.h"
#include "platform/byte_reader.h"
#include "platform/test_seam.h"
#include "tests/partition/partition_test_disks.h"
#include "tests/support/test_support.h"

using namespace partition_test;

namespace {

struct placed_sector_s {
    uint64_t sector;
    sector_bytes bytes;
};

partition_item_s ntfs(uint64_t first, uint64_t last) {
    return {"NTFS", 7, first, last};
}
partition_item_s fat32(uint64_t first, uint64_t last) {
    return {"FAT32", 12, first, last};
}

sector_bytes with_field(sector_bytes sector, size_t offset, uint64_t value, size_t width) {
    platform::put_le(sector.data() + offset, value, width);
    return sector;
}

struct layout_case_s {
    const char* name;
    uint64_t cylinders;
    std::vector<placed_sector_s> sectors;
    std::vector<partition_item_s> expected;
};

void PrintTo(const layout_case_s& layout, std::ostream* out) {
    *out << layout.name;
}

std::vector<layout_case_s> layout_cases() {
    const uint64_t big = 2'000'000;
    return {
        {"ntfs_at_63_then_resume_after_its_backup_sector",
         130,
         {{63, ntfs_boot_sector(big)},
          {63 + big, ntfs_boot_sector(big)},  // the backup boot sector belongs to the partition
          {1'000'000, ntfs_boot_sector(1000)},  // nested: never examined
          {2'000'064, fat32_boot_sector(16'000)},
          {2'000'065, fsinfo_sector()}},
         {ntfs(63, 2'000'063), fat32(2'000'064, 2'016'063)}},
        {"fat32_mswin_at_2048",
         70,
         {{2048, fat32_boot_sector(1'048'576)}, {2049, signature_sector()}},
         {fat32(2048, 1'050'623)}},
        {"fat32_without_signed_successor_is_not_found",
         70,
         {{2048, fat32_boot_sector(1'048'576)}},
         {}},
        {"boot_sectors_at_block_edges",
         4,
         {{255, ntfs_boot_sector(99)},   // last sector of the first block
          {609, ntfs_boot_sector(9)},    // index 254 of the block at 355
          {874, fat32_boot_sector(100)}, // last sector of the block at 619
          {875, signature_sector()}},
         {ntfs(255, 354), ntfs(609, 618), fat32(874, 973)}},
        {"fat32_made_elsewhere_needs_fsinfo",
         4,
         {{2048, fat32_boot_sector(8000, "mkfs.fat")},
          {2049, fsinfo_sector()},
          {20'000, fat32_boot_sector(8000, "mkfs.fat")},  // no FSInfo behind it
          {20'001, signature_sector()},
          {40'000, fat32_boot_sector(8000, "BSD  4.4")},
          {40'001, fsinfo_sector()}},
         {fat32(2048, 10'047), fat32(40'000, 47'999)}},
        {"invalid_fat32_parameter_blocks_are_not_found",
         4,
         {{1000, with_field(fat32_boot_sector(100, "mkfs.fat"), 17, 512, 2)},   // root entries
          {1001, fsinfo_sector()},
          {2000, with_field(fat32_boot_sector(100, "mkfs.fat"), 16, 3, 1)},     // three FATs
          {2001, fsinfo_sector()},
          {3000, with_field(fat32_boot_sector(100, "mkfs.fat"), 13, 3, 1)},     // cluster of 3
          {3001, fsinfo_sector()},
          {4000, with_field(fat32_boot_sector(100, "mkfs.fat"), 14, 0, 2)},     // no reserved
          {4001, fsinfo_sector()},
          {5000, with_field(fat32_boot_sector(100, "mkfs.fat"), 36, 0, 4)},     // no FAT size
          {5001, fsinfo_sector()},
          {6000, with_field(fat32_boot_sector(100, "mkfs.fat"), 11, 4096, 2)},  // 4K sectors
          {6001, fsinfo_sector()},
          {7000, ntfs_boot_sector(100, 4096)}},
         {}},
        {"crafted_sizes_are_no_match_and_the_search_goes_on",
         4,
         {{100, fat32_boot_sector(0)},                       // size 0
          {101, signature_sector()},
          {300, ntfs_boot_sector(~uint64_t{0})},             // wraps to 0
          {500, ntfs_boot_sector(~uint64_t{0} - 1000)},      // end wraps around 64 bits
          {700, ntfs_boot_sector(4 * cylinder_sectors)},     // ends past the drive
          {900, fat32_boot_sector(0xFFFFFFFF)},              // ends past the drive
          {901, signature_sector()},
          {1000, ntfs_boot_sector(49)}},
         {ntfs(1000, 1049)}},
        {"partition_beyond_4_gib_keeps_its_true_sectors",
         700,
         {{63, ntfs_boot_sector(9'999'936)}, {10'000'000, fat32_boot_sector(500'000)}, {10'000'001, fsinfo_sector()}},
         {ntfs(63, 9'999'999), fat32(10'000'000, 10'499'999)}},
    };
}

class partition_search_layout : public disk_test, public ::testing::WithParamInterface<layout_case_s> {};

std::vector<partition_item_s> as_vector(const QList<partition_item_s>& list) {
    return {list.begin(), list.end()};
}

class partition_search : public disk_test {};

}  // namespace

TEST_P(partition_search_layout, finds_the_partitions_at_their_sectors) {
    const layout_case_s& layout = GetParam();
    test_support::scratch_dir dir;
    std::string image = dir.file("disk.img");
    make_disk(image, layout.cylinders);
    for (const auto& placed : layout.sectors) write_sector(image, placed.sector, placed.bytes);

    partition_repair_c search;
    int found_signals = 0;
    QObject::connect(&search, &partition_repair_c::partition_found, [&] { ++found_signals; });
    ASSERT_TRUE(search.search_now(drive_for(image)));

    EXPECT_EQ(as_vector(search.partitions()), layout.expected) << describe(as_vector(search.partitions()));
    EXPECT_EQ(found_signals, static_cast<int>(layout.expected.size()));
    EXPECT_EQ(search.progress(), 1.0);
    EXPECT_EQ(search.unreadable_blocks(), 0u);
    EXPECT_TRUE(search.last_outcome().opened);
}

INSTANTIATE_TEST_SUITE_P(crafted, partition_search_layout, ::testing::ValuesIn(layout_cases()),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(partition_search, unreadable_block_is_skipped_counted_and_the_search_goes_on) {
    test_support::scratch_dir dir;
    std::string image = dir.file("damaged.img");
    make_disk(image, 4);
    write_sector(image, 63, ntfs_boot_sector(1000));
    write_sector(image, 20'000, ntfs_boot_sector(500));
    // After the jump to 1064 the blocks start at 1064 + 255k: sector 5000 lies in one of them.
    platform::test::add_bad_range(image, 5000 * 512, 512);

    partition_repair_c search;
    ASSERT_TRUE(search.search_now(drive_for(image)));
    EXPECT_EQ(as_vector(search.partitions()), (std::vector{ntfs(63, 1063), ntfs(20'000, 20'500)}));
    EXPECT_EQ(search.unreadable_blocks(), 1u);
    EXPECT_EQ(search.progress(), 1.0);
}

TEST_F(partition_search, drives_that_cannot_be_searched) {
    test_support::scratch_dir dir;
    struct failure_case_s {
        const char* name;
        std::function<void(const std::string&)> spoil;
        bool after_listing;  // spoiled once the drive record exists
        bool opened;
        double progress;
    };
    const std::vector<failure_case_s> cases = {
        {"image gone", [](const std::string& image) { std::remove(image.c_str()); }, true, false, 0.0},
        {"4096-byte sectors", [](const std::string& image) { platform::test::set_sector_size(image, 4096); },
         true, false, 0.0},
        {"medium removed", [](const std::string& image) { platform::test::set_medium_present(image, false); },
         true, true, 0.0},
        {"smaller than a cylinder",
         [](const std::string& image) { ASSERT_EQ(::truncate(image.c_str(), (cylinder_sectors - 1) * 512), 0); },
         false, true, 1.0},
    };
    for (const auto& failure : cases) {
        SCOPED_TRACE(failure.name);
        std::string image = dir.file("disk.img");
        make_disk(image, 4);
        write_sector(image, 63, ntfs_boot_sector(1000));
        if (!failure.after_listing) failure.spoil(image);
        drive_item_s drive = drive_for(image);
        if (failure.after_listing) failure.spoil(image);

        partition_repair_c search;
        ASSERT_TRUE(search.search_now(drive));
        EXPECT_TRUE(search.partitions().isEmpty());
        EXPECT_EQ(search.last_outcome().opened, failure.opened);
        EXPECT_EQ(search.progress(), failure.progress);
        platform::test::reset_disk_settings();
    }
}

// Real volumes: FAT32 made by mkfs.fat (OEM "mkfs.fat") and NTFS made by Windows, copied to
// chosen sectors of a blank disk.
TEST_F(partition_search, finds_real_fat32_and_ntfs_volumes) {
    TARNWELL_TESTDATA_OR_SKIP(ntfs_disk, "ntfs_index.raw.gz");
    if (!test_support::have_tool("mkfs.fat")) GTEST_SKIP() << "mkfs.fat absent";
    test_support::scratch_dir dir;
    std::string image = dir.file("disk.img");
    make_disk(image, 700);

    std::string fat = dir.file("fat32.img");
    ASSERT_TRUE(test_support::make_sparse_file(fat, 100 * 1024 * 1024));
    ASSERT_EQ(test_support::run_command("mkfs.fat -F 32 -n LOST '" + fat + "' >/dev/null"), 0);
    copy_into(image, 2048, fat);
    copy_into(image, 9'000'000, fat);  // beyond 4 GiB
    // The NTFS partition of the Windows disk starts at its sector 128.
    std::string ntfs_volume = dir.file("ntfs.img");
    ASSERT_EQ(test_support::run_command("dd if='" + ntfs_disk + "' of='" + ntfs_volume +
                                        "' bs=512 skip=128 status=none"), 0);
    const uint64_t ntfs_total = platform::byte_reader(read_sector(ntfs_volume, 0)).u64(40);
    ASSERT_GT(ntfs_total, 0u);
    copy_into(image, 400'000, ntfs_volume);

    partition_repair_c search;
    ASSERT_TRUE(search.search_now(drive_for(image)));
    const uint64_t fat_sectors = 100 * 2048;
    EXPECT_EQ(as_vector(search.partitions()),
              (std::vector{fat32(2048, 2048 + fat_sectors - 1), ntfs(400'000, 400'000 + ntfs_total),
                           fat32(9'000'000, 9'000'000 + fat_sectors - 1)}));
}

TEST_F(partition_search, thread_start_restart_and_stop) {
    test_support::scratch_dir dir;
    std::string two = dir.file("two.img");
    make_disk(two, 8);
    write_sector(two, 63, ntfs_boot_sector(1000));
    write_sector(two, 50'000, ntfs_boot_sector(1000));
    std::string none = dir.file("none.img");
    make_disk(none, 8);
    platform::test::set_disk_list(std::vector<std::string>{two, none});
    enumerate_drives();
    const drive_item_s drive_two = drive_list().value(1), drive_none = drive_list().value(2);

    partition_repair_c search;
    auto run_to_end = [&](const drive_item_s& drive) {
        EXPECT_TRUE(search.start_search(drive));
        EXPECT_TRUE(search.wait(QDeadlineTimer(30'000)));
        EXPECT_FALSE(search.is_searching());
    };
    run_to_end(drive_two);
    EXPECT_EQ(search.partitions().size(), 2);
    run_to_end(drive_two);  // a restart starts from scratch
    EXPECT_EQ(search.partitions().size(), 2);
    run_to_end(drive_none);
    EXPECT_TRUE(search.partitions().isEmpty());
    EXPECT_EQ(search.progress(), 1.0);

    // A stop from the first find keeps that entry, and the list stays whole.
    auto stop_on_find =
        QObject::connect(&search, &partition_repair_c::partition_found, [&] { search.request_stop(); });
    run_to_end(drive_two);
    QObject::disconnect(stop_on_find);
    EXPECT_EQ(as_vector(search.partitions()), (std::vector{ntfs(63, 1063)}));
    EXPECT_TRUE(search.last_outcome().stopped);
    EXPECT_LT(search.progress(), 1.0);
}

TEST_F(partition_search, running_search_keeps_its_drive_when_another_start_arrives) {
    test_support::scratch_dir dir;
    std::string first = dir.file("first.img"), second = dir.file("second.img");
    make_disk(first, 8);
    make_disk(second, 8);
    write_sector(first, 63, ntfs_boot_sector(1000));
    write_sector(first, 50'000, ntfs_boot_sector(1000));
    platform::test::set_disk_list(std::vector<std::string>{first, second});
    enumerate_drives();
    const drive_item_s drive_first = drive_list().value(1), drive_second = drive_list().value(2);

    partition_repair_c search;
    std::vector<bool> refused;
    QObject::connect(&search, &partition_repair_c::partition_found, [&] {
        refused.push_back(!search.start_search(drive_second));
        refused.push_back(!search.set_drive(drive_second));
        refused.push_back(!search.search_now(drive_second));
    });
    ASSERT_TRUE(search.start_search(drive_first));
    ASSERT_TRUE(search.wait(QDeadlineTimer(30'000)));
    EXPECT_EQ(refused, std::vector<bool>(6, true));
    EXPECT_EQ(search.drive().drive_path, drive_first.drive_path);
    EXPECT_EQ(search.partitions().size(), 2);
}
