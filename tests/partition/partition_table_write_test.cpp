// The partition table rewrite on disk images: what it writes, what tools then see, and every
// refusal leaving the disk untouched.
#include <gtest/gtest.h>

#include <QDeadlineTimer>

#include <unistd.h>

#include <functional>

#include "partition/boot_code.h"
#include "partition/gpt_header.h"
#include "partition/partition_repair.h"
#include "platform/byte_reader.h"
#include "platform/test_seam.h"
#include "tests/partition/partition_test_disks.h"
#include "tests/support/test_support.h"

using namespace partition_test;

namespace {

constexpr uint64_t two_to_32 = uint64_t{1} << 32;

std::string first_sectors_hash(const std::string& image) {
    std::vector<uint8_t> bytes;
    for (uint64_t s = 0; s < 2; ++s) {
        auto sector = read_sector(image, s);
        bytes.insert(bytes.end(), sector.begin(), sector.end());
    }
    return test_support::sha256_bytes(bytes);
}

sector_bytes gpt_header_sector() {
    sector_bytes sector{};
    std::copy_n("EFI PART", 8, sector.begin());
    platform::put_le(sector.data() + 8, 0x00010000, 4);
    platform::put_le(sector.data() + 12, 92, 4);
    platform::put_le(sector.data() + 24, 1, 8);
    platform::put_le(sector.data() + 16, crc32_ieee(platform::byte_reader(sector.data(), 92)), 4);
    return sector;
}

std::string tool_output(const std::string& command) {
    std::string output;
    EXPECT_EQ(test_support::run_command(command, &output), 0) << command << "\n" << output;
    return output;
}

class partition_write : public disk_test {};

}  // namespace

