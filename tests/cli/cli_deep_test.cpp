// tarnwell's deep scan from end to end: scan and save, reopen and recover, byte-exact.
#include <gtest/gtest.h>

#include <QBuffer>
#include <QImage>

#include "tests/support/test_support.h"

namespace {

int tarnwell(const std::string& arguments, std::string* out) {
    return test_support::run_command(std::string(TARNWELL_CLI) + " " + arguments, out);
}

std::vector<uint8_t> png(int width) {
    QImage image(width, 16, QImage::Format_RGB32);
    image.fill(qRgb(width % 256, 90, 200));
    QByteArray data;
    QBuffer buffer(&data);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return std::vector<uint8_t>(data.begin(), data.end());
}

}  // namespace

TEST(cli_deep, scan_save_open_and_recover_round_trip) {
    test_support::scratch_dir dir;
    std::vector<uint8_t> disk(8 << 20, 0);
    auto first = png(64), second = png(33);
    std::copy(first.begin(), first.end(), disk.begin() + 8192);
    std::copy(second.begin(), second.end(), disk.begin() + (5 << 20));
    const std::string image = dir.file("wiped.img");
    ASSERT_TRUE(test_support::write_file(image, disk));
    const std::string hash = test_support::sha256_file(image);
    const std::string saved = dir.file("result.sav");

    std::string out;
    ASSERT_EQ(tarnwell("scan 1 --deep --save '" + saved + "' --disks '" + image + "' 2>&1", &out), 0) << out;
    EXPECT_NE(out.find("00000001.png"), std::string::npos) << out;
    ASSERT_EQ(tarnwell("open '" + saved + "' --recover-to '" + dir.file("out") + "' --disks '" + image + "' 2>&1",
                       &out),
              0)
        << out;
    EXPECT_EQ(test_support::read_file(dir.file("out/png/00000000.png")), first);
    EXPECT_EQ(test_support::read_file(dir.file("out/png/00000001.png")), second);
    EXPECT_EQ(test_support::sha256_file(image), hash);

    // Without the volume the file belongs to, open names what is missing.
    ASSERT_EQ(tarnwell("open '" + saved + "' --disks '" + dir.file("result.sav") + "' 2>&1", &out), 1);
    EXPECT_NE(out.find("not present: \\\\?\\Volume{"), std::string::npos) << out;
}
