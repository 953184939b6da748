// The drive table: which drives it opens, transfer limits, queries, the media poll and
// locate_volume, over in-memory disks and image files.
#include <gtest/gtest.h>

#include <cstring>

#include "disk/sector_device.h"
#include "platform/test_seam.h"
#include "platform/volumes.h"
#include "tests/disk/disk_test_support.h"
#include "tests/support/test_support.h"

using disk_test::attached_drives;
using disk_test::memory_disk;

namespace {

constexpr uint64_t cylinder_bytes = 255ULL * 63 * 512;

std::string small_disk(const std::string& name, uint32_t seed = 1) {
    return memory_disk(name, disk_test::pattern(1 << 20, seed));
}

TEST(SectorDevice, TableEndsAtTheFirstDriveThatCannotBeOpened) {
    attached_drives drives({small_disk("d0"), small_disk("d1"), "/nonexistent/tarnwell-disk", small_disk("d3")});
    EXPECT_EQ(drives.drive_count(), 2);
    EXPECT_EQ(sector_device_test::drive_count(), 2u);
    uint8_t sector[512];
    EXPECT_EQ(drive_read_sectors(1, sector, 0, 1), sector_ok);
    for (unsigned drive : {2u, 3u, 10u, 200u}) {
        SCOPED_TRACE(drive);
        EXPECT_EQ(drive_state(drive), drive_status_not_ready);
        EXPECT_EQ(drive_prepare(drive), drive_status_not_ready);
        EXPECT_EQ(drive_read_sectors(drive, sector, 0, 1), sector_not_ready);
    }
}

TEST(SectorDevice, ConsoleLinesAndNotReadyForOtherSectorSizes) {
    std::string two_cylinders = memory_disk("big", std::vector<uint8_t>(2 * cylinder_bytes));
    std::string large_sectors = small_disk("4k");
    platform::test::set_sector_size(large_sectors, 4096);
    std::string console;
    attached_drives drives({two_cylinders, large_sectors}, [&](const std::string& text) { console += text; });
    ASSERT_EQ(drives.drive_count(), 2);
    EXPECT_EQ(console,
              "Disk# 0 <== \\\\.\\PhysicalDrive0 (15MB, 512 bytes * 32130 sectors)\n"
              "Disk# 1 <== \\\\.\\PhysicalDrive1 (Not Ready)\n");

    EXPECT_EQ(drive_state(0), 0);
    EXPECT_EQ(drive_state(1), drive_status_not_ready);
    EXPECT_EQ(drive_prepare(1), drive_status_not_ready);
    uint8_t sector[512];
    EXPECT_EQ(drive_read_sectors(1, sector, 0, 1), sector_not_ready);
    uint16_t size = 0;
    EXPECT_EQ(drive_query(1, 2, &size), sector_not_ready);
}

TEST(SectorDevice, ReadsAtMost64KiBThroughTheTransferBuffer) {
    std::vector<uint8_t> content = disk_test::pattern(1 << 20, 7);
    attached_drives drives({memory_disk("d0", content)});
    ASSERT_EQ(drives.drive_count(), 1);

    std::vector<uint8_t> buffer(129 * 512, 0xAB);
    ASSERT_EQ(drive_read_sectors(0, buffer.data(), 3, 128), sector_ok);
    EXPECT_EQ(0, std::memcmp(buffer.data(), content.data() + 3 * 512, 128 * 512));
    EXPECT_EQ(buffer[128 * 512], 0xAB) << "wrote past the sectors asked for";

    std::vector<uint8_t> untouched(129 * 512, 0xCD);
    buffer = untouched;
    EXPECT_EQ(drive_read_sectors(0, buffer.data(), 0, 129), sector_parameter_error);
    EXPECT_EQ(buffer, untouched);

    // Past the end of the disk, and a damaged range: errors, the destination left alone.
    EXPECT_EQ(drive_read_sectors(0, buffer.data(), 2047, 2), sector_error);
    platform::test::add_bad_range("mem:d0", 100 * 512 + 7, 1);
    EXPECT_EQ(drive_read_sectors(0, buffer.data(), 99, 2), sector_error);
    EXPECT_EQ(buffer, untouched);
    EXPECT_EQ(drive_read_sectors(0, buffer.data(), 99, 1), sector_ok);
}

TEST(SectorDevice, WritesNeverReachTheDisk) {
    std::vector<uint8_t> content = disk_test::pattern(1 << 20, 3);
    attached_drives drives({memory_disk("d0", content)});
    std::vector<uint8_t> source(512, 0x11);
    uint8_t result = drive_write_sectors(0, source.data(), 0, 1);
    // Either refused as write-protected or by the read-only handle: never a success.
    EXPECT_TRUE(result == sector_write_protected || result == sector_error) << int(result);
    std::vector<uint8_t> sector(512);
    ASSERT_EQ(drive_read_sectors(0, sector.data(), 0, 1), sector_ok);
    EXPECT_EQ(0, std::memcmp(sector.data(), content.data(), 512));
}

TEST(SectorDevice, Queries) {
    attached_drives drives({memory_disk("d0", std::vector<uint8_t>(3 * cylinder_bytes + 512))});
    struct query_case {
        unsigned command;
        uint8_t result;
        uint32_t value;
    };
    for (const query_case& c : {query_case{0, sector_ok, 0}, query_case{1, sector_ok, 3 * 255 * 63},
                                query_case{2, sector_ok, 512}, query_case{3, sector_ok, 128},
                                query_case{7, sector_parameter_error, 0}}) {
        SCOPED_TRACE(c.command);
        uint32_t value = 0;
        EXPECT_EQ(drive_query(0, c.command, &value), c.result);
        EXPECT_EQ(value, c.value);
    }
    uint32_t value = 0;
    EXPECT_EQ(drive_query(1, 1, &value), sector_not_ready);
}

TEST(SectorDevice, PollMarksVanishedMediaButNeverDriveZero) {
    attached_drives drives({small_disk("d0"), small_disk("d1"), small_disk("d2")});
    ASSERT_EQ(drives.drive_count(), 3);
    uint8_t sector[512];

    platform::test::set_medium_present("mem:d0", false);
    platform::test::set_medium_present("mem:d2", false);
    ASSERT_TRUE(disk_test::wait_until([] { return drive_state(2) & drive_status_not_ready; }));
    EXPECT_EQ(drive_read_sectors(2, sector, 0, 1), sector_not_ready);
    // Drive 1 is checked after drive 2's mark only in a later round, which would have come to
    // drive 0 first if drive 0 were polled.
    platform::test::set_medium_present("mem:d1", false);
    ASSERT_TRUE(disk_test::wait_until([] { return drive_state(1) & drive_status_not_ready; }));
    EXPECT_EQ(drive_state(0), 0);

    // The mark stays until a geometry query finds the medium again.
    EXPECT_EQ(drive_prepare(2), drive_status_not_ready);
    platform::test::set_medium_present("mem:d2", true);
    EXPECT_EQ(drive_state(2), drive_status_not_ready);
    EXPECT_EQ(drive_prepare(2), 0);
    EXPECT_EQ(drive_read_sectors(2, sector, 0, 1), sector_ok);
}

TEST(SectorDevice, RescanFollowsTheDiskList) {
    attached_drives drives({small_disk("d0"), small_disk("d1")});
    ASSERT_EQ(drives.drive_count(), 2);
    platform::test::set_disk_list(std::vector<std::string>{"mem:d1"});
    EXPECT_EQ(drive_table_rescan(), 1);
    uint8_t sector[512];
    EXPECT_EQ(drive_read_sectors(1, sector, 0, 1), sector_not_ready);
    std::vector<uint8_t> expected = disk_test::pattern(1 << 20, 1);
    ASSERT_EQ(drive_read_sectors(0, sector, 0, 1), sector_ok);
    EXPECT_EQ(0, std::memcmp(sector, expected.data(), 512));
}

// An MBR image with two partitions, made with sfdisk.
class LocateVolume : public ::testing::Test {
protected:
    void SetUp() override {
        if (!test_support::have_tool("sfdisk")) GTEST_SKIP() << "sfdisk missing";
    }
    test_support::scratch_dir scratch;
};

TEST_F(LocateVolume, GivesDiskPartitionAndStartSector) {
    std::string image = scratch.file("disk.img");
    ASSERT_TRUE(test_support::make_sparse_file(image, 64 << 20));
    ASSERT_EQ(test_support::run_command("printf 'label: dos\\nstart=2048, size=20480, type=6\\nstart=40960, type=c\\n' | "
                                        "sfdisk -q '" + image + "'"), 0);
    attached_drives drives({small_disk("d0"), image});
    std::vector<std::string> names = platform::find_volumes();
    ASSERT_EQ(names.size(), 3u);  // the unpartitioned memory disk, then the two partitions

    struct expected_location {
        std::string name;
        volume_location_s location;
    };
    for (const expected_location& e : {expected_location{names[1], {1, 1, 2048}}, expected_location{names[2], {1, 2, 40960}},
                                       expected_location{image + "#2", {1, 2, 40960}}}) {
        SCOPED_TRACE(e.name);
        for (const std::string& path : {e.name, e.name.ends_with("\\") ? e.name.substr(0, e.name.size() - 1) : e.name + "/"}) {
            volume_location_s location{99, 99, 99};
            ASSERT_EQ(locate_volume(path, location), 0) << path;
            EXPECT_EQ(location.disk_number, e.location.disk_number);
            EXPECT_EQ(location.partition_number, e.location.partition_number);
            EXPECT_EQ(location.start_sector, e.location.start_sector);
        }
    }
    volume_location_s location;
    EXPECT_EQ(locate_volume("\\\\?\\Volume{00000000-0000-0000-0000-000000000000}\\", location), -1);
}

TEST_F(LocateVolume, RefusesAStartBeyond32BitSectors) {
    std::string image = scratch.file("huge.img");
    // A sparse disk a little over 2 TiB with a partition starting past sector 2^32.
    if (!test_support::make_sparse_file(image, (uint64_t{1} << 41) + (256ULL << 20)))
        GTEST_SKIP() << "no room for a sparse 2 TiB file here";
    ASSERT_EQ(test_support::run_command("printf 'label: gpt\\nstart=2048, size=2048\\nstart=4294969344, size=65536\\n' | "
                                        "sfdisk -q '" + image + "'"), 0);
    attached_drives drives({image});
    std::vector<std::string> names = platform::find_volumes();
    ASSERT_EQ(names.size(), 2u);
    volume_location_s location{7, 7, 7};
    EXPECT_EQ(locate_volume(names[0], location), 0);
    EXPECT_EQ(location.start_sector, 2048u);
    location = {7, 7, 7};
    EXPECT_EQ(locate_volume(names[1], location), -1);
}

}  // namespace
