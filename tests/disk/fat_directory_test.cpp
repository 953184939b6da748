// Directory listings over crafted volumes: short names (code page 936, NT case bits, deleted
// entries), long names and their faults, skipped entries, cluster chains.
#include <gtest/gtest.h>

#include "disk/cp936.h"
#include "platform/test_seam.h"
#include "tests/disk/disk_test_support.h"
#include "tests/fixtures/fat_image_builder.h"
#include "tests/support/test_support.h"

using namespace fat_fixture;
using disk_test::attached_drives;
using disk_test::walked_entry;

namespace {

constexpr uint8_t archive = fat_attribute_archive;
constexpr uint8_t folder = fat_attribute_directory;

// Lists the root of a FAT12 volume whose root table holds the given entries.
std::vector<walked_entry> list_root(const std::vector<dir_entry>& entries) {
    fat_image image(geometry_for_clusters(300));
    for (unsigned i = 0; i < entries.size(); ++i) image.put_root_entry(i, entries[i]);
    attached_drives drives({disk_test::memory_disk("root", image.to_bytes())});
    auto mounted = disk_test::mount(0);
    EXPECT_EQ(mounted->open_result, fat_ok);
    std::vector<walked_entry> listed;
    EXPECT_EQ(disk_test::list_dir(0, listed), fat_ok);
    return listed;
}

std::string u8(const std::u16string& text) { return disk_test::utf8(text); }

TEST(FatDirectory, ShortNames) {
    struct name_case {
        std::string stored;
        uint8_t case_bits;
        std::u16string expected;
        bool deleted;
    };
    const name_case cases[] = {
        {"README  TXT", 0x00, u"README.TXT", false},
        {"README  TXT", 0x08, u"readme.TXT", false},
        {"README  TXT", 0x18, u"readme.txt", false},
        {"README  TXT", 0x10, u"README.txt", false},
        {"NOEXT      ", 0x00, u"NOEXT", false},
        {"A B     C D", 0x00, u"A.C", false},  // each part ends at its first space
        // The deleted mark pairs with the next byte into one double-byte code (0xE558).
        {"\xE5XAMPLE TXT", 0x00, u"\u9322AMPLE.TXT", true},
        {"\xE5XAMPLE TXT", 0x18, u"\u9322ample.txt", true},
        {"\x05XAMPLE TXT", 0x00, u"\u9322AMPLE.TXT", false},  // 0x05 stands for a real 0xE5
        {"\xC4\xE3\xBA\xC3    TXT", 0x00, u"\u4F60\u597D.TXT", false},
        {"AB\xB0     \xB0\xA1 ", 0x00, u"AB?.\u554A", false},  // a lead byte ending its part stands alone
        {"\x81\x30      DAT", 0x00, u"?0.DAT", false},         // 0x30 cannot follow a lead byte
        {"\x80       DAT", 0x00, u"\u20AC.DAT", false},
    };
    std::vector<dir_entry> entries;
    for (const name_case& c : cases) entries.push_back(short_entry(c.stored, archive, 0, 0, c.case_bits));
    std::vector<walked_entry> listed = list_root(entries);
    ASSERT_EQ(listed.size(), std::size(cases));
    for (size_t i = 0; i < listed.size(); ++i) {
        SCOPED_TRACE(cases[i].stored);
        EXPECT_EQ(listed[i].short_name, u8(cases[i].expected));
        EXPECT_EQ(listed[i].long_name, "");
        EXPECT_EQ(listed[i].attributes, cases[i].deleted ? archive | fat_attribute_deleted : archive);
    }
}

TEST(FatDirectory, DeletedLongNamesLeaveTheShortNameOnly) {
    std::string stored = "QUARTE~1TXT";
    std::vector<dir_entry> entries = long_name_entries(u"Quarterly report.txt", short_name_checksum(stored));
    entries.push_back(short_entry(stored, archive, 7, 1234));
    for (auto& entry : entries) entry[0] = 0xE5;  // how a file is deleted
    std::vector<walked_entry> listed = list_root(entries);
    ASSERT_EQ(listed.size(), 1u);
    EXPECT_EQ(listed[0].long_name, "");
    EXPECT_EQ(listed[0].short_name, u8(std::u16string(1, cp936_to_utf16(0xE555)) + u"ARTE~1.TXT"));
    EXPECT_TRUE(listed[0].deleted());
    EXPECT_EQ(listed[0].first_cluster, 7u);
    EXPECT_EQ(listed[0].size, 1234u);
}

std::array<char16_t, 13> units_of(const std::u16string& text) {
    std::array<char16_t, 13> units;
    units.fill(0xFFFF);
    for (size_t i = 0; i < 13; ++i) units[i] = i < text.size() ? text[i] : i == text.size() ? 0 : 0xFFFF;
    return units;
}

TEST(FatDirectory, LongNames) {
    const std::string stored = "LONGNA~1TXT";
    const uint8_t sum = short_name_checksum(stored);
    auto with_short = [&](std::vector<dir_entry> entries) {
        entries.push_back(short_entry(stored, archive, 0, 0));
        return entries;
    };
    auto join = [](std::vector<dir_entry> a, const std::vector<dir_entry>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    const std::u16string max_name(255, u'n');
    const std::u16string exactly_26 = u"abcdefghijklmnopqrstuvwxyz";
    struct long_name_case {
        const char* what;
        std::vector<dir_entry> entries;
        std::u16string expected;
    };
    const long_name_case cases[] = {
        {"one part", with_short(long_name_entries(u"Budget.xlsx", sum)), u"Budget.xlsx"},
        {"three parts", with_short(long_name_entries(u"A rather long name for a file.txt", sum)),
         u"A rather long name for a file.txt"},
        {"255 units", with_short(long_name_entries(max_name, sum)), max_name},
        {"wrong checksum", with_short(long_name_entries(u"Budget.xlsx", sum ^ 1)), u""},
        {"a part missing", with_short({long_name_entries(u"A rather long name for a file.txt", sum)[0],
                                       long_name_entries(u"A rather long name for a file.txt", sum)[2]}),
         u""},
        {"units after the end that are not 0xFFFF",
         with_short({long_name_entry(0x41, sum, {u'a', u'b', 0, u'c', 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF, 0xFFFF,
                                                 0xFFFF, 0xFFFF, 0xFFFF})}),
         u""},
        // Sequence number 0 has no place in the name: skipped, not stored in front of the buffer.
        {"sequence 0 as the last part", with_short({long_name_entry(0x40, sum, units_of(u"zero"))}), u""},
        {"sequence 0 after sequence 1",
         with_short({long_name_entry(0xC1, sum, units_of(u"abcdefghijklm")), long_name_entry(0x80, sum, units_of(u"x"))}),
         u""},
        {"more than 20 parts", with_short(long_name_entries(std::u16string(270, u'x'), sum)), u""},
        // A broken name's units never join the next name: a 26-unit name has no 0 unit of its own.
        {"after a broken longer name",
         with_short(join({long_name_entry(0x43, sum ^ 7, units_of(u"STALESTALESTA"))}, long_name_entries(exactly_26, sum))),
         exactly_26},
    };
    for (const long_name_case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<walked_entry> listed = list_root(c.entries);
        ASSERT_EQ(listed.size(), 1u);
        EXPECT_EQ(listed[0].short_name, "LONGNA~1.TXT");
        EXPECT_EQ(listed[0].long_name, u8(c.expected));
    }
}

TEST(FatDirectory, LongNameNeedsRoomForItsTerminator) {
    fat_image image(geometry_for_clusters(300));
    std::vector<dir_entry> entries = long_name_entries(u"twelve chars", short_name_checksum("TWELVE~1   "));
    entries.push_back(short_entry("TWELVE~1   ", archive, 0, 0));
    for (unsigned i = 0; i < entries.size(); ++i) image.put_root_entry(i, entries[i]);
    attached_drives drives({disk_test::memory_disk("root", image.to_bytes())});
    auto mounted = disk_test::mount(0);
    for (int32_t capacity : {13, 12, 0, -1}) {
        SCOPED_TRACE(capacity);
        ASSERT_EQ(fat_read_dir(&mounted->root, nullptr), fat_ok);
        char16_t name[16];
        std::fill(std::begin(name), std::end(name), u'#');
        fat_entry_info info;
        info.long_name = name;
        info.long_name_size = capacity;
        ASSERT_EQ(fat_read_dir(&mounted->root, &info), fat_ok);
        if (capacity == 13) {
            EXPECT_EQ(disk_test::utf8(name), "twelve chars");
        } else if (capacity == 12) {
            EXPECT_EQ(name[0], 0);
        } else {
            EXPECT_EQ(name[0], u'#') << "a buffer of no size is never written";
        }
    }
}

TEST(FatDirectory, DotEntriesAndLabelsAreNeverReturned) {
    fat_image image(geometry_for_clusters(300, 2));
    image.put_root_entry(0, short_entry("MY DISK    ", fat_attribute_volume_label, 0, 0));
    image.put_root_entry(1, short_entry("SUB        ", folder, 5, 0));
    image.put_root_entry(2, short_entry("LABEL2     ", fat_attribute_volume_label | archive, 0, 0));
    image.put_root_entry(3, short_entry("\xE5OLDLBL    ", fat_attribute_volume_label, 0, 0));
    image.set_fat(5, 0xFFF);
    image.put_dir_entry(5, 0, short_entry(".          ", folder, 5, 0));
    image.put_dir_entry(5, 1, short_entry("..         ", folder, 0, 0));
    image.put_dir_entry(5, 2, short_entry("FILE    TXT", archive, 6, 10));
    attached_drives drives({disk_test::memory_disk("dots", image.to_bytes())});
    auto mounted = disk_test::mount(0);
    ASSERT_EQ(mounted->open_result, fat_ok);
    disk_test::walk_result walked = disk_test::walk();
    EXPECT_EQ(walked.errors, std::vector<std::string>{});
    ASSERT_EQ(walked.entries.size(), 2u);
    EXPECT_EQ(walked.entries[0].path, "/SUB");
    EXPECT_EQ(walked.entries[1].path, "/SUB/FILE.TXT");
}

// A FAT32 volume (as a sparse file) whose root and sub folders run over several clusters.
class FatChains : public ::testing::Test {
protected:
    void SetUp() override {
        image.set_fat(2, 10);
        image.set_fat(10, 3);
        image.set_fat(3, 0x0FFFFFFF);
        for (unsigned i = 0; i < 48; ++i) {
            uint32_t cluster = i < 16 ? 2 : i < 32 ? 10 : 3;
            std::string name = "FILE" + std::to_string(100 + i) + " TXT";
            image.put_dir_entry(cluster, i % 16, short_entry(name, archive, 1000 + i, i));
        }
    }
    uint8_t mount() {
        EXPECT_TRUE(image.write_sparse_file(scratch.file("fat32.img")));
        drives = std::make_unique<attached_drives>(std::vector<std::string>{scratch.file("fat32.img")});
        mounted = disk_test::mount(0);
        return mounted->open_result;
    }
    test_support::scratch_dir scratch;
    fat_image image{geometry_for_clusters(70000)};
    std::unique_ptr<attached_drives> drives;
    std::unique_ptr<disk_test::mounted_volume> mounted;
};

TEST_F(FatChains, RootFollowsItsChainAcrossClusters) {
    ASSERT_EQ(mount(), fat_ok);
    ASSERT_EQ(mounted->volume.fs_type, fat_type_fat32);
    std::vector<walked_entry> listed;
    ASSERT_EQ(disk_test::list_dir(0, listed), fat_ok);
    ASSERT_EQ(listed.size(), 48u);
    for (unsigned i = 0; i < 48; ++i) {
        EXPECT_EQ(listed[i].short_name, "FILE" + std::to_string(100 + i) + ".TXT");
        EXPECT_EQ(listed[i].first_cluster, 1000 + i) << "high half from bytes 20..21 on FAT32";
    }
}

TEST_F(FatChains, BrokenChainsEndTheListingWithTheirResult) {
    image.put_dir_entry(2, 0, short_entry("SUB        ", folder, 0x10020, 0));
    for (unsigned i = 0; i < 15; ++i) image.put_dir_entry(0x10020, i, short_entry("ONE     TXT", archive, 0, 0));
    image.put_dir_entry(0x10020, 15, short_entry("LAST    TXT", archive, 0, 0));
    image.set_fat(0x10020, 0);  // cleared, as for a deleted folder
    ASSERT_EQ(mount(), fat_ok);

    fat_dir& dir = mounted->root;
    dir.start_cluster = dir.cluster = 0x10020;
    ASSERT_EQ(fat_read_dir(&dir, nullptr), fat_ok);
    fat_entry_info info;
    for (int i = 0; i < 15; ++i) {
        ASSERT_EQ(fat_read_dir(&dir, &info), fat_ok);
        EXPECT_EQ(disk_test::utf8(info.short_name), "ONE.TXT");
    }
    // The last entry of the cluster comes with the broken chain's result.
    EXPECT_EQ(fat_read_dir(&dir, &info), fat_internal_error);
    EXPECT_EQ(disk_test::utf8(info.short_name), "LAST.TXT");
    // Nothing of the folder lies beyond: no entries read from the clusters that follow on disk.
    EXPECT_EQ(fat_read_dir(&dir, &info), fat_ok);
    EXPECT_EQ(info.short_name[0], 0);

    struct rewind_case {
        uint32_t start;
        uint8_t result;
    };
    for (const rewind_case& c : {rewind_case{1, fat_internal_error}, rewind_case{70002, fat_internal_error},
                                 rewind_case{70001, fat_ok}, rewind_case{0, fat_ok}}) {
        SCOPED_TRACE(c.start);
        dir.start_cluster = c.start;
        EXPECT_EQ(fat_read_dir(&dir, nullptr), c.result);
    }
}

TEST_F(FatChains, UnreadableFatSectorIsADiskError) {
    ASSERT_EQ(mount(), fat_ok);
    const fat_geometry_s& g = image.geometry();
    platform::test::add_bad_range(scratch.file("fat32.img"), uint64_t{g.fat_start()} * 512, 512);
    std::vector<walked_entry> listed;
    EXPECT_EQ(disk_test::list_dir(0, listed), fat_disk_error);
    EXPECT_EQ(listed.size(), 15u);
}

TEST_F(FatChains, LoopingChainEndsAfter65536Entries) {
    image.set_fat(3, 2);  // the root's chain runs back to its start
    ASSERT_EQ(mount(), fat_ok);
    std::vector<walked_entry> listed;
    EXPECT_EQ(disk_test::list_dir(0, listed), fat_ok);
    EXPECT_EQ(listed.size(), 65536u);
}

}  // namespace
