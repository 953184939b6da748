// Volumes addressed by their GUID path: the scan and the reads stay inside the partition's
// byte range, and offsets count from its start.
#include <gtest/gtest.h>

#include <cstring>

#include "platform/test_seam.h"
#include "platform/volumes.h"
#include "tests/calloway/carve_harness.h"
#include "tests/calloway/samples.h"

namespace {

using carve_test::found_s;

constexpr uint64_t MiB = 1024 * 1024;
constexpr uint64_t partition_start = 1 * MiB;
constexpr uint64_t partition_size = 8 * MiB;

class partitioned_disk : public ::testing::Test {
protected:
    void SetUp() override {
        carve_test::volume_image image(16 * MiB, 21);
        auto mbr = master_boot_record();
        image.place(0, mbr);
        image.place(partition_start, samples::named("jpg").data);
        image.place(partition_start + 4 * MiB, samples::named("png").data);
        // Starts inside the partition but can only end outside it.
        image.place(partition_start + partition_size - 512, samples::named("wav").data);
        image.place(12 * MiB, samples::named("gif").data);  // after the partition
        disk_ = image.as_memory_disk("mbr");
        bytes_ = image.bytes();
        platform::test::set_disk_list(std::vector<std::string>{disk_});
        auto volumes = platform::find_volumes();
        ASSERT_EQ(volumes.size(), 1u);
        volume_ = volumes[0];
    }
    void TearDown() override {
        platform::test::remove_memory_disks();
        platform::test::reset_disk_settings();
        platform::test::set_disk_list(std::nullopt);
    }

    static samples::bytes master_boot_record() {
        samples::byte_writer sector;
        sector.fill(446).u8(0).u8(0).u8(2).u8(0).u8(0x83).u8(0xFE).u8(0xFF).u8(0xFF);
        sector.le32(partition_start / 512).le32(partition_size / 512).fill(48).u8(0x55).u8(0xAA);
        return sector.data;
    }

    std::string disk_;
    std::string volume_;
    samples::bytes bytes_;
};

TEST_F(partitioned_disk, scan_reports_volume_offsets_with_or_without_the_trailing_backslash) {
    ASSERT_EQ(volume_.back(), '\\');
    std::vector<found_s> expected = {{"jpg", 0, samples::named("jpg").data.size()},
                                     {"png", static_cast<int64_t>(4 * MiB), samples::named("png").data.size()}};
    EXPECT_EQ(carve_test::scan(volume_).files, expected);
    EXPECT_EQ(carve_test::scan(volume_.substr(0, volume_.size() - 1)).files, expected);
}

TEST_F(partitioned_disk, reads_stay_inside_the_volume) {
    carve_handle handle = carve_open(volume_.c_str());
    ASSERT_NE(handle, nullptr);
    std::vector<uint8_t> buffer(8192);
    ASSERT_EQ(carve_read(handle, buffer.data(), 8192), 8192);
    EXPECT_EQ(std::memcmp(buffer.data(), bytes_.data() + partition_start, 8192), 0);

    ASSERT_EQ(carve_seek(handle, -1000, 2), 0);  // from the end: the read stops at the volume's end
    ASSERT_EQ(carve_read(handle, buffer.data(), 8192), 1000);
    EXPECT_EQ(std::memcmp(buffer.data(), bytes_.data() + partition_start + partition_size - 1000, 1000), 0);
    EXPECT_EQ(carve_read(handle, buffer.data(), 8192), 0);

    EXPECT_EQ(carve_seek(handle, static_cast<int64_t>(partition_size), 0), 0);
    EXPECT_EQ(carve_seek(handle, static_cast<int64_t>(partition_size) + 1, 0), -1);
    EXPECT_EQ(carve_seek(handle, -1, 0), -1);
    EXPECT_EQ(carve_seek(handle, 0, 7), -1);

    platform::test::add_bad_range(disk_, partition_start + 2 * MiB, 512);
    ASSERT_EQ(carve_seek(handle, static_cast<int64_t>(2 * MiB), 0), 0);
    EXPECT_EQ(carve_read(handle, buffer.data(), 8192), -1);
    EXPECT_EQ(carve_close(handle), 0);
}

}  // namespace
