// FAT volumes made by other systems (the shared test images): each mounts, its whole tree is
// walked, and its live files read back as mtools reads them.
#include <gtest/gtest.h>

#include <cstdlib>

#include "tests/disk/disk_test_support.h"
#include "tests/support/mtools_volume.h"
#include "tests/support/test_support.h"

using disk_test::attached_drives;
using disk_test::walked_entry;

namespace {

struct shared_image_case {
    const char* archive;
    uint8_t fs_type;
    bool compare_with_mtools;  // false where the chains loop, which mtools does not survive
    size_t min_deleted;        // deleted entries the image is known to hold at least
};

void PrintTo(const shared_image_case& c, std::ostream* out) { *out << c.archive; }

class SharedFatImage : public ::testing::TestWithParam<shared_image_case> {};

TEST_P(SharedFatImage, MountsWalksAndReads) {
    const shared_image_case& c = GetParam();
    TARNWELL_TESTDATA_OR_SKIP(image, c.archive);
    test_support::scratch_dir scratch;
    setenv("LC_ALL", "C.UTF-8", 1);

    attached_drives drives({image});
    auto mounted = disk_test::mount(0);
    ASSERT_EQ(mounted->open_result, fat_ok);
    EXPECT_EQ(mounted->volume.fs_type, c.fs_type);
    disk_test::walk_result walked = disk_test::walk();
    ASSERT_FALSE(walked.entries.empty());

    size_t deleted = 0;
    for (const walked_entry& entry : walked.entries) deleted += entry.deleted();
    EXPECT_GE(deleted, c.min_deleted);
    // Only folders that were deleted (their chains cleared) may end early.
    for (const std::string& error : walked.errors) {
        std::string path = error.substr(0, error.rfind(':'));
        auto folder = std::find_if(walked.entries.begin(), walked.entries.end(),
                                   [&](const walked_entry& e) { return e.path == path; });
        EXPECT_TRUE(folder != walked.entries.end() && (folder->deleted() || folder->inside_deleted)) << error;
    }

    std::vector<std::string> read_errors;
    disk_test::tree_map listed = disk_test::live_tree(mounted->volume, walked, read_errors);
    if (!c.compare_with_mtools || !test_support::have_fat_tools()) return;
    EXPECT_EQ(read_errors, std::vector<std::string>{});
    std::string error;
    disk_test::tree_map expected = disk_test::mtools_tree(image, scratch.path(), error);
    ASSERT_TRUE(error.empty()) << error;
    EXPECT_EQ(disk_test::tree_differences(expected, listed), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(
    Images, SharedFatImage,
    ::testing::Values(shared_image_case{"fat12.raw.gz", fat_type_fat12, true, 0},
                      shared_image_case{"fat16.raw.gz", fat_type_fat16, true, 0},
                      shared_image_case{"fat_deleted_dir.raw.gz", fat_type_fat32, true, 17},
                      shared_image_case{"fat_deleted_dir_2.raw.gz", fat_type_fat16, true, 65},
                      shared_image_case{"fat_lfn_test.raw.gz", fat_type_fat32, true, 0},
                      shared_image_case{"fat32_loop.raw.gz", fat_type_fat32, false, 0}),
    [](const auto& info) {
        std::string name = info.param.archive;
        name = name.substr(0, name.find('.'));
        std::erase(name, '_');
        return name;
    });

TEST(SharedFatImages, RefusesFourKiBSectors) {
    TARNWELL_TESTDATA_OR_SKIP(image, "fat_unusual_cluster.raw.gz");
    attached_drives drives({image});
    auto mounted = disk_test::mount(0);
    EXPECT_EQ(mounted->open_result, fat_no_file_system);
    EXPECT_EQ(mounted->volume.fs_type, fat_type_none);
}

}  // namespace
