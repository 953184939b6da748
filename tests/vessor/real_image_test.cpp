// The library on volumes that Windows and Linux made: every table scans, holds what it is known
// to hold, and known files come back with their known contents. The images are never written.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <functional>

#include "tests/support/test_support.h"
#include "tests/vessor/vessor_test_support.h"

using namespace vessor_test;

namespace {

class ntfs_real_image_test : public vessor_test_c {};

using records_t = std::map<uint64_t, scanned_s>;

struct image_case_s {
    const char* archive;
    const char* device;   // the NTFS volume on the image as disk 0
    int64_t records;      // table length
    std::function<void(records_t&, scan_c&, const std::string& scratch)> check;
};

void expect_record(records_t& r, uint64_t number, const char* name, uint64_t parent, uint32_t flags) {
    SCOPED_TRACE(name);
    ASSERT_TRUE(r.count(number));
    EXPECT_EQ(r[number].name, name);
    EXPECT_EQ(r[number].parent, parent);
    EXPECT_EQ(r[number].flags, flags);
}

std::vector<uint8_t> recovered(scan_c& scan, uint64_t record, const std::string& path) {
    EXPECT_EQ(scan.recover(record, path), 0);
    return test_support::read_file(path);
}

bool any_deleted(const records_t& r) {
    return std::any_of(r.begin(), r.end(), [](const auto& kv) { return kv.second.flags & vessor::flag_deleted; });
}

const image_case_s image_cases[] = {
    {"ntfs_index.raw.gz", "/dev/hda1", 256,
     [](records_t& r, scan_c&, const std::string&) {
         // Its deleted names live only in index slack: their records were reused.
         EXPECT_FALSE(any_deleted(r));
         expect_record(r, 39, "test_dir", 5, 1);
         expect_record(r, 43, "111111111111111.txt", 39, 2);
     }},
    {"ntfs-lastaccess.raw.gz", "/dev/hda1", 256,
     [](records_t& r, scan_c& scan, const std::string& dir) {
         expect_record(r, 39, "test", 5, 1);
         expect_record(r, 43, "1.txt", 39, 2);
         std::string text;
         for (int i = 0; i < 8; ++i) text += std::string(i ? " " : "") + "test test 123 456";
         auto bytes = recovered(scan, 43, dir + "/1.txt");  // resident data
         EXPECT_EQ(std::string(bytes.begin(), bytes.end()), text);
     }},
    {"ntfs-2m.raw.gz", "/dev/hda1", 2048,
     [](records_t& r, scan_c& scan, const std::string& dir) {
         expect_record(r, 36, "System Volume Information", 5, 1);
         expect_record(r, 33, "$TxfLog.blf", 30, 2);
         EXPECT_EQ(recovered(scan, 33, dir + "/blf").size(), 65536u);  // one 2 MiB cluster, part of it
     }},
    {"ntfs3.raw.gz", "/dev/hda0", 1152,
     [](records_t& r, scan_c& scan, const std::string& dir) {
         for (uint64_t n = 12; n < 24; ++n) EXPECT_FALSE(r.count(n)) << n;  // reserved and nameless
         expect_record(r, 27, "test", 5, 1);
         expect_record(r, 28, "1.txt", 27, 2);
         auto bytes = recovered(scan, 28, dir + "/1.txt");  // 70 clusters
         std::string expected;
         for (int i = 0; i < 40953; ++i) expected += "secret\n";
         EXPECT_EQ(std::string(bytes.begin(), bytes.end()), expected);
     }},
    {"vss_1_vol.tar.gz", "/dev/hda2", 256,
     [](records_t& r, scan_c& scan, const std::string& dir) {
         expect_record(r, 40, "System Volume Information", 5, 1);
         expect_record(r, 42, "{3808876b-c176-4e48-b7ae-04046e6cc752}", 40, 0x82);
         EXPECT_EQ(r[42].size, 65536u);
         size_t deleted = 0;
         for (auto& [n, rec] : r) deleted += (rec.flags & vessor::flag_deleted) ? 1 : 0;
         EXPECT_EQ(deleted, 1u);
         // Its stream was never written (initialized size 0): it reads as zeros.
         EXPECT_EQ(recovered(scan, 42, dir + "/42"), std::vector<uint8_t>(65536, 0));
         EXPECT_EQ(recovered(scan, 36, dir + "/test.txt"), std::vector<uint8_t>(703800, '3'));
     }},
};

TEST_F(ntfs_real_image_test, tables_scan_and_hold_what_they_are_known_to_hold) {
    const char* system_names[] = {"$MFT",    "$MFTMirr", "$LogFile", "$Volume", "$AttrDef", ".",
                                  "$Bitmap", "$Boot",    "$BadClus", "$Secure", "$UpCase",  "$Extend"};
    for (const image_case_s& c : image_cases) {
        SCOPED_TRACE(c.archive);
        auto image = test_support::unpack_testdata(c.archive);
        if (!image) GTEST_SKIP() << "shared test data absent: " << c.archive;
        // Images up to a few hundred MiB are hashed; for the larger ones their unchanged
        // modification time and size show that nothing wrote to them.
        struct stat before {};
        ::stat(image->c_str(), &before);
        bool hash = before.st_size <= (300 << 20);
        std::string hash_before = hash ? test_support::sha256_file(*image) : "";
        use_disk_files({*image});
        test_support::scratch_dir dir;
        {
            scan_c scan;
            ASSERT_EQ(scan.start(c.device), 0);
            EXPECT_EQ(vessor::context_total(scan.context()), c.records);
            auto records = scan.by_number();
            for (uint64_t n = 0; n < 12; ++n) expect_record(records, n, system_names[n], 5, n == 5 || n == 11 ? 1 : 2);
            c.check(records, scan, dir.path());
        }
        struct stat after {};
        ::stat(image->c_str(), &after);
        EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
        EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
        EXPECT_EQ(after.st_size, before.st_size);
        if (hash) {
            EXPECT_EQ(test_support::sha256_file(*image), hash_before);
        }
    }
}

}  // namespace
