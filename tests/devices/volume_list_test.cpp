// The volume list over real disk images made by Windows and Linux.
#include <gtest/gtest.h>

#include "devices/volume_list.h"
#include "platform/test_seam.h"
#include "tests/support/test_support.h"

namespace {

struct volume_list_test : ::testing::Test {
    void TearDown() override { platform::test::set_disk_list(std::nullopt); }

    static const volume_item_s* find(int disk, int partition) {
        for (const auto& volume : volume_list())
            if (!volume.device_name.isEmpty() && volume.disk_number == disk && volume.partition_number == partition)
                return &volume;
        return nullptr;
    }
};

}  // namespace

TEST_F(volume_list_test, real_images_give_their_partitions_file_systems_and_labels) {
    TARNWELL_TESTDATA_OR_SKIP(mbr, "mbr-win-512.raw.tgz");
    TARNWELL_TESTDATA_OR_SKIP(ntfs_index, "ntfs_index.raw.gz");
    TARNWELL_TESTDATA_OR_SKIP(vss, "vss_1_vol.tar.gz");
    TARNWELL_TESTDATA_OR_SKIP(fat16, "fat16.raw.gz");
    platform::test::set_disk_list(std::vector<std::string>{mbr, ntfs_index, vss, fat16});
    enumerate_volumes();

    const auto& list = volume_list();
    ASSERT_GE(list.size(), 1);
    EXPECT_TRUE(list[0].device_name.isEmpty());  // heading record

    // Three primaries and four logical partitions, typed FAT16 but holding no file system.
    for (int partition : {1, 2, 3, 5, 6, 7, 8}) {
        const auto* volume = find(0, partition);
        ASSERT_NE(volume, nullptr) << partition;
        EXPECT_TRUE(volume->file_system.isEmpty());
        EXPECT_EQ(volume->total_bytes, 0u);
    }
    EXPECT_EQ(find(0, 4), nullptr);  // the extended container is no volume

    const auto* ntfs = find(1, 1);
    ASSERT_NE(ntfs, nullptr);
    EXPECT_EQ(ntfs->file_system, "NTFS");
    EXPECT_EQ(ntfs->label, "Test index");
    EXPECT_EQ(ntfs->device_name, QString::fromStdString(ntfs_index) + "#1");
    EXPECT_EQ(ntfs->total_bytes, 59392u * 512u);

    const auto* gpt_data = find(2, 2);
    ASSERT_NE(gpt_data, nullptr);
    EXPECT_EQ(gpt_data->file_system, "NTFS");
    ASSERT_NE(find(2, 1), nullptr);  // the reserved partition, no file system

    const auto* whole = find(3, 0);  // a volume without a partition table
    ASSERT_NE(whole, nullptr);
    EXPECT_EQ(whole->file_system, "FAT");
    EXPECT_EQ(whole->total_bytes, 12u << 20);
    EXPECT_EQ(list.size(), 1 + 7 + 1 + 2 + 1);
}

TEST_F(volume_list_test, guid_paths_are_stable_and_distinct) {
    TARNWELL_TESTDATA_OR_SKIP(mbr, "mbr-win-512.raw.tgz");
    TARNWELL_TESTDATA_OR_SKIP(vss, "vss_1_vol.tar.gz");
    platform::test::set_disk_list(std::vector<std::string>{mbr, vss});
    enumerate_volumes();
    QStringList first;
    for (const auto& volume : volume_list()) first << volume.volume_name;
    enumerate_volumes();
    QStringList second;
    for (const auto& volume : volume_list()) second << volume.volume_name;
    EXPECT_EQ(first, second);
    first.removeFirst();
    EXPECT_EQ(first.removeDuplicates(), 0);
    for (const auto& name : first) {
        EXPECT_TRUE(name.startsWith("\\\\?\\Volume{") && name.endsWith("}\\")) << name.toStdString();
        int32_t partition = -1, disk = -1;
        EXPECT_TRUE(query_disk_location(name, partition, disk));
    }
    // The GPT partition keeps the unique GUID written in its entry (the second, at LBA 2).
    const auto* data = find(1, 2);
    ASSERT_NE(data, nullptr);
    auto bytes = test_support::read_file_range(vss, 1024 + 128 + 16, 16);
    ASSERT_EQ(bytes.size(), 16u);
    auto hex = [&](std::initializer_list<int> order) {
        QString text;
        for (int i : order) text += QString::asprintf("%02x", bytes[static_cast<size_t>(i)]);
        return text;
    };
    QString guid = hex({3, 2, 1, 0}) + "-" + hex({5, 4}) + "-" + hex({7, 6}) + "-" + hex({8, 9}) + "-" +
                   hex({10, 11, 12, 13, 14, 15});
    EXPECT_EQ(data->volume_name, "\\\\?\\Volume{" + guid + "}\\");
}

TEST_F(volume_list_test, no_volume_at_all_gives_an_empty_list_without_heading) {
    platform::test::set_disk_list(std::vector<std::string>{});
    enumerate_volumes();
    EXPECT_TRUE(volume_list().isEmpty());
}
