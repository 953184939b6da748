// tarnwell as a user runs it: lists of real images, JSON fields, and refusals of bad input.
#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include "tests/support/test_support.h"

namespace {

int tarnwell(const std::string& arguments, std::string* out) {
    return test_support::run_command(std::string(TARNWELL_CLI) + " " + arguments + " 2>/dev/null", out);
}

int tarnwell_with_stderr(const std::string& arguments, std::string* out) {
    return test_support::run_command(std::string(TARNWELL_CLI) + " " + arguments, out);
}

QJsonArray json_array(const std::string& text) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(text)).array();
}

}  // namespace

TEST(cli, volumes_and_drives_of_real_images_as_json) {
    TARNWELL_TESTDATA_OR_SKIP(ntfs_index, "ntfs_index.raw.gz");
    TARNWELL_TESTDATA_OR_SKIP(fat16, "fat16.raw.gz");
    std::string out;
    ASSERT_EQ(tarnwell("volumes --json --disks '" + ntfs_index + ":" + fat16 + "'", &out), 0);
    auto volumes = json_array(out);
    ASSERT_EQ(volumes.size(), 2);
    // Sorted by mount path: unmounted volumes sort by their device name.
    QJsonObject ntfs = volumes[0].toObject()["file_system"] == "NTFS" ? volumes[0].toObject() : volumes[1].toObject();
    EXPECT_EQ(ntfs["label"].toString(), "Test index");
    EXPECT_EQ(ntfs["partition_number"].toInt(), 1);
    EXPECT_EQ(ntfs["disk_number"].toInt(), 0);
    EXPECT_EQ(ntfs["total_bytes"].toInteger(), 59392 * 512);
    for (const char* key : {"index", "device_name", "volume_name", "label", "file_system", "path", "total_bytes",
                            "free_bytes", "disk_number", "partition_number"})
        EXPECT_TRUE(ntfs.contains(key)) << key;
    EXPECT_EQ(volumes[0].toObject()["index"].toInt(), 1);

    ASSERT_EQ(tarnwell("drives --json --disks '" + ntfs_index + "'", &out), 0);
    auto drives = json_array(out);
    ASSERT_EQ(drives.size(), 1);
    auto drive = drives[0].toObject();
    EXPECT_EQ(drive["index"].toInt(), 1);
    EXPECT_EQ(drive["drive_path"].toString(), "\\\\.\\PhysicalDrive0");
    EXPECT_EQ(drive["device"].toString().toStdString(), ntfs_index);
    EXPECT_EQ(drive["cylinders"].toInt(), 4);
    EXPECT_EQ(drive["size_bytes"].toInteger(), 4LL * 8225280);
    EXPECT_EQ(drive["bytes_per_sector"].toInt(), 512);
}

TEST(cli, bad_arguments_give_one_line_and_exit_2) {
    test_support::scratch_dir dir;
    const char* cases[] = {"volumes --disks /nonexistent/disk.img", "volumes --bogus", "frobnicate",
                           "drives --disks", "drives --to /tmp"};
    for (const char* arguments : cases) {
        std::string out;
        EXPECT_EQ(tarnwell_with_stderr(arguments, &out), 2) << arguments;
        EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << arguments << ": " << out;
        EXPECT_EQ(out.rfind("tarnwell: ", 0), 0u) << out;
    }
}
