// Sector 0 as the rewrite composes it, the checks made before any disk access, and the GPT
// header test.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "devices/drive_list.h"
#include "partition/boot_code.h"
#include "partition/gpt_header.h"
#include "partition/master_boot_record.h"
#include "partition/partition_table_write.h"
#include "platform/byte_reader.h"

namespace {

constexpr uint32_t heads = 255;
constexpr uint32_t sectors_per_track = 63;

partition_item_s ntfs(uint64_t first, uint64_t last) {
    return {"NTFS", 7, first, last};
}
partition_item_s fat32(uint64_t first, uint64_t last) {
    return {"FAT32", 12, first, last};
}

std::array<uint8_t, 16> slot_bytes(uint8_t status, uint8_t type, uint32_t first, uint32_t count) {
    std::array<uint8_t, 16> slot{};
    slot[0] = status;
    slot[4] = type;
    platform::put_le(slot.data() + 8, first, 4);
    platform::put_le(slot.data() + 12, count, 4);
    return slot;
}

mbr_sector old_sector_with(const std::vector<std::array<uint8_t, 16>>& entries, bool signed_sector = true) {
    mbr_sector old{};
    std::fill(old.begin(), old.begin() + 440, 0xCC);  // someone else's boot code
    const uint8_t disk_signature[6] = {0x12, 0x34, 0x56, 0x78, 0x5A, 0xA5};
    std::copy(std::begin(disk_signature), std::end(disk_signature), old.begin() + 440);
    for (size_t k = 0; k < entries.size(); ++k) std::copy(entries[k].begin(), entries[k].end(), old.begin() + 446 + 16 * k);
    if (signed_sector) old[510] = 0x55, old[511] = 0xAA;
    return old;
}

platform::byte_reader slot_of(const mbr_sector& sector, size_t k) {
    return platform::byte_reader(sector.data() + 446 + 16 * k, 16);
}

mbr_sector compose(const mbr_sector& old, const QList<partition_item_s>& partitions, uint64_t drive_sectors) {
    return compose_master_boot_record(old, partitions, heads, sectors_per_track, drive_sectors);
}

}  // namespace

TEST(partition_chs_triple, from_sector_numbers) {
    struct chs_case_s {
        uint64_t sector;
        chs_triple_s expected;
    };
    const std::vector<chs_case_s> cases = {
        {0, {0, 1, 0}},
        {63, {1, 1, 0}},
        {2048, {32, 33, 0}},
        {2'000'063, {127, 3, 124}},
        {16'450'559, {254, 63 | 0xC0, 0xFF}},      // last sector of cylinder 1023
        {16'450'560, {0, 1, 0}},                   // cylinder 1024 wraps to 0
        {16'450'560 + 300 * 16'065, {0, 1 | 0x40, 0x2C}},  // cylinder 1324 keeps bits 0 to 9
        {(uint64_t{1} << 31) - 1, {0xAC, 0x02 | 0x80, 0x2A}},
        {uint64_t{1} << 31, chs_beyond_reach},
        {uint64_t{1} << 32, chs_beyond_reach},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.sector);
        EXPECT_EQ(chs_triple(c.sector, heads, sectors_per_track), c.expected);
    }
}

TEST(partition_compose_master_boot_record, writes_boot_code_slots_and_keeps_the_disk_signature) {
    const mbr_sector old = old_sector_with({slot_bytes(0x80, 0x83, 5000, 100), slot_bytes(0x80, 0x82, 9000, 100),
                                            slot_bytes(0x80, 0x83, 12000, 100), slot_bytes(0x80, 0x07, 13000, 100)});
    const QList<partition_item_s> found = {ntfs(63, 2'000'063), fat32(2'000'064, 2'016'063),
                                           ntfs(2'016'064, 2'016'100), fat32(16'450'560, 16'460'000),
                                           ntfs(17'000'000, 17'100'000)};
    const mbr_sector sector = compose(old, found, 20'000'000);

    EXPECT_TRUE(std::equal(boot_code().begin(), boot_code().end(), sector.begin()));
    EXPECT_TRUE(std::equal(old.begin() + 440, old.begin() + 446, sector.begin() + 440));
    EXPECT_EQ(sector[510], 0x55);
    EXPECT_EQ(sector[511], 0xAA);

    // Slot 1: active, CHS 1,1,0 to 127,3,124, address 63, count 2,000,001.
    const std::array<uint8_t, 16> first = {0x80, 1, 1, 0, 7, 127, 3, 124, 63, 0, 0, 0, 0x81, 0x84, 0x1E, 0x00};
    EXPECT_TRUE(std::equal(first.begin(), first.end(), sector.begin() + 446));
    // Only slot 1 is active; only four entries reach the table; the old entries are gone.
    const std::vector<uint32_t> starts = {63, 2'000'064, 2'016'064, 16'450'560};
    for (size_t k = 0; k < 4; ++k) {
        SCOPED_TRACE(k);
        EXPECT_EQ(slot_of(sector, k).u8(0), k == 0 ? 0x80 : 0x00);
        EXPECT_EQ(slot_of(sector, k).u32(8), starts[k]);
        EXPECT_EQ(slot_of(sector, k).u8(4), k % 2 == 0 ? 7 : 12);
    }
    EXPECT_EQ(slot_of(sector, 3).u32(12), 16'460'000u - 16'450'560u + 1);
    EXPECT_EQ(slot_of(sector, 3).u8(1), 0);  // wrapped start cylinder: head 0, sector 1, cylinder 0
    EXPECT_EQ(slot_of(sector, 3).u8(2), 1);
    EXPECT_EQ(slot_of(sector, 3).u8(3), 0);
}

