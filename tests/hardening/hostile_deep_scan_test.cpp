// The deep scan and its scan file on hostile input: headers that claim files of a terabyte,
// and scan files of gigabytes. Work and memory stay in proportion to what is really there.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <sys/stat.h>

#include <QDeadlineTimer>
#include <cstring>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "engines/raw_recovery.h"
#include "platform/byte_reader.h"
#include "platform/test_seam.h"
#include "tests/engines/engine_test_support.h"
#include "tests/support/test_support.h"

namespace {

constexpr uint64_t terabyte = uint64_t{1} << 40;

int64_t peak_rss_kib() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

void put_text(std::vector<uint8_t>& disk, size_t at, const char* text) {
    std::memcpy(disk.data() + at, text, std::strlen(text));
}

void put_be(std::vector<uint8_t>& disk, size_t at, uint64_t value, size_t width) {
    for (size_t i = 0; i < width; ++i) disk[at + i] = static_cast<uint8_t>(value >> (8 * (width - 1 - i)));
}

// Headers whose sizes claim far more than the disk holds, one per mebibyte.
std::vector<uint8_t> disk_of_lying_headers() {
    std::vector<uint8_t> disk(32u << 20, 0);
    const size_t mib = 1u << 20;
    // MP4: ftyp, a small moov, and an mdat whose 64-bit size is a terabyte.
    put_be(disk, 0, 16, 4), put_text(disk, 4, "ftypisom");
    put_be(disk, 16, 16, 4), put_text(disk, 20, "moov");
    put_be(disk, 32, 1, 4), put_text(disk, 36, "mdat"), put_be(disk, 40, terabyte, 8);
    // AVI whose RIFF size is nearly 4 GiB.
    put_text(disk, mib, "RIFF"), platform::put_le(disk.data() + mib + 4, 0xFFFFFFF0u, 4);
    put_text(disk, mib + 8, "AVI LIST"), platform::put_le(disk.data() + mib + 16, 0xFFFFFF00u, 4);
    put_text(disk, mib + 20, "hdrlavih");
    // ZIP local header whose sizes are all ones, then nothing that ends it.
    put_text(disk, 2 * mib, "PK\x03\x04\x14");
    platform::put_le(disk.data() + 2 * mib + 18, 0xFFFFFFFFu, 4);
    platform::put_le(disk.data() + 2 * mib + 22, 0xFFFFFFFFu, 4);
    platform::put_le(disk.data() + 2 * mib + 26, 1, 2);
    put_text(disk, 2 * mib + 30, "a");
    // JPEG and PDF starts with no end in reach: found, if at all, only up to the disk's end.
    disk[3 * mib] = 0xFF, disk[3 * mib + 1] = 0xD8, disk[3 * mib + 2] = 0xFF, disk[3 * mib + 3] = 0xE0;
    put_text(disk, 4 * mib, "%PDF-1.7\n");
    // BMP claiming a 4 GiB file.
    put_text(disk, 5 * mib, "BM"), platform::put_le(disk.data() + 5 * mib + 2, 0xFFFFFFF0u, 4);
    platform::put_le(disk.data() + 5 * mib + 10, 54, 4), platform::put_le(disk.data() + 5 * mib + 14, 40, 4);
    return disk;
}

class hostile_deep_scan_test : public ::testing::Test {
protected:
    void TearDown() override { platform::test::remove_memory_disks(); }
};

TEST_F(hostile_deep_scan_test, headers_claiming_a_terabyte_find_nothing_beyond_the_volume) {
    auto disk = std::make_shared<std::vector<uint8_t>>(disk_of_lying_headers());
    const uint64_t volume_size = disk->size();
    platform::test::add_memory_disk("lying", disk);
    engine_test::attached_disks disks({"mem:lying"});
    const int64_t rss_before = peak_rss_kib();

    raw_recovery_c engine;
    engine.set_volume(disks.volume(0));
    engine.start();
    ASSERT_TRUE(engine.wait(QDeadlineTimer(5 * 60 * 1000)));
    test_support::scratch_dir dir;
    for (size_t i = 0; i < engine.entries().size(); ++i) {
        const carved_entry_s& entry = engine.entries()[i];
        SCOPED_TRACE(entry.type_text() + " at " + std::to_string(entry.offset));
        EXPECT_LE(static_cast<uint64_t>(entry.offset) + entry.length, volume_size);
        const std::string target = dir.file(std::to_string(i));
        ASSERT_EQ(engine.extract(i, QString::fromStdString(target)), 0);
        struct stat info {};
        ASSERT_EQ(::stat(target.c_str(), &info), 0);
        EXPECT_LE(static_cast<uint64_t>(info.st_size), volume_size);
    }
    EXPECT_LT(peak_rss_kib() - rss_before, 512 * 1024);
}

// A sparse scan file of the given number of entries whose first entry is sound.
std::string sparse_scan_file(const test_support::scratch_dir& dir, uint64_t entries) {
    const std::string path = dir.file(std::to_string(entries) + ".sav");
    EXPECT_TRUE(test_support::make_sparse_file(path, 256 + 32 * entries));
    std::fstream file(path, std::ios::in | std::ios::out | std::ios::binary);
    file.write("/dev/sdz1", 9);
    file.seekp(256 + 24);
    file.write("jpg", 3);
    return path;
}

TEST_F(hostile_deep_scan_test, scan_files_of_gigabytes_are_refused_without_reading_them_into_memory) {
    test_support::scratch_dir dir;
    raw_recovery_c engine;
    const std::string sound = sparse_scan_file(dir, 1);
    ASSERT_EQ(engine.read_scan_file(sound), "/dev/sdz1");

    const int64_t rss_before = peak_rss_kib();
    // One entry more than the limit: refused by its size alone.
    EXPECT_EQ(engine.read_scan_file(sparse_scan_file(dir, raw_recovery_c::scan_file_entry_limit + 1)), "");
    // Exactly the limit, 2 GiB of entries whose second is already wrong: refused there.
    EXPECT_EQ(engine.read_scan_file(sparse_scan_file(dir, raw_recovery_c::scan_file_entry_limit)), "");
    EXPECT_LT(peak_rss_kib() - rss_before, 64 * 1024);
    // A refused file leaves the loaded table as it was.
    EXPECT_EQ(engine.entries().size(), 1u);
}

}  // namespace