// A disk whose table was damaged (slots 1 to 3 wiped; its disk signature and an ext4 entry in
// slot 4 survive) gets its FAT32 and NTFS partitions back; sfdisk and blkid see them.
TEST_F(partition_write, rewrite_brings_back_partitions_that_tools_see) {
    TARNWELL_TESTDATA_OR_SKIP(ntfs_disk, "ntfs_index.raw.gz");
    for (const char* tool : {"mkfs.fat", "sfdisk", "blkid"})
        if (!test_support::have_tool(tool)) GTEST_SKIP() << tool << " absent";
    test_support::scratch_dir dir;
    std::string image = dir.file("disk.img");
    make_disk(image, 20);
    std::string fat = dir.file("fat32.img");
    ASSERT_TRUE(test_support::make_sparse_file(fat, 64 * 1024 * 1024));
    ASSERT_EQ(test_support::run_command("mkfs.fat -F 32 -n FOUNDFAT '" + fat + "' >/dev/null"), 0);
    copy_into(image, 2048, fat);
    std::string ntfs_volume = dir.file("ntfs.img");
    ASSERT_EQ(test_support::run_command("dd if='" + ntfs_disk + "' of='" + ntfs_volume + "' bs=512 skip=128 status=none"), 0);
    copy_into(image, 135'168, ntfs_volume);
    const uint64_t ntfs_count = platform::byte_reader(read_sector(ntfs_volume, 0)).u64(40) + 1;

    sector_bytes damaged{};
    const uint8_t signature[6] = {0xDE, 0xC0, 0xAD, 0x0B, 0x00, 0x00};
    std::copy(std::begin(signature), std::end(signature), damaged.begin() + 440);
    damaged[446 + 48 + 4] = 0x83;
    platform::put_le(damaged.data() + 446 + 48 + 8, 250'000, 4);
    platform::put_le(damaged.data() + 446 + 48 + 12, 50'000, 4);
    damaged[510] = 0x55, damaged[511] = 0xAA;
    write_sector(image, 0, damaged);

    partition_repair_c repair;
    ASSERT_TRUE(repair.search_now(drive_for(image)));
    ASSERT_EQ(repair.partitions().size(), 2);
    ASSERT_EQ(repair.write_partition_table(), 0) << table_write_message(repair.last_write_result()).toStdString();

    const sector_bytes written = read_sector(image, 0);
    EXPECT_TRUE(std::equal(boot_code().begin(), boot_code().end(), written.begin()));
    EXPECT_TRUE(std::equal(damaged.begin() + 440, damaged.begin() + 446, written.begin() + 440));

    const std::string dump = tool_output("sfdisk --dump '" + image + "'");
    EXPECT_NE(dump.find("label-id: 0x0badc0de"), std::string::npos) << dump;
    EXPECT_NE(dump.find("start=        2048, size=      131072, type=c, bootable"), std::string::npos) << dump;
    EXPECT_NE(dump.find("start=      135168, size=" + std::string(12 - std::to_string(ntfs_count).size(), ' ') +
                        std::to_string(ntfs_count) + ", type=7\n"),
              std::string::npos)
        << dump;
    EXPECT_NE(dump.find("start=      250000, size=       50000, type=83"), std::string::npos) << dump;

    EXPECT_NE(tool_output("blkid -p -O " + std::to_string(2048 * 512) + " '" + image + "'").find("TYPE=\"vfat\""),
              std::string::npos);
    EXPECT_NE(tool_output("blkid -p -O " + std::to_string(135'168 * 512) + " '" + image + "'").find("TYPE=\"ntfs\""),
              std::string::npos);
}

TEST_F(partition_write, refusals_write_nothing) {
    struct refusal_case_s {
        const char* name;
        uint64_t cylinders;
        std::function<void(const std::string& image)> prepare;
        std::function<void(const std::string& image, const std::string& other)> after_search;
        table_write_e expected;
    };
    auto nothing = [](const std::string&, const std::string&) {};
    const std::vector<refusal_case_s> cases = {
        {"nothing found", 4, [](const std::string&) {}, nothing, table_write_e::nothing_to_write},
        {"disk formatted whole", 4,
         [](const std::string& image) { write_sector(image, 0, ntfs_boot_sector(1000)); }, nothing,
         table_write_e::starts_at_sector_zero},
        {"valid GPT header in sector 1", 4,
         [](const std::string& image) {
             write_sector(image, 1, gpt_header_sector());
             write_sector(image, 2048, ntfs_boot_sector(1000));
         },
         nothing, table_write_e::gpt_disk},
        {"partition starting beyond 2^32 sectors", two_to_32 / cylinder_sectors + 2,
         [](const std::string& image) {
             write_sector(image, 2048, ntfs_boot_sector(two_to_32 - 2049));  // ends at sector 2^32 - 1
             write_sector(image, two_to_32 + 100, fat32_boot_sector(1000));
             write_sector(image, two_to_32 + 101, signature_sector());
         },
         nothing, table_write_e::beyond_32_bits},
        {"partition of 2^32 sectors or more", two_to_32 / cylinder_sectors + 2,
         [](const std::string& image) { write_sector(image, 2048, ntfs_boot_sector(two_to_32)); }, nothing,
         table_write_e::beyond_32_bits},
        {"another disk behind the drive number now", 4,
         [](const std::string& image) { write_sector(image, 2048, ntfs_boot_sector(1000)); },
         [](const std::string&, const std::string& other) {
             platform::test::set_disk_list(std::vector<std::string>{other});
         },
         table_write_e::drive_changed},
        {"the image grew", 4, [](const std::string& image) { write_sector(image, 2048, ntfs_boot_sector(1000)); },
         [](const std::string& image, const std::string&) {
             ASSERT_EQ(::truncate(image.c_str(), 5 * cylinder_sectors * 512), 0);
         },
         table_write_e::drive_changed},
        {"the drive reports 4096-byte sectors now", 4,
         [](const std::string& image) { write_sector(image, 2048, ntfs_boot_sector(1000)); },
         [](const std::string& image, const std::string&) { platform::test::set_sector_size(image, 4096); },
         table_write_e::sector_size},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        test_support::scratch_dir dir;
        std::string image = dir.file("disk.img"), other = dir.file("other.img");
        make_disk(image, c.cylinders);
        make_disk(other, c.cylinders);
        c.prepare(image);
        const std::string before = first_sectors_hash(image), other_before = first_sectors_hash(other);

        partition_repair_c repair;
        ASSERT_TRUE(repair.search_now(drive_for(image)));
        c.after_search(image, other);
        EXPECT_EQ(repair.write_partition_table(), -1);
        EXPECT_EQ(repair.last_write_result().code, c.expected)
            << table_write_message(repair.last_write_result()).toStdString();
        EXPECT_FALSE(table_write_message(repair.last_write_result()).isEmpty());
        EXPECT_EQ(first_sectors_hash(image), before);
        EXPECT_EQ(first_sectors_hash(other), other_before);
        platform::test::reset_disk_settings();
    }
}

TEST_F(partition_write, rewrite_needs_a_finished_search_that_opened_the_drive) {
    test_support::scratch_dir dir;
    std::string image = dir.file("disk.img");
    make_disk(image, 8);
    write_sector(image, 63, ntfs_boot_sector(1000));
    write_sector(image, 50'000, ntfs_boot_sector(1000));
    const std::string before = first_sectors_hash(image);
    const drive_item_s drive = drive_for(image);

    partition_repair_c repair;
    EXPECT_EQ(repair.write_partition_table(), -1);
    EXPECT_EQ(repair.last_write_result().code, table_write_e::no_drive);

    std::vector<table_write_e> while_running;
    auto during = QObject::connect(&repair, &partition_repair_c::partition_found, [&] {
        repair.write_partition_table();
        while_running.push_back(repair.last_write_result().code);
    });
    ASSERT_TRUE(repair.start_search(drive));
    ASSERT_TRUE(repair.wait(QDeadlineTimer(30'000)));
    QObject::disconnect(during);
    EXPECT_EQ(while_running, std::vector<table_write_e>(2, table_write_e::search_running));

    platform::test::set_sector_size(image, 4096);
    ASSERT_TRUE(repair.search_now(drive));
    EXPECT_EQ(repair.write_partition_table(), -1);
    EXPECT_EQ(repair.last_write_result().code, table_write_e::not_searched);
    EXPECT_EQ(first_sectors_hash(image), before);
}

// The GPT disk made by Windows: its table is not lost, and the rewrite must not hide it.
TEST_F(partition_write, real_gpt_disk_is_refused) {
    TARNWELL_TESTDATA_OR_SKIP(gpt_disk, "vss_1_vol.tar.gz");
    test_support::scratch_dir dir;
    std::string image = dir.file("gpt.img");
    ASSERT_EQ(test_support::run_command("cp --sparse=always '" + gpt_disk + "' '" + image + "' && chmod u+w '" +
                                        image + "'"),
              0);
    const std::string before = first_sectors_hash(image);

    partition_repair_c repair;
    ASSERT_TRUE(repair.search_now(drive_for(image)));
    ASSERT_FALSE(repair.partitions().isEmpty());
    EXPECT_EQ(repair.partitions().front().start_sector, 67'584u);
    EXPECT_EQ(repair.write_partition_table(), -1);
    EXPECT_EQ(repair.last_write_result().code, table_write_e::gpt_disk);
    EXPECT_EQ(first_sectors_hash(image), before);
}
