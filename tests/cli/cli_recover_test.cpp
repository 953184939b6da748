// tarnwell scan and recover on FAT volumes: the listing, byte-exact files, safe and unique
// names, and the refusals.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "tests/fixtures/fat_image_builder.h"
#include "tests/support/mtools_volume.h"
#include "tests/support/test_support.h"

using test_support::byte_pattern;

namespace {

int tarnwell(const std::string& arguments, std::string* out) {
    return test_support::run_command(std::string(TARNWELL_CLI) + " " + arguments, out);
}

}  // namespace

TEST(cli_recover, scan_lists_and_recover_writes_the_deleted_files_exactly) {
    if (!test_support::have_fat_tools()) GTEST_SKIP() << "mkfs.fat or mtools absent";
    test_support::scratch_dir dir;
    const std::string image = dir.file("card.img");
    std::vector<test_support::mtools_file_s> files{{"/photo.jpg", byte_pattern(70000, 1)},
                                                   {"/Docs/letter.txt", byte_pattern(4000, 2)},
                                                   {"/Docs/kept.txt", byte_pattern(300, 3)}};
    std::string error;
    ASSERT_TRUE(test_support::make_mtools_volume(image, 16384, 16, 4, files, {"/photo.jpg", "/Docs/letter.txt"}, {},
                                                 error))
        << error;
    const std::string hash = test_support::sha256_file(image);

    std::string out;
    ASSERT_EQ(tarnwell("scan 1 --json --disks '" + image + "' 2>/dev/null", &out), 0) << out;
    auto result = QJsonDocument::fromJson(QByteArray::fromStdString(out)).object();
    EXPECT_EQ(result["engine"].toString(), "fat");
    EXPECT_EQ(result["stop_code"].toInt(), 0);
    auto folders = result["folders"].toArray();
    ASSERT_EQ(folders.size(), 2);
    EXPECT_EQ(folders[0].toObject()["path"].toString(), "/");
    ASSERT_EQ(folders[0].toObject()["files"].toArray().size(), 1);
    EXPECT_EQ(folders[0].toObject()["files"].toArray()[0].toObject()["size"].toInt(), 70000);
    EXPECT_EQ(folders[1].toObject()["path"].toString().toUpper(), "/DOCS");

    const std::string target = dir.file("out");
    ASSERT_EQ(tarnwell("recover 1 --to '" + target + "' --disks '" + image + "' 2>&1", &out), 0) << out;
    EXPECT_NE(out.find("2 files written, 0 failed, 74000 bytes"), std::string::npos) << out;
    std::string listing;
    test_support::run_command("cd '" + target + "' && find . -type f | sort", &listing);
    std::vector<std::string> paths;
    for (size_t start = 0, end; (end = listing.find('\n', start)) != std::string::npos; start = end + 1)
        paths.push_back(listing.substr(start + 2, end - start - 2));
    ASSERT_EQ(paths.size(), 2u) << listing;
    for (const auto& path : paths) {
        auto data = test_support::read_file(target + "/" + path);
        EXPECT_TRUE(data == files[0].content || data == files[1].content) << path;
    }
    EXPECT_EQ(test_support::sha256_file(image), hash);
}

TEST(cli_recover, names_from_the_disk_cannot_leave_the_target_or_overwrite_each_other) {
    using namespace fat_fixture;
    fat_image volume(geometry_for_clusters(5000));
    auto deleted = [](dir_entry e) {
        e[0] = 0xE5;
        return e;
    };
    // Short names holding "/" and two deleted files of one name (the deleted mark replaces "A").
    volume.put_root_entry(0, deleted(short_entry("X/../..TXT", 0x20, 100, 5)));
    volume.put_root_entry(1, deleted(short_entry("ATWIN   TXT", 0x20, 110, 6)));
    volume.put_root_entry(2, deleted(short_entry("ATWIN   TXT", 0x20, 120, 7)));
    volume.put_data(100, {'a', 'b', 'c', 'd', 'e'});
    volume.put_data(110, {1, 2, 3, 4, 5, 6});
    volume.put_data(120, {1, 2, 3, 4, 5, 6, 7});
    test_support::scratch_dir dir;
    const std::string image = dir.file("crafted.img");
    ASSERT_TRUE(volume.write_sparse_file(image));

    const std::string target = dir.file("out");
    std::string out;
    ASSERT_EQ(tarnwell("recover 1 --to '" + target + "' --disks '" + image + "' 2>&1", &out), 0) << out;
    std::string listing;
    test_support::run_command("cd '" + dir.path() + "' && find . | sort", &listing);
    EXPECT_NE(listing.find("./out/#WIN.TXT\n"), std::string::npos) << listing;
    EXPECT_NE(listing.find("./out/#WIN (2).TXT\n"), std::string::npos) << listing;
    EXPECT_NE(listing.find("./out/#_.._..T.XT\n"), std::string::npos) << listing;
    EXPECT_EQ(std::count(listing.begin(), listing.end(), '\n'), 6) << listing;  // . crafted.img out + 3 files

    // Only the rows asked for.
    const std::string one = dir.file("one");
    ASSERT_EQ(tarnwell("recover 1 --id 120 --to '" + one + "' --disks '" + image + "' 2>&1", &out), 0) << out;
    EXPECT_EQ(test_support::read_file(one + "/#WIN.TXT"), (std::vector<uint8_t>{1, 2, 3, 4, 5, 6, 7}));
}

TEST(cli_recover, volumes_that_cannot_be_scanned_exit_1_with_the_reason) {
    TARNWELL_TESTDATA_OR_SKIP(no_fs, "mbr-win-512.raw.tgz");
    TARNWELL_TESTDATA_OR_SKIP(fat_4k, "fat_unusual_cluster.raw.gz");
    std::string out;
    EXPECT_EQ(tarnwell("scan 1 --disks '" + no_fs + "' 2>&1", &out), 1);
    EXPECT_NE(out.find("not a FAT or NTFS volume; try --deep"), std::string::npos) << out;
    EXPECT_EQ(tarnwell("scan 1 --disks '" + fat_4k + "' 2>&1", &out), 1);
    EXPECT_NE(out.find("cannot mount"), std::string::npos) << out;
    EXPECT_EQ(tarnwell("scan 99 --disks '" + fat_4k + "' 2>&1", &out), 2);
    EXPECT_EQ(tarnwell("recover 1 --disks '" + fat_4k + "' 2>&1", &out), 2);  // no --to
}
