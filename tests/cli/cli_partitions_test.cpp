// tarnwell partitions: a wiped disk's FAT32 partition found and written back, and --write
// refused without --yes.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "tests/support/test_support.h"

namespace {

int tarnwell(const std::string& arguments, std::string* out) {
    return test_support::run_command(std::string(TARNWELL_CLI) + " " + arguments, out);
}

}  // namespace

TEST(cli_partitions, a_wiped_table_is_found_and_written_back) {
    if (!test_support::have_tool("mkfs.fat") || !test_support::have_tool("sfdisk"))
        GTEST_SKIP() << "mkfs.fat or sfdisk absent";
    test_support::scratch_dir dir;
    const std::string image = dir.file("wiped.img");
    ASSERT_TRUE(test_support::make_sparse_file(image, 64 << 20));
    ASSERT_EQ(test_support::run_command("mkfs.fat -F 32 -s 1 --offset=2048 '" + image + "' 40960 >/dev/null 2>&1"), 0);
    const auto before = test_support::read_file_range(image, 0, 1024);

    std::string out;
    ASSERT_EQ(tarnwell("partitions 1 --write --disks '" + image + "' 2>&1", &out), 2);
    EXPECT_NE(out.find("add --yes"), std::string::npos) << out;
    EXPECT_EQ(test_support::read_file_range(image, 0, 1024), before);

    ASSERT_EQ(tarnwell("partitions 1 --json --write --yes --disks '" + image + "' 2>/dev/null", &out), 0) << out;
    auto found = QJsonDocument::fromJson(QByteArray::fromStdString(out)).object()["partitions"].toArray();
    ASSERT_EQ(found.size(), 1) << out;
    auto partition = found[0].toObject();
    EXPECT_EQ(partition["file_system"].toString(), "FAT32");
    EXPECT_EQ(partition["start_sector"].toInt(), 2048);
    EXPECT_EQ(partition["end_sector"].toInt(), 2048 + 81920 - 1);
    EXPECT_EQ(partition["size_bytes"].toInteger(), 81920LL * 512);

    ASSERT_EQ(test_support::run_command("sfdisk --dump '" + image + "'", &out), 0);
    EXPECT_NE(out.find("start=        2048, size=       81920, type=c, bootable"), std::string::npos) << out;
}
