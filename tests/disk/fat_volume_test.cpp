// Whole volumes made by mkfs.fat and mtools: everything mtools sees live is listed and read
// back exactly, and what was deleted is listed as deleted with its data still readable.
#include <gtest/gtest.h>

#include <cstdlib>

#include "disk/cp936.h"
#include "tests/disk/disk_test_support.h"
#include "tests/support/mtools_volume.h"
#include "tests/support/test_support.h"

using disk_test::attached_drives;
using disk_test::walked_entry;
using test_support::mtools_file_s;

namespace {

class MtoolsVolume : public ::testing::TestWithParam<unsigned> {
protected:
    void SetUp() override {
        if (!test_support::have_fat_tools()) GTEST_SKIP() << "mkfs.fat or mtools missing";
        setenv("LC_ALL", "C.UTF-8", 1);  // mtools takes the names' characters from the locale
    }

    // Sizes that give the FAT type asked for, with 512-byte clusters so folders span several.
    unsigned size_kib() const { return GetParam() == 12 ? 1024 : GetParam() == 16 ? 8192 : 40960; }

    bool make(const std::string& name, const std::vector<std::string>& deleted_files,
              const std::vector<std::string>& deleted_folders) {
        std::string error;
        bool made = test_support::make_mtools_volume(scratch.file(name), size_kib(), GetParam(), 1, files,
                                                     deleted_files, deleted_folders, error);
        EXPECT_TRUE(made) << error;
        return made;
    }

    std::vector<uint8_t> content_of(const std::string& path) const {
        for (const mtools_file_s& file : files)
            if (file.path == path) return file.content;
        ADD_FAILURE() << "no file " << path;
        return {};
    }

    static std::vector<mtools_file_s> plan() {
        std::vector<mtools_file_s> files;
        uint32_t seed = 1;
        auto add = [&](const std::string& path, size_t size) { files.push_back({path, test_support::byte_pattern(size, seed++)}); };
        add("/readme.txt", 5);
        add("/NOTES.TXT", 5000);
        add("/Long Name File.txt", 3000);
        add("/Отчёт за год.doc", 1500);
        add("/你好世界.txt", 700);
        add("/empty.txt", 0);
        add("/" + std::string(200, 'L') + ".dat", 100);
        add("/Docs/Quarterly report 2024.txt", 9000);
        add("/Docs/Deep/Er/inner.bin", 20000);
        add("/Old Stuff/a.txt", 1000);
        add("/Old Stuff/Nested/b.txt", 2500);
        add("/Old Stuff/Long named inside.txt", 800);
        for (int i = 0; i < 30; ++i) add("/f" + std::to_string(10 + i) + ".bin", 100 + i);
        return files;
    }

