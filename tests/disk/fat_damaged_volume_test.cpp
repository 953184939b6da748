// Damaged volumes: random bytes in the parameter block, the FAT and the folders never make the
// reader crash, hang or write outside its buffers; every call ends with a result code.
#include <gtest/gtest.h>

#include <random>

#include "tests/disk/disk_test_support.h"
#include "tests/fixtures/fat_image_builder.h"

using namespace fat_fixture;

namespace {

// Lists a folder (at most max_entries entries) and reads each file in it both ways.
void exercise_folder(fat_volume& volume, uint32_t cluster, std::vector<uint32_t>& folders) {
    fat_dir dir;
    if (fat_open_dir(&dir, u"/") != fat_ok) return;
    dir.start_cluster = dir.cluster = cluster;
    if (fat_read_dir(&dir, nullptr) != fat_ok) return;
    char16_t long_name[fat_long_name_units];
    for (int n = 0; n < 300; ++n) {
        fat_entry_info info;
        info.long_name = long_name;
        info.long_name_size = fat_long_name_units;
        uint8_t result = fat_read_dir(&dir, &info);
        ASSERT_LE(result, fat_not_enough_memory);
        if (result != fat_ok || info.short_name[0] == 0) return;
        ASSERT_LT(std::char_traits<char16_t>::length(info.short_name), fat_short_name_units);
        ASSERT_LT(std::char_traits<char16_t>::length(long_name), fat_long_name_units);
        if (info.attributes & fat_attribute_directory) {
            folders.push_back(info.first_cluster);
            continue;
        }
        std::vector<uint8_t> data;
        for (bool contiguous : {false, true}) {
            // Sizes are random too: read at most 64 KiB of each.
            disk_test::read_whole(volume, info.first_cluster, std::min<uint32_t>(info.size, 65536), contiguous, data,
                                  777);
            ASSERT_LE(data.size(), 65536u);
        }
    }
}

// A populated volume: long and short names, folders over several clusters, chained files.
std::vector<uint8_t> populated_volume(uint32_t clusters) {
    fat_geometry_s geometry = geometry_for_clusters(clusters, 1);
    fat_image image(geometry);
    uint32_t next_cluster = 2;
    auto chain = [&](unsigned length) {
        uint32_t first = next_cluster;
        for (unsigned i = 0; i < length; ++i, ++next_cluster)
            image.set_fat(next_cluster, i + 1 < length ? next_cluster + 1 : 0xFFFF);
        return first;
    };
    auto put_named = [&](auto put, unsigned& index, const std::u16string& name, uint8_t attributes, uint32_t first,
                         uint32_t size) {
        std::string stored = "ENTRY~" + std::to_string(index % 100);
        stored.resize(11, ' ');
        for (const dir_entry& part : long_name_entries(name, short_name_checksum(stored))) put(index++, part);
        put(index++, short_entry(stored, attributes, first, size));
    };
    unsigned root_index = 0;
    auto put_root = [&](unsigned i, const dir_entry& e) { image.put_root_entry(i, e); };
    for (int folder = 0; folder < 4; ++folder) {
        uint32_t folder_cluster = chain(4);
        put_named(put_root, root_index, u"Folder number " + std::u16string(1, u'A' + folder), fat_attribute_directory,
                  folder_cluster, 0);
        unsigned index = 0;
        auto put_sub = [&](unsigned i, const dir_entry& e) {
            image.put_dir_entry(folder_cluster + i / 16, i % 16, e);
        };
        for (int file = 0; file < 15 && index < 60; ++file) {
            uint32_t first = chain(3);
            put_named(put_sub, index, u"A file with a long name " + std::u16string(1, u'a' + file) + u".txt",
                      fat_attribute_archive, first, 1200);
        }
    }
    for (int file = 0; file < 20; ++file)
        image.put_root_entry(root_index++, short_entry("FILE" + std::to_string(10 + file) + "  BIN", fat_attribute_archive,
                                                       chain(2), 1000));
    return image.to_bytes();
}

TEST(FatDamagedVolume, RandomDamageGivesResultCodes) {
    std::mt19937 random(20240611);
    const std::vector<uint8_t> pristine = populated_volume(4200);
    const size_t used_end = 600 * 512;  // the populated part of the volume
    for (int round = 0; round < 200; ++round) {
        SCOPED_TRACE(round);
        std::vector<uint8_t> bytes = pristine;
        std::uniform_int_distribution<size_t> position(512, used_end - 1);
        for (int i = 0, n = 1 + round % 64; i < n; ++i) bytes[position(random)] = static_cast<uint8_t>(random());
        // Now and then a byte of the parameter block too.
        if (round % 5 == 0) bytes[11 + random() % 37] = static_cast<uint8_t>(random());

        disk_test::attached_drives drives({disk_test::memory_disk("damaged", bytes)});
        auto mounted = disk_test::mount(0);
        if (mounted->open_result != fat_ok) {
            EXPECT_EQ(mounted->open_result, fat_no_file_system);
            continue;
        }
        std::vector<uint32_t> folders{0};
        for (size_t i = 0; i < folders.size() && i < 20; ++i) {
            exercise_folder(mounted->volume, folders[i], folders);
            if (HasFatalFailure()) return;
        }
    }
}

}  // namespace
