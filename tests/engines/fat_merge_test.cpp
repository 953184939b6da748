// The FAT engine on crafted volumes: entries that share a first cluster, deleted names, broken
// directory chains and folders listed again below themselves.
#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "engines/fat_recovery.h"
#include "platform/test_seam.h"
#include "tests/engines/engine_test_support.h"
#include "tests/fixtures/fat_image_builder.h"

using fat_fixture::dir_entry;
using fat_fixture::short_entry;

namespace {

constexpr uint8_t folder = 0x10;
constexpr uint32_t end_of_chain = 0xFFFF;

dir_entry created(dir_entry entry, uint16_t date) {
    entry[16] = static_cast<uint8_t>(date);
    entry[17] = static_cast<uint8_t>(date >> 8);
    return entry;
}

dir_entry deleted(dir_entry entry) {
    entry[0] = 0xE5;
    return entry;
}

// A FAT16 volume with 1-sector clusters; folders get end-of-chain entries.
struct crafted_volume {
    fat_fixture::fat_image image{fat_fixture::geometry_for_clusters(5000)};
    void folder_cluster(uint32_t cluster) { image.set_fat(cluster, end_of_chain); }
};

// Scans the crafted volume as the only disk; the engine keeps its records afterwards.
void scan(crafted_volume& volume, fat_recovery_c& engine) {
    static std::unique_ptr<engine_test::attached_disks> disks;
    disks.reset();  // detaches the previous test's disk first
    platform::test::add_memory_disk("crafted", std::make_shared<std::vector<uint8_t>>(volume.image.to_bytes()));
    disks = std::make_unique<engine_test::attached_disks>(std::vector<std::string>{"mem:crafted"});
    ASSERT_TRUE(engine_test::scan(engine, disks->volume(0, 0)));
}

const fat_record_s* record(const fat_recovery_c& engine, uint32_t key) {
    auto it = engine.records().find(key);
    return it == engine.records().end() ? nullptr : it->second.get();
}

}  // namespace

TEST(fat_engine_merge, same_cluster_entries_follow_the_merge_rules) {
    crafted_volume v;
    // Two deleted files at cluster 100: the later created wins; at 101 equal times keep the first.
    v.image.put_root_entry(0, created(deleted(short_entry("FIRST   TXT", 0x20, 100, 10)), 0x5A21));
    v.image.put_root_entry(1, created(deleted(short_entry("SECOND  TXT", 0x20, 100, 20)), 0x5A41));
    v.image.put_root_entry(2, created(deleted(short_entry("EQUAL1  TXT", 0x20, 101, 30)), 0x5A21));
    v.image.put_root_entry(3, created(deleted(short_entry("EQUAL2  TXT", 0x20, 101, 40)), 0x5A21));
    // A deleted folder, then a live folder, at cluster 200: the live one shows, walked once.
    v.image.put_root_entry(4, deleted(short_entry("OLDDIR     ", folder, 200, 0)));
    v.image.put_root_entry(5, short_entry("LIVEDIR    ", folder, 200, 0));
    v.folder_cluster(200);
    v.image.put_dir_entry(200, 0, deleted(short_entry("INSIDE  BIN", 0x20, 300, 50)));
    // A live folder, then a later-created deleted file at its cluster: the folder and what it holds stay.
    v.image.put_root_entry(6, created(short_entry("KEEPDIR    ", folder, 210, 0), 0x5A21));
    v.image.put_root_entry(7, created(deleted(short_entry("LATER   TXT", 0x20, 210, 60)), 0x5C21));
    v.folder_cluster(210);
    v.image.put_dir_entry(210, 0, deleted(short_entry("KEPT    BIN", 0x20, 310, 70)));
    // A deleted empty file (first cluster 0) is not recorded; NOTES.TXT deleted reads as #TES.TXT.
    v.image.put_root_entry(8, deleted(short_entry("EMPTY   TXT", 0x20, 0, 0)));
    v.image.put_root_entry(9, deleted(short_entry("NOTES   TXT", 0x20, 400, 80)));

    fat_recovery_c engine;
    scan(v, engine);
    ASSERT_NE(record(engine, 100), nullptr);
    EXPECT_EQ(record(engine, 100)->size, 20u);
    EXPECT_EQ(record(engine, 101)->size, 30u);
    EXPECT_EQ(record(engine, 200)->attributes & 0x40, 0);
    EXPECT_EQ(record(engine, 200)->children.size(), 1u);
    EXPECT_EQ(record(engine, 210)->attributes, folder);
    ASSERT_NE(record(engine, 310), nullptr);
    EXPECT_EQ(record(engine, 310)->parent_cluster, 210u);
    EXPECT_EQ(QString::fromStdU16String(record(engine, 400)->name), "#TES.TXT");
    EXPECT_EQ(engine.found_count(), 7u);  // keys 100, 101, 200, 300, 210, 310 and 400; the empty file is not kept

    auto shown = engine_test::shown_rows(engine_fat, engine);
    ASSERT_TRUE(shown.count("/KEEPDIR"));
    ASSERT_EQ(shown["/KEEPDIR"].size(), 1);
    EXPECT_EQ(shown["/KEEPDIR"][0].size, 70u);
    ASSERT_TRUE(shown.count("/LIVEDIR"));
}

