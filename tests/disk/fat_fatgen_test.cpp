// Volumes from the shared FAT generator (when it is there): every live folder and file of its
// manifest is listed and read back exactly; deleted files are listed as deleted and, read as
// consecutive clusters, give the manifest's content. The only deleted files a walk cannot
// reach are those a deleted folder held beyond its first cluster: its chain is cleared.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/disk/disk_test_support.h"
#include "tests/support/test_support.h"

using disk_test::attached_drives;
using disk_test::walked_entry;

namespace {

struct deleted_file_s {
    std::string key;  // "size sha256"
    std::string path;
    bool in_deleted_folder = false;
};

struct manifest_s {
    disk_test::tree_map live;
    std::vector<deleted_file_s> deleted_files;
    size_t deleted_folders = 0;
};

manifest_s read_manifest(const std::string& path) {
    manifest_s manifest;
    std::ifstream in(path);
    std::string line;
    while (std::getline(in, line)) {
        if (line.empty() || line[0] == '#' || line.rfind("kind\t", 0) == 0) continue;
        std::vector<std::string> field;
        std::stringstream fields(line);
        for (std::string f; std::getline(fields, f, '\t');) field.push_back(f);
        if (field.size() != 6) continue;
        bool folder = field[0] == "d", deleted = field[4] == "1";
        if (!deleted) manifest.live[field[1]] = folder ? "<dir>" : field[3];
        else if (folder) ++manifest.deleted_folders;
        else manifest.deleted_files.push_back({field[2] + " " + field[3], field[1], field[5] == "mdeltree"});
    }
    return manifest;
}

struct fatgen_case {
    unsigned fat_bits, size_mib, folders, files;
    const char* delete_fraction;
};

void PrintTo(const fatgen_case& c, std::ostream* out) {
    *out << "FAT" << c.fat_bits << ", " << c.size_mib << " MiB, " << c.folders << " folders, " << c.files << " files";
}

class FatgenVolume : public ::testing::TestWithParam<fatgen_case> {};

TEST_P(FatgenVolume, MatchesTheManifest) {
    std::string script = test_support::shared_testdata_dir().empty()
                             ? std::string()
                             : std::string(TARNWELL_SHARED_DIR) + "/fatgen/make-fat-image.sh";
    if (script.empty() || !std::filesystem::exists(script)) GTEST_SKIP() << "FAT generator absent";
    for (const char* tool : {"python3", "mkfs.fat", "mcopy", "mdeltree"})
        if (!test_support::have_tool(tool)) GTEST_SKIP() << tool << " missing";
    const fatgen_case& c = GetParam();
    test_support::scratch_dir scratch;
    std::string image = scratch.file("fatgen.img"), output;
    std::string arguments = std::to_string(c.fat_bits) + " " + std::to_string(c.size_mib) + " " +
                            std::to_string(c.folders) + " " + std::to_string(c.files) + " " + c.delete_fraction + " " +
                            std::to_string(c.fat_bits);
    ASSERT_EQ(test_support::run_command("bash '" + script + "' '" + image + "' " + arguments, &output), 0) << output;
    manifest_s manifest = read_manifest(image + ".manifest.tsv");
    ASSERT_FALSE(manifest.live.empty());
    ASSERT_FALSE(manifest.deleted_files.empty());

    attached_drives drives({image});
    auto mounted = disk_test::mount(0);
    ASSERT_EQ(mounted->open_result, fat_ok);
    disk_test::walk_result walked = disk_test::walk();
    std::vector<std::string> read_errors;
    EXPECT_EQ(disk_test::tree_differences(manifest.live, disk_test::live_tree(mounted->volume, walked, read_errors)),
              std::vector<std::string>{});
    EXPECT_EQ(read_errors, std::vector<std::string>{});

    std::multiset<std::string> listed;
    size_t deleted_folders = 0;
    for (const walked_entry& entry : walked.entries) {
        if (!entry.deleted() && !entry.inside_deleted) continue;
        EXPECT_EQ(entry.long_name, "") << entry.path;
        if (entry.folder()) {
            ++deleted_folders;
            continue;
        }
        std::vector<uint8_t> data;
        EXPECT_EQ(disk_test::read_whole(mounted->volume, entry.first_cluster, entry.size, true, data), fat_ok);
        listed.insert(std::to_string(entry.size) + " " + test_support::sha256_bytes(data));
    }
    // Each listed deleted file is one of the manifest; a manifest file not listed lay in a
    // deleted folder whose listing ended at its cleared chain.
    // (Small files share their content: files outside deleted folders are matched first.)
    std::stable_partition(manifest.deleted_files.begin(), manifest.deleted_files.end(),
                          [](const deleted_file_s& file) { return !file.in_deleted_folder; });
    size_t unreachable = 0;
    for (const deleted_file_s& file : manifest.deleted_files) {
        auto found = listed.find(file.key);
        if (found != listed.end()) {
            listed.erase(found);
            continue;
        }
        EXPECT_TRUE(file.in_deleted_folder) << "not listed: " << file.path;
        ++unreachable;
    }
    EXPECT_TRUE(listed.empty()) << listed.size() << " deleted files listed that the manifest lacks";
    EXPECT_LE(deleted_folders, manifest.deleted_folders);
    if (unreachable || deleted_folders < manifest.deleted_folders) {
        EXPECT_FALSE(walked.errors.empty());
    } else {
        EXPECT_EQ(walked.errors, std::vector<std::string>{});
    }
    // Where every deleted folder fits its first cluster, everything is listed.
    if (c.fat_bits != 32 || c.size_mib < 100) {
        EXPECT_EQ(unreachable, 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Fat, FatgenVolume,
    ::testing::Values(fatgen_case{12, 4, 20, 150, "0.3"}, fatgen_case{16, 16, 20, 150, "0.3"},
                      fatgen_case{32, 40, 20, 150, "0.3"},
                      // 512-byte clusters: deleted folders run past their first cluster.
                      fatgen_case{32, 128, 60, 1000, "0.4"}),
    [](const auto& info) {
        return "Fat" + std::to_string(info.param.fat_bits) + "_" + std::to_string(info.param.files) + "files";
    });

}  // namespace
