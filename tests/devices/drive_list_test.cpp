// The drive list over the disk list: heading record first, ends at the first drive that cannot
// be opened, sizes in whole cylinders.
#include <gtest/gtest.h>

#include "devices/drive_list.h"
#include "platform/test_seam.h"
#include "tests/support/test_support.h"

namespace {
struct drive_list_test : ::testing::Test {
    void TearDown() override {
        platform::test::set_disk_list(std::nullopt);
        platform::test::remove_memory_disks();
    }
};
}  // namespace

TEST_F(drive_list_test, a_missing_drive_ends_the_list) {
    for (const char* name : {"a", "b", "d"})
        platform::test::add_memory_disk(name, std::make_shared<std::vector<uint8_t>>(20 << 20, 0));
    platform::test::set_disk_list(std::vector<std::string>{"mem:a", "mem:b", "mem:c", "mem:d"});
    enumerate_drives();
    const auto& drives = drive_list();
    ASSERT_EQ(drives.size(), 3);
    EXPECT_TRUE(drives[0].drive_path.isEmpty());
    EXPECT_EQ(drives[0].geometry, nullptr);
    EXPECT_EQ(drives[1].drive_path, "\\\\.\\PhysicalDrive0");
    EXPECT_EQ(drives[2].drive_path, "\\\\.\\PhysicalDrive1");
    EXPECT_EQ(drives[1].size_bytes, 2u * 8225280u);  // two whole cylinders of 20 MiB
}

TEST_F(drive_list_test, heading_only_when_there_is_no_drive_and_never_more_than_ten) {
    platform::test::set_disk_list(std::vector<std::string>{});
    enumerate_drives();
    ASSERT_EQ(drive_list().size(), 1);
    EXPECT_EQ(drive_list()[0].geometry, nullptr);

    std::vector<std::string> eleven;
    for (int i = 0; i < 11; ++i) {
        platform::test::add_memory_disk("d" + std::to_string(i), std::make_shared<std::vector<uint8_t>>(4096, 0));
        eleven.push_back("mem:d" + std::to_string(i));
    }
    platform::test::set_disk_list(eleven);
    enumerate_drives();
    EXPECT_EQ(drive_list().size(), 11);  // heading + drives 0..9
}

TEST_F(drive_list_test, size_counts_whole_cylinders_of_a_large_sparse_disk) {
    test_support::scratch_dir dir;
    const std::string image = dir.file("big.img");
    ASSERT_TRUE(test_support::make_sparse_file(image, 1000204886016ULL));
    platform::test::set_disk_list(std::vector<std::string>{image});
    enumerate_drives();
    ASSERT_EQ(drive_list().size(), 2);
    EXPECT_EQ(drive_list()[1].geometry->cylinders, 121601);
    EXPECT_EQ(drive_list()[1].size_bytes, 1000202273280ULL);
}
