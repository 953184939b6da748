// Volumes made by the shared FAT generator (mkfs.fat and mtools, files deleted with mdel and
// whole folders with mdeltree): every file deleted from a live folder comes back byte-exact,
// and nothing comes back that was not deleted.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/mtools_volume.h"
#include "tests/support/test_support.h"

namespace {

std::string generator() {
    return std::string(TARNWELL_SHARED_DIR) + "/fatgen/make-fat-image.sh";
}

}  // namespace

TEST(cli_fatgen, deleted_files_of_generated_volumes_come_back_exactly) {
    if (!std::filesystem::exists(generator())) GTEST_SKIP() << "the shared FAT generator is absent";
    if (!test_support::have_tool("python3") || !test_support::have_fat_tools())
        GTEST_SKIP() << "python3, mkfs.fat or mtools absent";
    struct {
        int fat, mebibytes;
    } volumes[] = {{12, 8}, {16, 32}, {32, 64}};
    test_support::scratch_dir dir;
    for (const auto& v : volumes) {
        const std::string image = dir.file("fat" + std::to_string(v.fat) + ".img");
        ASSERT_EQ(test_support::run_command(generator() + " '" + image + "' " + std::to_string(v.fat) + " " +
                                            std::to_string(v.mebibytes) + " 20 150 0.3 11 >/dev/null"),
                  0);
        const std::string out = image + ".out";
        std::string text;
        ASSERT_EQ(test_support::run_command(std::string(TARNWELL_CLI) + " recover 1 --to '" + out + "' --disks '" +
                                                image + "' 2>&1",
                                            &text),
                  0)
            << text;
        ASSERT_EQ(test_support::run_command("python3 '" + std::string(TARNWELL_SOURCE_DIR) +
                                                "/tests/cli/check_recovered.py' '" + image + ".manifest.tsv' '" +
                                                out + "'",
                                            &text),
                  0);
        // "mdel N/N ... extra 0": every file deleted from a live folder, nothing else.
        auto mdel = text.substr(5, text.find(' ', 5) - 5);
        auto slash = mdel.find('/');
        EXPECT_EQ(mdel.substr(0, slash), mdel.substr(slash + 1)) << v.fat << ": " << text;
        EXPECT_NE(text.find("extra 0"), std::string::npos) << v.fat << ": " << text;
    }
}
