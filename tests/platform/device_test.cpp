// Raw devices over the disk list: drive paths, volume windows, and the test seams that stand
// for damaged disks and vanished media.
#include <gtest/gtest.h>

#include <cstdlib>

#include "platform/byte_reader.h"
#include "platform/device.h"
#include "platform/disks.h"
#include "platform/test_seam.h"
#include "platform/volumes.h"
#include "tests/support/test_support.h"

namespace {

// A 4 MiB disk with one MBR partition of type 0x0C at sector 2048, 2048 sectors long.
std::shared_ptr<std::vector<uint8_t>> mbr_disk() {
    auto data = std::make_shared<std::vector<uint8_t>>(4 << 20, 0);
    auto& d = *data;
    uint8_t* entry = d.data() + 446;
    entry[4] = 0x0C;
    platform::put_le(entry + 8, 2048, 4);
    platform::put_le(entry + 12, 2048, 4);
    platform::put_le(d.data() + 440, 0x12345678, 4);
    d[510] = 0x55;
    d[511] = 0xAA;
    for (size_t i = 0; i < 2048 * 512; ++i) d[2048 * 512 + i] = static_cast<uint8_t>(i / 512);
    return data;
}

class platform_device : public ::testing::Test {
protected:
    void SetUp() override {
        platform::test::add_memory_disk("mbr", mbr_disk());
        platform::test::set_disk_list(std::vector<std::string>{"mem:mbr"});
        platform::find_volumes();
    }
    void TearDown() override {
        platform::test::set_disk_list(std::nullopt);
        platform::test::remove_memory_disks();
        platform::test::reset_disk_settings();
    }
};

}  // namespace

TEST_F(platform_device, volume_reads_are_relative_to_the_partition_and_stop_at_its_end) {
    auto volumes = platform::volume_snapshot();
    ASSERT_EQ(volumes.size(), 1u);
    EXPECT_EQ(volumes[0].partition_number, 1u);
    EXPECT_EQ(volumes[0].start_offset, 2048u * 512);
    EXPECT_EQ(volumes[0].device_name, "mem:mbr#1");

    auto volume = platform::device_open(volumes[0].volume_name, platform::access_read);
    ASSERT_TRUE(volume);
    uint8_t sector[512];
    ASSERT_EQ(platform::device_read(volume, sector, 512, 5 * 512), 512);
    EXPECT_EQ(sector[0], 5);
    EXPECT_EQ(platform::device_read(volume, sector, 512, 2047 * 512 + 256), 256);  // short at the end
    EXPECT_EQ(platform::device_read(volume, sector, 512, 2048 * 512), 0);

    uint32_t partition = 9, disk = 9;
    uint64_t start = 0;
    ASSERT_TRUE(platform::device_get_partition_info(volume, partition, start));
    ASSERT_TRUE(platform::device_get_disk_extents(volume, disk));
    EXPECT_EQ(partition, 1u);
    EXPECT_EQ(start, 2048u * 512);
    EXPECT_EQ(disk, 0u);

    // The same volume by its name without the trailing backslash, and by its device name.
    std::string bare = volumes[0].volume_name.substr(0, volumes[0].volume_name.size() - 1);
    EXPECT_TRUE(platform::device_open(bare, platform::access_read));
    EXPECT_TRUE(platform::device_open("mem:mbr#1", platform::access_read));
}

TEST_F(platform_device, damaged_disks_and_vanished_media_fail_reads) {
    auto drive = platform::device_open(platform::physical_drive_path(0), platform::access_read);
    ASSERT_TRUE(drive);
    uint8_t buffer[1024];
    platform::test::add_bad_range("mem:mbr", 4096, 512);
    EXPECT_EQ(platform::device_read(drive, buffer, 512, 3584), 512);
    EXPECT_EQ(platform::device_read(drive, buffer, 1024, 3584), -1);  // touches the bad sector

    EXPECT_TRUE(platform::device_check_verify(drive));
    platform::test::set_medium_present("mem:mbr", false);
    EXPECT_FALSE(platform::device_check_verify(drive));
    EXPECT_EQ(platform::device_read(drive, buffer, 512, 0), -1);
}

TEST_F(platform_device, geometry_counts_whole_cylinders_and_reports_the_sector_size) {
    auto drive = platform::device_open(platform::physical_drive_path(0), platform::access_query);
    platform::disk_geometry_s geometry;
    ASSERT_TRUE(platform::device_get_geometry(drive, geometry));
    EXPECT_EQ(geometry.cylinders, 0);  // 4 MiB is less than one cylinder
    EXPECT_EQ(geometry.bytes_per_sector, 512u);
    platform::test::set_sector_size("mem:mbr", 4096);
    ASSERT_TRUE(platform::device_get_geometry(drive, geometry));
    EXPECT_EQ(geometry.bytes_per_sector, 4096u);
}

TEST_F(platform_device, writes_need_write_access) {
    uint8_t sector[512] = {1};
    auto reader = platform::device_open(platform::physical_drive_path(0), platform::access_read);
    EXPECT_EQ(platform::device_write(reader, sector, 512, 0), -1);
    auto writer = platform::device_open(platform::physical_drive_path(0), platform::access_read | platform::access_write);
    EXPECT_EQ(platform::device_write(writer, sector, 512, 512), 512);
    EXPECT_TRUE(platform::device_flush(writer));
}

TEST(platform_disks, drive_paths_and_the_disk_variable) {
    struct {
        const char* path;
        int number;
    } cases[] = {{"\\\\.\\PhysicalDrive0", 0}, {"\\\\.\\PhysicalDrive9", 9}, {"\\\\.\\PhysicalDrive12", 12},
                 {"\\\\.\\PhysicalDrive", -1}, {"\\\\.\\PhysicalDriveX", -1}, {"/dev/sda", -1}};
    for (const auto& c : cases) EXPECT_EQ(platform::physical_drive_number(c.path), c.number) << c.path;

    ::setenv("TARNWELL_DISKS", "/tmp/a.img::relative.img", 1);
    auto disks = platform::disk_list();
    ::unsetenv("TARNWELL_DISKS");
    ASSERT_EQ(disks.size(), 2u);
    EXPECT_EQ(disks[0], "/tmp/a.img");
    EXPECT_EQ(disks[1].front(), '/');  // made absolute
}

TEST(platform_volumes, a_path_under_a_mount_point_lies_on_the_volume) {
    test_support::scratch_dir dir;
    platform::volume_info_s volume;
    volume.device_name = "/nonexistent/disk#1";
    volume.mount_paths = {dir.path() + "/"};
    EXPECT_TRUE(platform::path_is_on_volume(dir.file("not/yet/made"), volume));
    EXPECT_TRUE(platform::path_is_on_volume(dir.path(), volume));
    EXPECT_FALSE(platform::path_is_on_volume("/proc", volume));
}
