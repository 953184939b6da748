// The partition table rewrite is the only write the program makes to a disk, and it touches
// only the boot code and the table of sector 0: the disk signature (bytes 440 to 445) and
// every other byte of the disk stay as they were.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "partition/partition_repair.h"
#include "platform/byte_reader.h"
#include "tests/partition/partition_test_disks.h"
#include "tests/support/test_support.h"

using namespace partition_test;

namespace {

class partition_rewrite_test : public disk_test {};

sector_bytes noise_sector(std::mt19937& random) {
    sector_bytes sector;
    for (uint8_t& byte : sector) byte = static_cast<uint8_t>(random());
    return sector;
}

TEST_F(partition_rewrite_test, only_boot_code_and_table_of_sector_zero_change) {
    test_support::scratch_dir dir;
    const std::string image = dir.file("disk.img");
    make_disk(image, 6);
    std::mt19937 random(440);
    // Noise wherever the rewrite has no business, so that any stray write shows.
    for (uint64_t sector : {0, 1, 2, 62, 64, 70, 20'000, 40'000, 6 * 16'065 - 1})
        write_sector(image, sector, noise_sector(random));
    write_sector(image, 63, ntfs_boot_sector(16'000));
    write_sector(image, 32'768, fat32_boot_sector(40'000));
    write_sector(image, 32'769, fsinfo_sector());
    const std::vector<uint8_t> before = test_support::read_file(image);

    partition_repair_c repair;
    ASSERT_TRUE(repair.search_now(drive_for(image)));
    ASSERT_EQ(repair.partitions().size(), 2);
    ASSERT_EQ(repair.write_partition_table(), 0) << table_write_message(repair.last_write_result()).toStdString();

    const std::vector<uint8_t> after = test_support::read_file(image);
    ASSERT_EQ(after.size(), before.size());
    std::vector<size_t> outside;
    size_t changed = 0;
    for (size_t i = 0; i < after.size(); ++i) {
        if (after[i] == before[i]) continue;
        ++changed;
        bool allowed = i < 440 || (i >= 446 && i < 512);
        if (!allowed && outside.size() < 10) outside.push_back(i);
    }
    EXPECT_TRUE(outside.empty()) << "first changed byte outside the boot code and table: " << outside.front();
    EXPECT_GT(changed, 0u);
    EXPECT_EQ(platform::byte_reader(after.data(), 512).u16(510), 0xAA55);
}

}  // namespace
