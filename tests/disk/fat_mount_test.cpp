// Mounting: the boot sector checks, the FAT type by cluster count, partitions, and the object
// rules (registration, mount_id, volume numbers).
#include <gtest/gtest.h>

#include <functional>

#include "disk/sector_device.h"
#include "platform/byte_reader.h"
#include "platform/test_seam.h"
#include "tests/disk/disk_test_support.h"
#include "tests/fixtures/fat_image_builder.h"

using namespace fat_fixture;
using disk_test::attached_drives;
using disk_test::memory_disk;

namespace {

using boot_edit = std::function<void(sector_bytes&)>;

void set16(sector_bytes& s, size_t offset, uint32_t value) { platform::put_le(&s[offset], value, 2); }

// Mounts a disk holding only the given boot sector at sector 0.
uint8_t mount_boot_sector(const sector_bytes& boot, uint8_t& fs_type) {
    std::vector<uint8_t> disk(64 * 1024);
    std::copy(boot.begin(), boot.end(), disk.begin());
    attached_drives drives({memory_disk("boot", disk)});
    auto mounted = disk_test::mount(0);
    fs_type = mounted->volume.fs_type;
    return mounted->open_result;
}

TEST(FatMount, TypeFollowsTheClusterCount) {
    struct type_case {
        uint32_t clusters;
        uint8_t fs_type;
    };
    for (const type_case& c : {type_case{1, fat_type_fat12}, type_case{4085, fat_type_fat12},
                               type_case{4086, fat_type_fat16}, type_case{65525, fat_type_fat16},
                               type_case{65526, fat_type_fat32}, type_case{0x0FFFFFF5, fat_type_fat32}}) {
        SCOPED_TRACE(c.clusters);
        uint8_t fs_type = 0;
        EXPECT_EQ(mount_boot_sector(boot_sector(geometry_for_clusters(c.clusters)), fs_type), fat_ok);
        EXPECT_EQ(fs_type, c.fs_type);
    }
}

TEST(FatMount, RejectsUnsoundParameterBlocks) {
    const fat_geometry_s fat16 = geometry_for_clusters(5000);
    const fat_geometry_s fat32 = geometry_for_clusters(70000);
    struct bad_case {
        const char* what;
        fat_geometry_s geometry;
        boot_edit edit;
    };
    const bad_case cases[] = {
        {"4096 bytes per sector", fat16, [](sector_bytes& s) { set16(s, 11, 4096); }},
        {"3 FATs", fat16, [](sector_bytes& s) { s[16] = 3; }},
        {"0 FATs", fat16, [](sector_bytes& s) { s[16] = 0; }},
        {"24 root entries", fat16, [](sector_bytes& s) { set16(s, 17, 24); }},
        {"3 sectors per cluster", fat16, [](sector_bytes& s) { s[13] = 3; }},
        {"0 sectors per cluster", fat16, [](sector_bytes& s) { s[13] = 0; }},
        {"0 reserved sectors", fat16, [](sector_bytes& s) { set16(s, 14, 0); }},
        {"FAT one sector short", fat16, [](sector_bytes& s) { set16(s, 22, fat_fixture::geometry_for_clusters(5000).sectors_per_fat - 1); }},
        {"no room for the FATs", fat16, [](sector_bytes& s) { set16(s, 19, 50); }},
        {"no cluster after the system area", fat16, [](sector_bytes& s) {
             set16(s, 19, 0);
             platform::put_le(&s[32], geometry_for_clusters(5000).data_start(), 4);
         }},
        {"FAT16 without a root table", fat16, [](sector_bytes& s) { set16(s, 17, 0); }},
        {"FAT32 with a root table", fat32, [](sector_bytes& s) { set16(s, 17, 16); }},
        {"FAT32 over 0x0FFFFFF5 clusters", geometry_for_clusters(0x0FFFFFF6), {}},
        {"no boot signature", fat16, [](sector_bytes& s) { s[511] = 0; }},
        {"no FAT marker", fat16, [](sector_bytes& s) { s[54] = 'X'; }},
    };
    for (const bad_case& c : cases) {
        SCOPED_TRACE(c.what);
        sector_bytes boot = boot_sector(c.geometry);
        if (c.edit) c.edit(boot);
        uint8_t fs_type = 0xFF;
        EXPECT_EQ(mount_boot_sector(boot, fs_type), fat_no_file_system);
        EXPECT_EQ(fs_type, fat_type_none);
    }
}

// A disk with a partition table at sector 0 and the volume's boot sector at start_sector.
std::vector<uint8_t> partitioned_disk(const sector_bytes& boot, uint32_t start_sector) {
    std::vector<uint8_t> disk((start_sector + 64) * 512ULL);
    disk[446 + 4] = 0x06;
    disk[510] = 0x55, disk[511] = 0xAA;
    std::copy(boot.begin(), boot.end(), disk.begin() + start_sector * 512ULL);
    return disk;
}

TEST(FatMount, FindsTheVolumeBehindAPartitionTable) {
    fat_geometry_s geometry = geometry_for_clusters(5000);
    attached_drives drives({memory_disk("mbr", partitioned_disk(boot_sector(geometry), 2048))});
    auto mounted = disk_test::mount(0, 1, 2048);
    ASSERT_EQ(mounted->open_result, fat_ok);
    const fat_volume& v = mounted->volume;
    EXPECT_EQ(v.fs_type, fat_type_fat16);
    EXPECT_EQ(v.fat_entries, 5002u);
    EXPECT_EQ(v.fat_start, 2048 + geometry.fat_start());
    EXPECT_EQ(v.root_start, 2048 + geometry.root_start());
    EXPECT_EQ(v.data_start, 2048 + geometry.data_start());
    EXPECT_EQ(v.root_entries, 512);
}

TEST(FatMount, PartitionNumberSendsItPastABootSectorAtSectorZero) {
    // Sector 0 holds a FAT12 boot sector (an old superfloppy) but the table says partition 1.
    std::vector<uint8_t> disk = partitioned_disk(boot_sector(geometry_for_clusters(70000)), 4096);
    sector_bytes old = boot_sector(geometry_for_clusters(100));
    std::copy(old.begin(), old.end(), disk.begin());
    attached_drives drives({memory_disk("mixed", disk)});
    EXPECT_EQ(disk_test::mount(0, 1, 4096)->volume.fs_type, fat_type_fat32);
    EXPECT_EQ(disk_test::mount(0, 0, 4096)->volume.fs_type, fat_type_fat12);
}

TEST(FatMount, VolumeMustEndWithin32BitSectorNumbers) {
    constexpr uint32_t start = 2048;
    const uint64_t last_total = 0x100000000ULL - start;  // the volume's last sector is 0xFFFFFFFF
    for (uint64_t total : {last_total, last_total + 1}) {
        SCOPED_TRACE(total);
        // As many 64 KiB clusters as fit, with a FAT sector to spare for the rounding.
        fat_geometry_s geometry = geometry_for_clusters(static_cast<uint32_t>(last_total / 128), 128);
        geometry = geometry_for_clusters(static_cast<uint32_t>((last_total - geometry.data_start()) / 128), 128);
        geometry.sectors_per_fat += 1;
        geometry.total_sectors = static_cast<uint32_t>(total);
        attached_drives drives({memory_disk("edge", partitioned_disk(boot_sector(geometry), start))});
        auto mounted = disk_test::mount(0, 1, start);
        EXPECT_EQ(mounted->open_result, total == last_total ? fat_ok : fat_no_file_system);
    }
}

TEST(FatMount, DriveFaults) {
    std::vector<uint8_t> disk(64 * 1024);
    sector_bytes boot = boot_sector(geometry_for_clusters(100));
    std::copy(boot.begin(), boot.end(), disk.begin());
    {
        std::string path = memory_disk("bad", disk);
        platform::test::add_bad_range(path, 0, 512);
        attached_drives drives({path});
        EXPECT_EQ(disk_test::mount(0)->open_result, fat_disk_error);
    }
    {
        std::string path = memory_disk("4k", disk);
        platform::test::set_sector_size(path, 4096);
        attached_drives drives({path});
        EXPECT_EQ(disk_test::mount(0)->open_result, fat_not_ready);
    }
    attached_drives none({});
    EXPECT_EQ(disk_test::mount(0)->open_result, fat_not_ready);
}

TEST(FatMount, VolumeNumbersAndPaths) {
    std::vector<uint8_t> disk(64 * 1024);
    sector_bytes boot = boot_sector(geometry_for_clusters(100));
    std::copy(boot.begin(), boot.end(), disk.begin());
    attached_drives drives({memory_disk("d", disk)});
    auto mounted = disk_test::mount(0);
    ASSERT_EQ(mounted->open_result, fat_ok);

    struct path_case {
        const char16_t* path;
        uint8_t result;
    };
    for (const path_case& c : {path_case{u"/", fat_ok}, path_case{u"\\", fat_ok}, path_case{u"", fat_ok},
                               path_case{u"0:/", fat_ok}, path_case{u"0:", fat_ok}, path_case{u"3:/", fat_not_enabled},
                               path_case{u"10:/", fat_invalid_drive}, path_case{u"x:/", fat_invalid_drive},
                               path_case{u"/DIR", fat_no_path}, path_case{nullptr, fat_no_path}}) {
        SCOPED_TRACE(disk_test::utf8(c.path ? c.path : u"(null)"));
        fat_dir dir;
        dir.volume = &mounted->volume;
        EXPECT_EQ(fat_open_dir(&dir, c.path), c.result);
        EXPECT_EQ(dir.volume, c.result == fat_ok ? &mounted->volume : nullptr);
    }
    EXPECT_EQ(fat_open_dir(nullptr, u"/"), fat_invalid_object);
    EXPECT_EQ(fat_register_volume(10, &mounted->volume), fat_invalid_drive);
}

TEST(FatMount, StaleObjectsAreRefused) {
    std::vector<uint8_t> disk(64 * 1024);
    sector_bytes boot = boot_sector(geometry_for_clusters(100));
    std::copy(boot.begin(), boot.end(), disk.begin());
    std::string path = memory_disk("d", disk);
    attached_drives drives({path, path});
    auto mounted = disk_test::mount(1);
    ASSERT_EQ(mounted->open_result, fat_ok);
    fat_volume& volume = mounted->volume;
    fat_dir& dir = mounted->root;
    fat_entry_info info;
    EXPECT_EQ(fat_read_dir(&dir, &info), fat_ok);

    // A not-ready drive answers 3; the next open mounts afresh and old objects go stale.
    platform::test::set_medium_present(path, false);
    ASSERT_TRUE(disk_test::wait_until([] { return drive_state(1) & drive_status_not_ready; }));
    EXPECT_EQ(fat_read_dir(&dir, &info), fat_not_ready);
    platform::test::set_medium_present(path, true);
    uint16_t old_id = volume.mount_id;
    fat_dir fresh;
    ASSERT_EQ(fat_open_dir(&fresh, u"/"), fat_ok);
    EXPECT_NE(volume.mount_id, old_id);
    EXPECT_EQ(fat_read_dir(&dir, &info), fat_invalid_object);
    EXPECT_EQ(fat_read_dir(&fresh, &info), fat_ok);

    // Registering again unmounts, until the next open.
    fat_register_volume(0, &volume);
    EXPECT_EQ(volume.fs_type, fat_type_none);
    EXPECT_EQ(fat_read_dir(&fresh, &info), fat_invalid_object);
    fat_file file;
    file.volume = &volume;
    file.mount_id = volume.mount_id;
    file.flags = fat_file_open;
    uint32_t got = 99;
    EXPECT_EQ(fat_read_file(&file, nullptr, 0, &got, false), fat_invalid_object);
    EXPECT_EQ(got, 0u);
    fat_dir unset;
    EXPECT_EQ(fat_read_dir(&unset, &info), fat_invalid_object);
    EXPECT_EQ(fat_read_dir(nullptr, &info), fat_invalid_object);
}

}  // namespace
