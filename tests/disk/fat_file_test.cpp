// Reading file data along the cluster chain and as consecutive clusters.
#include <gtest/gtest.h>

#include "platform/test_seam.h"
#include "tests/disk/disk_test_support.h"
#include "tests/fixtures/fat_image_builder.h"
#include "tests/support/test_support.h"

using namespace fat_fixture;
using disk_test::attached_drives;

namespace {

constexpr uint32_t cluster_bytes = 4096;

std::vector<uint8_t> cluster_content(uint32_t cluster) {
    return disk_test::pattern(cluster_bytes, cluster);
}

// A volume of 4,096-byte clusters, each of clusters 2..20 filled with its own pattern, as a
// sparse image file.
struct chain_volume {
    explicit chain_volume(uint32_t clusters) : image(geometry_for_clusters(clusters, 8)) {
        for (uint32_t c = 2; c <= 20; ++c) image.put_data(c, cluster_content(c));
    }
    uint8_t mount() {
        EXPECT_TRUE(image.write_sparse_file(scratch.file("volume.img")));
        drives = std::make_unique<attached_drives>(std::vector<std::string>{scratch.file("volume.img")});
        mounted = disk_test::mount(0);
        return mounted->open_result;
    }
    std::vector<uint8_t> expected(std::initializer_list<uint32_t> clusters, size_t size) const {
        std::vector<uint8_t> bytes;
        for (uint32_t c : clusters) {
            std::vector<uint8_t> part = cluster_content(c);
            bytes.insert(bytes.end(), part.begin(), part.end());
        }
        bytes.resize(size);
        return bytes;
    }
    test_support::scratch_dir scratch;
    fat_image image;
    std::unique_ptr<attached_drives> drives;
    std::unique_ptr<disk_test::mounted_volume> mounted;
};

TEST(FatFile, ChainedAndContiguousReads) {
    // Clusters 5 -> 9 -> 6 on each FAT type; the FAT32 entries carry high bits that are masked.
    for (uint32_t clusters : {1000u, 5000u, 70000u}) {
        SCOPED_TRACE(clusters);
        chain_volume volume(clusters);
        volume.image.set_fat(5, 0xF0000009);
        volume.image.set_fat(9, 6);
        volume.image.set_fat(6, 0x0FFFFFFF);
        ASSERT_EQ(volume.mount(), fat_ok);
        const std::vector<uint8_t> chained = volume.expected({5, 9, 6}, 10000);
        const std::vector<uint8_t> contiguous = volume.expected({5, 6, 7}, 10000);
        // Steps that are whole sectors, whole clusters, and that split sectors.
        for (uint32_t step : {10000u, 4096u, 1000u, 333u, 1u}) {
            SCOPED_TRACE(step);
            std::vector<uint8_t> data;
            EXPECT_EQ(disk_test::read_whole(volume.mounted->volume, 5, 10000, false, data, step), fat_ok);
            EXPECT_TRUE(data == chained);
            EXPECT_EQ(disk_test::read_whole(volume.mounted->volume, 5, 10000, true, data, step), fat_ok);
            EXPECT_TRUE(data == contiguous);
        }
    }
}

TEST(FatFile, Fat12EntriesAcrossASectorBoundary) {
    // The entry of cluster 341 starts at FAT byte 511: its two bytes lie in two sectors.
    chain_volume volume(1000);
    for (uint32_t c = 2; c <= 20; ++c) volume.image.set_fat(c, 0);
    volume.image.set_fat(340, 341);
    volume.image.set_fat(341, 342);
    volume.image.set_fat(342, 0xFFF);
    for (uint32_t c : {340u, 341u, 342u}) volume.image.put_data(c, cluster_content(c));
    ASSERT_EQ(volume.mount(), fat_ok);
    std::vector<uint8_t> data;
    EXPECT_EQ(disk_test::read_whole(volume.mounted->volume, 340, 3 * cluster_bytes, false, data), fat_ok);
    EXPECT_TRUE(data == volume.expected({340, 341, 342}, 3 * cluster_bytes));
}

TEST(FatFile, ChainFaultsDeliverWhatCameBefore) {
    struct fault_case {
        const char* what;
        uint32_t next_of_5;
        bool contiguous;
        uint32_t first_cluster;
        uint8_t result;
        size_t delivered;
    };
    const fault_case cases[] = {
        {"chain ends before the size", 0xFFFF, false, 5, fat_internal_error, cluster_bytes},
        {"cleared chain", 0, false, 5, fat_internal_error, cluster_bytes},
        {"chain into cluster 1", 1, false, 5, fat_internal_error, cluster_bytes},
        {"contiguous run past the last cluster", 0, true, 4999 + 2, fat_internal_error, cluster_bytes},
        {"first cluster 0", 0, false, 0, fat_internal_error, 0},
        {"first cluster out of range", 0, true, 5002, fat_internal_error, 0},
    };
    for (const fault_case& c : cases) {
        SCOPED_TRACE(c.what);
        chain_volume volume(5000);
        volume.image.set_fat(5, c.next_of_5);
        volume.image.put_data(5001, cluster_content(5001));
        ASSERT_EQ(volume.mount(), fat_ok);
        fat_file file;
        file.volume = &volume.mounted->volume;
        file.mount_id = file.volume->mount_id;
        file.flags = fat_file_open;
        file.size = 10000;
        file.first_cluster = c.first_cluster;
        std::vector<uint8_t> data(10000);
        uint32_t got = 0;
        EXPECT_EQ(fat_read_file(&file, data.data(), 10000, &got, c.contiguous), c.result);
        EXPECT_EQ(got, c.delivered);
        EXPECT_TRUE(std::equal(data.begin(), data.begin() + got, cluster_content(c.first_cluster).begin()));
        // A file in error answers 2 from then on.
        EXPECT_EQ(fat_read_file(&file, data.data(), 10000, &got, c.contiguous), fat_internal_error);
        EXPECT_EQ(got, 0u);
    }
}

TEST(FatFile, OneByteReadsOnlyTheFirstSector) {
    chain_volume volume(5000);
    ASSERT_EQ(volume.mount(), fat_ok);
    // Every other sector of the cluster, and the FAT, cannot be read.
    uint64_t cluster_start = volume.image.cluster_sector(9) * 512;
    platform::test::add_bad_range(volume.scratch.file("volume.img"), cluster_start + 512, cluster_bytes - 512);
    platform::test::add_bad_range(volume.scratch.file("volume.img"), uint64_t{volume.image.geometry().fat_start()} * 512,
                                  uint64_t{volume.image.geometry().sectors_per_fat} * 512);
    std::vector<uint8_t> data;
    EXPECT_EQ(disk_test::read_whole(volume.mounted->volume, 9, 1, true, data), fat_ok);
    ASSERT_EQ(data.size(), 1u);
    EXPECT_EQ(data[0], cluster_content(9)[0]);
    // Reading on into the damaged sector is a disk error.
    EXPECT_EQ(disk_test::read_whole(volume.mounted->volume, 9, 600, true, data), fat_disk_error);
    EXPECT_EQ(data.size(), 512u);
}

TEST(FatFile, ObjectStates) {
    chain_volume volume(5000);
    ASSERT_EQ(volume.mount(), fat_ok);
    fat_file file;
    file.volume = &volume.mounted->volume;
    file.mount_id = file.volume->mount_id;
    file.size = 100;
    file.first_cluster = 5;
    uint8_t byte = 0;
    uint32_t got = 7;
    EXPECT_EQ(fat_read_file(&file, &byte, 1, &got, false), fat_denied);
    EXPECT_EQ(got, 0u);
    file.flags = fat_file_open;
    file.position = 100;
    EXPECT_EQ(fat_read_file(&file, &byte, 1, &got, false), fat_ok);
    EXPECT_EQ(got, 0u);
    file.position = 200;  // beyond the size: nothing to read, not a wrap-around
    EXPECT_EQ(fat_read_file(&file, &byte, 1, &got, false), fat_ok);
    EXPECT_EQ(got, 0u);
    EXPECT_EQ(fat_read_file(nullptr, &byte, 1, &got, false), fat_invalid_object);
}

}  // namespace
