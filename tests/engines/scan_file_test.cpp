// Scan files: what is written, what is refused on reading (leaving the table as it was), and
// which volume a file belongs to.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QFile>
#include <sys/stat.h>
#include <unistd.h>

#include "engines/raw_recovery.h"
#include "results/scan_file_volume.h"
#include "tests/support/test_support.h"

namespace {

const std::string volume_header = "\\\\?\\Volume{0a1b2c3d-0000-1111-2222-333344445555}";

std::vector<uint8_t> entry_bytes(uint64_t ordinal, int64_t offset, uint64_t length, const std::string& type) {
    std::vector<uint8_t> entry(32, 0);
    for (size_t i = 0; i < 8; ++i) {
        entry[i] = static_cast<uint8_t>(ordinal >> (8 * i));
        entry[8 + i] = static_cast<uint8_t>(static_cast<uint64_t>(offset) >> (8 * i));
        entry[16 + i] = static_cast<uint8_t>(length >> (8 * i));
    }
    for (size_t i = 0; i < type.size() && i < 8; ++i) entry[24 + i] = static_cast<uint8_t>(type[i]);
    return entry;
}

std::vector<uint8_t> scan_file(const std::string& header, const std::vector<std::vector<uint8_t>>& entries) {
    std::vector<uint8_t> file(256, 0);
    std::copy(header.begin(), header.end(), file.begin());
    for (const auto& entry : entries) file.insert(file.end(), entry.begin(), entry.end());
    return file;
}

}  // namespace

TEST(scan_file, reading_refuses_every_malformed_file_and_keeps_the_table) {
    QTemporaryDir dir;
    const std::string good = dir.filePath("good.sav").toStdString();
    ASSERT_TRUE(test_support::write_file(
        good, scan_file(volume_header, {entry_bytes(0, 512, 10, "jpg"), entry_bytes(1, 4096, 20, "abcdefgh")})));
    raw_recovery_c engine;
    ASSERT_EQ(engine.read_scan_file(good), volume_header);
    ASSERT_EQ(engine.entries().size(), 2u);
    EXPECT_EQ(raw_recovery_c::row_name(engine.entries()[1]), "00000001.abcdefgh");  // 8 characters, no zero
    EXPECT_EQ(engine.type_map().types()[1].first, "abcdefgh");

    std::vector<uint8_t> no_zero(256, 'x');
    auto with_tail = [](std::vector<uint8_t> file, size_t extra) {
        file.resize(file.size() + extra, 0);
        return file;
    };
    struct {
        const char* why;
        std::vector<uint8_t> bytes;
    } refused[] = {
        {"header only", scan_file(volume_header, {})},
        {"44 bytes after the header", with_tail(scan_file(volume_header, {}), 44)},
        {"no zero byte in the header", with_tail(no_zero, 32)},
        {"empty volume path", scan_file("", {entry_bytes(0, 0, 1, "png")})},
        {"ordinal not its position", scan_file(volume_header, {entry_bytes(0, 0, 1, "png"), entry_bytes(0, 512, 1, "png")})},
        {"negative offset", scan_file(volume_header, {entry_bytes(0, -512, 1, "png")})},
        {"offset plus length overflows", scan_file(volume_header, {entry_bytes(0, INT64_MAX - 10, 100, "png")})},
        {"shorter than its header", std::vector<uint8_t>(100, 0)},
    };
    for (const auto& c : refused) {
        const std::string path = dir.filePath("bad.sav").toStdString();
        ASSERT_TRUE(test_support::write_file(path, c.bytes));
        EXPECT_EQ(engine.read_scan_file(path), "") << c.why;
        EXPECT_EQ(engine.entries().size(), 2u) << c.why;
    }
    EXPECT_EQ(engine.read_scan_file(dir.filePath("missing.sav").toStdString()), "");

    const std::string one = dir.filePath("one.sav").toStdString();
    ASSERT_TRUE(test_support::write_file(one, scan_file(volume_header, {entry_bytes(0, 0, 7, "gif")})));  // 288 bytes
    EXPECT_EQ(engine.read_scan_file(one), volume_header);
    EXPECT_EQ(engine.entries().size(), 1u);
}

TEST(scan_file, writing_round_trips_and_a_failed_save_keeps_the_earlier_file) {
    QTemporaryDir dir;
    const std::string source = dir.filePath("source.sav").toStdString();
    auto original = scan_file(volume_header, {entry_bytes(0, 512, 10, "jpg"), entry_bytes(1, 1024, 20, "png"),
                                              entry_bytes(2, 2048, 30, "jpg")});
    ASSERT_TRUE(test_support::write_file(source, original));
    raw_recovery_c engine;
    ASSERT_EQ(engine.read_scan_file(source), volume_header);

    const std::string saved = dir.filePath("saved.sav").toStdString();
    ASSERT_EQ(engine.write_scan_file(saved), 0);
    EXPECT_EQ(test_support::read_file(saved), original);

    // A save that cannot complete leaves the earlier file as it was.
    const std::string blocker = saved + ".part" + std::to_string(::getpid());
    ASSERT_EQ(::mkdir(blocker.c_str(), 0700), 0);
    EXPECT_EQ(engine.write_scan_file(saved), -1);
    EXPECT_EQ(test_support::read_file(saved), original);

    raw_recovery_c empty;
    EXPECT_EQ(empty.write_scan_file(dir.filePath("empty.sav").toStdString()), -1);
    EXPECT_FALSE(QFile::exists(dir.filePath("empty.sav")));

    volume_item_s long_path;
    long_path.volume_name = QString(300, 'v');
    engine.set_volume(long_path);
    EXPECT_EQ(engine.write_scan_file(dir.filePath("long.sav").toStdString()), -1);
}

TEST(scan_file, a_file_belongs_to_the_volume_named_in_its_header) {
    QList<volume_item_s> volumes(3);
    volumes[1].volume_name = "\\\\?\\Volume{aaaa}\\";
    volumes[2].volume_name = "\\\\?\\Volume{bbbb}\\";
    EXPECT_EQ(find_scan_file_volume("\\\\?\\Volume{bbbb}", volumes), 2);
    EXPECT_EQ(find_scan_file_volume("\\\\?\\Volume{bbbb}\\", volumes), 2);
    EXPECT_EQ(find_scan_file_volume("\\\\?\\Volume{", volumes), -1);
    EXPECT_EQ(find_scan_file_volume("\\\\?\\Volume{bb", volumes), -1);
    EXPECT_EQ(find_scan_file_volume("", volumes), -1);
}