TEST(partition_compose_master_boot_record, slot_without_entry_keeps_only_a_sound_old_entry) {
    const uint64_t drive_sectors = 1'000'000;
    const QList<partition_item_s> found = {ntfs(2048, 99'999)};
    struct keep_case_s {
        const char* name;
        std::array<uint8_t, 16> old_slot;
        bool signed_sector;
        bool kept;
    };
    const std::vector<keep_case_s> cases = {
        {"ext4 beside the lost partition", slot_bytes(0x00, 0x83, 100'000, 200'000), true, true},
        {"old active flag is cleared", slot_bytes(0x80, 0x82, 300'000, 1000), true, true},
        {"overlaps the partition written", slot_bytes(0x00, 0x83, 99'999, 10), true, false},
        {"runs past the drive", slot_bytes(0x00, 0x83, 999'000, 1001), true, false},
        {"empty type", slot_bytes(0x00, 0x00, 100'000, 10), true, false},
        {"no sectors", slot_bytes(0x00, 0x83, 100'000, 0), true, false},
        {"starts at sector 0", slot_bytes(0x00, 0x83, 0, 10), true, false},
        {"old sector without signature", slot_bytes(0x00, 0x83, 100'000, 10), false, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        mbr_sector old = old_sector_with({slot_bytes(0x80, 0x07, 2048, 97'952), c.old_slot}, c.signed_sector);
        mbr_sector sector = compose(old, found, drive_sectors);
        std::array<uint8_t, 16> expected{};
        if (c.kept) expected = c.old_slot, expected[0] = 0x00;
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), sector.begin() + 446 + 16));
        EXPECT_TRUE(std::all_of(sector.begin() + 446 + 32, sector.begin() + 510, [](uint8_t b) { return b == 0; }));
    }
}

TEST(partition_check_table_plan, refuses_what_a_master_boot_record_cannot_hold) {
    drive_item_s drive;
    drive.drive_path = "\\\\.\\PhysicalDrive0";
    drive.geometry = std::make_shared<platform::disk_geometry_s>(platform::disk_geometry_s{100, 12, 255, 63, 512});
    const uint64_t max32 = 0xFFFFFFFF;
    struct plan_case_s {
        const char* name;
        QList<partition_item_s> found;
        table_write_e expected;
    };
    const std::vector<plan_case_s> cases = {
        {"nothing found", {}, table_write_e::nothing_to_write},
        {"disk formatted whole", {ntfs(0, 1000)}, table_write_e::starts_at_sector_zero},
        {"start beyond 32 bits", {ntfs(2048, 4096), fat32(max32 + 1, max32 + 100)}, table_write_e::beyond_32_bits},
        {"count beyond 32 bits", {ntfs(2048, 2048 + max32)}, table_write_e::beyond_32_bits},
        {"largest that fits", {ntfs(max32, max32 + max32 - 1)}, table_write_e::written},
        {"a fifth entry is not written", {ntfs(63, 99), ntfs(100, 199), ntfs(200, 299), ntfs(300, 399),
                                          fat32(max32 + 1, max32 + 100)}, table_write_e::written},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(check_table_plan(drive, c.found).code, c.expected);
    }
    EXPECT_EQ(check_table_plan(drive_item_s{}, {ntfs(63, 99)}).code, table_write_e::no_drive);
}

TEST(partition_gpt_header, valid_only_with_signature_size_and_crc) {
    std::array<uint8_t, 512> sector{};
    std::copy_n("EFI PART", 8, sector.begin());
    platform::put_le(sector.data() + 8, 0x00010000, 4);
    platform::put_le(sector.data() + 12, 92, 4);
    platform::put_le(sector.data() + 24, 1, 8);
    auto seal = [](std::array<uint8_t, 512>& header) {
        platform::put_le(header.data() + 16, 0, 4);
        uint32_t size = platform::byte_reader(header.data(), 512).u32(12);
        uint32_t crc = crc32_ieee(platform::byte_reader(header.data(), std::min<size_t>(size, 512)));
        platform::put_le(header.data() + 16, crc, 4);
    };
    seal(sector);
    EXPECT_TRUE(is_valid_gpt_header(platform::byte_reader(sector.data(), 512)));

    auto corrupted = sector;
    corrupted[24] ^= 1;
    EXPECT_FALSE(is_valid_gpt_header(platform::byte_reader(corrupted.data(), 512)));
    for (uint32_t bad_size : {91u, 513u, 0xFFFFFFFFu}) {
        auto sized = sector;
        platform::put_le(sized.data() + 12, bad_size, 4);
        seal(sized);
        EXPECT_FALSE(is_valid_gpt_header(platform::byte_reader(sized.data(), 512))) << bad_size;
    }
    // The check value of the standard CRC-32.
    EXPECT_EQ(crc32_ieee(platform::byte_reader(reinterpret_cast<const uint8_t*>("123456789"), 9)), 0xCBF43926u);
}