TEST(fat_engine_merge, an_entry_read_with_a_broken_chain_is_kept) {
    crafted_volume v;
    v.image.put_root_entry(0, short_entry("BROKEN     ", folder, 500, 0));
    // FAT entry of cluster 500 left free: the step after its last entry breaks the chain.
    for (unsigned i = 0; i < 15; ++i)
        v.image.put_dir_entry(500, i, short_entry("LIVE" + std::to_string(10 + i) + "  BIN", 0x20, 600 + i, 1));
    v.image.put_dir_entry(500, 15, deleted(short_entry("LAST    BIN", 0x20, 700, 90)));
    fat_recovery_c engine;
    scan(v, engine);
    ASSERT_NE(record(engine, 700), nullptr);
    EXPECT_EQ(record(engine, 700)->parent_cluster, 500u);
}

TEST(fat_engine_merge, a_folder_listed_again_below_itself_keeps_its_place) {
    crafted_volume v;
    v.image.put_root_entry(0, short_entry("A          ", folder, 300, 0));
    v.folder_cluster(300);
    v.image.put_dir_entry(300, 0, short_entry("B          ", folder, 301, 0));
    v.folder_cluster(301);
    v.image.put_dir_entry(301, 0, short_entry("C          ", folder, 300, 0));  // back at A
    v.image.put_dir_entry(301, 1, deleted(short_entry("LOST    BIN", 0x20, 900, 5)));
    fat_recovery_c engine;
    scan(v, engine);
    // Taking C's place as A's would hang A, B and the file from themselves, outside the tree.
    QString path;
    ASSERT_EQ(engine.full_path(900, path), 0);
    EXPECT_TRUE(path.contains("\\A\\B\\#")) << path.toStdString();
    auto tree = build_result_folders(engine_fat, &engine);
    ASSERT_EQ(tree.nodes.size(), 3u);
    EXPECT_EQ(tree.path_of(2), "/A/B");
}

TEST(fat_engine_times, the_cached_conversion_equals_local_time_without_daylight_saving) {
    const char* previous = std::getenv("TZ");
    const std::string saved = previous ? previous : "";
    ::setenv("TZ", "Europe/Berlin", 1);
    ::tzset();
    fat_recovery_c engine;
    auto fat_date = [](int year, int month, int day) { return static_cast<uint16_t>((year - 1980) << 9 | month << 5 | day); };
    auto fat_time = [](int hour, int minute, int second2) { return static_cast<uint16_t>(hour << 11 | minute << 5 | second2); };
    struct {
        uint16_t date, time;
    } cases[] = {{fat_date(2024, 7, 14), fat_time(13, 45, 10)},   // summer
                 {fat_date(2024, 7, 14), fat_time(0, 0, 0)},      // the cached midnight itself
                 {fat_date(2024, 1, 3), fat_time(23, 59, 29)},    // winter
                 {fat_date(2024, 3, 31), fat_time(2, 30, 0)},     // the hour that is skipped in spring
                 {fat_date(2023, 2, 31), fat_time(31, 63, 31)},   // fields past their range normalise
                 {fat_date(1980, 0, 0), fat_time(0, 0, 0)}};
    for (const auto& c : cases)
        EXPECT_EQ(engine.entry_time(c.date, c.time), fat_recovery_c::fat_time_to_seconds(c.date, c.time))
            << c.date << " " << c.time;
    EXPECT_EQ(fat_recovery_c::fat_time_to_seconds(fat_date(2024, 1, 3), fat_time(12, 0, 0)), 1704279600);
    if (previous) ::setenv("TZ", saved.c_str(), 1); else ::unsetenv("TZ");
    ::tzset();
}