    test_support::scratch_dir scratch;
    std::vector<mtools_file_s> files = plan();
};

// What a deleted entry's short name looks like: the 0xE5 mark and the stored (upper case)
// second byte decode together when they form a double-byte code.
std::string deleted_short_name(const std::string& live) {
    if (live.size() < 2) return "?";
    uint8_t second = static_cast<uint8_t>(std::toupper(static_cast<unsigned char>(live[1])));
    if (live[1] == '.' || !cp936_is_trail_byte(second)) return "?" + live.substr(1);
    return disk_test::utf8(std::u16string(1, cp936_to_utf16(static_cast<uint16_t>(0xE500 | second)))) + live.substr(2);
}

TEST_P(MtoolsVolume, ListsAndReadsLiveAndDeletedEntries) {
    const std::vector<std::string> deleted_files = {"/NOTES.TXT", "/Long Name File.txt",
                                                    "/Docs/Quarterly report 2024.txt", "/f17.bin"};
    ASSERT_TRUE(make("before.img", {}, {}));
    ASSERT_TRUE(make("after.img", deleted_files, {"/Old Stuff"}));

    // Before: every entry, by its first cluster.
    std::map<uint32_t, walked_entry> before;
    {
        attached_drives drives({scratch.file("before.img")});
        auto mounted = disk_test::mount(0);
        ASSERT_EQ(mounted->open_result, fat_ok);
        EXPECT_EQ(mounted->volume.fs_type, GetParam() == 12 ? 1 : GetParam() == 16 ? 2 : 3);
        for (const walked_entry& entry : disk_test::walk().entries)
            if (entry.first_cluster) before[entry.first_cluster] = entry;
        EXPECT_EQ(before.at(before.begin()->first).path, "/readme.txt");
        EXPECT_EQ(before.begin()->second.short_name, "readme.txt");  // NT case bits, no long name
    }

    attached_drives drives({scratch.file("after.img")});
    auto mounted = disk_test::mount(0);
    ASSERT_EQ(mounted->open_result, fat_ok);
    disk_test::walk_result walked = disk_test::walk();
    EXPECT_EQ(walked.errors, std::vector<std::string>{});

    std::string error;
    disk_test::tree_map expected = disk_test::mtools_tree(scratch.file("after.img"), scratch.path(), error);
    ASSERT_FALSE(expected.empty()) << error;
    std::vector<std::string> read_errors;
    EXPECT_EQ(disk_test::tree_differences(expected, disk_test::live_tree(mounted->volume, walked, read_errors)),
              std::vector<std::string>{});
    EXPECT_EQ(read_errors, std::vector<std::string>{});

    // Every deleted file and folder is there under its cluster, short name only, data intact.
    size_t deleted_seen = 0;
    for (const walked_entry& entry : walked.entries) {
        if (!entry.deleted()) continue;
        SCOPED_TRACE(entry.path);
        ++deleted_seen;
        ASSERT_TRUE(before.count(entry.first_cluster));
        const walked_entry& live = before.at(entry.first_cluster);
        EXPECT_EQ(entry.long_name, "");
        EXPECT_EQ(entry.short_name, deleted_short_name(live.short_name));
        EXPECT_EQ(entry.size, live.size);
        if (entry.folder()) continue;
        std::vector<uint8_t> data;
        EXPECT_EQ(disk_test::read_whole(mounted->volume, entry.first_cluster, entry.size, true, data), fat_ok);
        EXPECT_TRUE(data == content_of(live.path));
    }
    // 4 files, the folder, its sub folder and its 3 files.
    EXPECT_EQ(deleted_seen, 9u);
}

TEST_P(MtoolsVolume, FragmentedFileReadsAlongItsChain) {
    files = {{"/first.bin", test_support::byte_pattern(1500, 1)}, {"/second.bin", test_support::byte_pattern(700, 2)}};
    ASSERT_TRUE(make("fragmented.img", {"/first.bin"}, {}));
    // The new file fills the 3 freed clusters, then continues after second.bin.
    std::string image = scratch.file("fragmented.img");
    if (GetParam() == 32) {
        // Clear the FSInfo next-free hint (sector 1, byte 0x1EC), or mtools allocates after the
        // last cluster it gave out.
        ASSERT_EQ(test_support::run_command("printf '\\377\\377\\377\\377' | dd of='" + image +
                                            "' bs=1 seek=1004 conv=notrunc status=none"), 0);
    }
    std::vector<uint8_t> content = test_support::byte_pattern(4000, 3);
    ASSERT_TRUE(test_support::write_file(scratch.file("third.bin"), content));
    ASSERT_EQ(test_support::run_command("MTOOLS_SKIP_CHECK=1 mcopy -i '" + image + "' '" + scratch.file("third.bin") +
                                        "' ::/third.bin"), 0);

    attached_drives drives({image});
    auto mounted = disk_test::mount(0);
    ASSERT_EQ(mounted->open_result, fat_ok);
    std::vector<walked_entry> root;
    ASSERT_EQ(disk_test::list_dir(0, root), fat_ok);
    auto third = std::find_if(root.begin(), root.end(), [](const walked_entry& e) { return e.short_name == "third.bin"; });
    ASSERT_NE(third, root.end());
    std::vector<uint8_t> chained, contiguous;
    EXPECT_EQ(disk_test::read_whole(mounted->volume, third->first_cluster, third->size, false, chained), fat_ok);
    EXPECT_TRUE(chained == content);
    disk_test::read_whole(mounted->volume, third->first_cluster, third->size, true, contiguous);
    EXPECT_FALSE(contiguous == content) << "the file should have been fragmented";
}

INSTANTIATE_TEST_SUITE_P(Fat, MtoolsVolume, ::testing::Values(12u, 16u, 32u),
                         [](const auto& info) { return "Fat" + std::to_string(info.param); });

}  // namespace
