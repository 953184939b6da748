// Volumes that cannot be opened, records and data that cannot be used: each gives its result
// code, never a crash, and nothing half-read is presented as a success.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <functional>

#include "platform/byte_reader.h"
#include "platform/test_seam.h"
#include "tests/support/test_support.h"
#include "tests/vessor/vessor_test_support.h"

using namespace vessor_test;
using ntfs_fixture::entry_options_s;
using ntfs_fixture::ntfs_builder_c;
using ntfs_fixture::storage_e;

namespace {

class ntfs_damaged_volume_test : public vessor_test_c {};

entry_options_s deleted(storage_e storage = storage_e::automatic) {
    entry_options_s o;
    o.deleted = true;
    o.storage = storage;
    return o;
}

bool exists(const std::string& path) {
    struct stat info {};
    return ::lstat(path.c_str(), &info) == 0;
}

TEST_F(ntfs_damaged_volume_test, volumes_that_cannot_be_opened) {
    ntfs_fixture::volume_options_s options;
    options.mft_fragments = 3;
    options.mft_attribute_list = true;
    ntfs_builder_c b(options);
    b.add_file(5, "a", pattern_bytes(9000, 1), deleted());
    auto intact = build_volume(b);
    const uint64_t record0 = b.record_offset(0), record15 = b.record_offset(15);
    const uint64_t mft_lcn = platform::byte_reader(intact->data(), 512).u64(48);

    using patch_f = std::function<void(std::vector<uint8_t>&)>;
    struct case_s {
        const char* what;
        patch_f patch;
        int result;
    };
    const case_s cases[] = {
        {"no boot sector", [](auto& v) { std::fill_n(v.begin(), 512, 0); }, vessor::error_not_ntfs},
        {"three sectors per cluster", [](auto& v) { v[13] = 3; }, vessor::error_not_ntfs},
        {"no record size", [](auto& v) { v[64] = 0; }, vessor::error_not_ntfs},
        {"cluster size beyond 2 MiB", [](auto& v) { v[13] = 0xF0; }, vessor::error_not_ntfs},
        {"table beyond the volume", [](auto& v) { platform::put_le(v.data() + 48, 1ULL << 40, 8); },
         vessor::error_not_ntfs},
        {"table's record with a torn sector", [&](auto& v) { v[record0 + 1022] ^= 0xFF; }, vessor::error_table},
        {"table's record overwritten", [&](auto& v) { std::fill_n(v.begin() + record0, 1024, 0x41); },
         vessor::error_table},
        {"table's extension record torn", [&](auto& v) { v[record15 + 510] ^= 0xFF; }, vessor::error_table},
        {"table runs past the volume's end",
         [&](auto& v) { platform::put_le(v.data() + 40, (mft_lcn + 2) * 8, 8); }, vessor::error_table},
        {"image cut before the table", [&](auto& v) { v.resize(mft_lcn * 4096); }, vessor::error_read},
    };
    for (const case_s& c : cases) {
        SCOPED_TRACE(c.what);
        auto image = std::make_shared<std::vector<uint8_t>>(*intact);
        c.patch(*image);
        use_memory_disks({image});
        scan_c scan;
        EXPECT_EQ(scan.start("/dev/hda0"), c.result);
        EXPECT_FALSE(vessor::context_is_open(scan.context()));
        platform::test::remove_memory_disks();
    }
}

TEST_F(ntfs_damaged_volume_test, a_record_whose_fixups_do_not_match_is_refused) {
    ntfs_builder_c b;
    uint64_t before = b.add_file(5, "before", pattern_bytes(10, 1), deleted());
    uint64_t torn = b.add_file(5, "torn", pattern_bytes(10, 2), deleted());
    uint64_t after = b.add_file(5, "after", pattern_bytes(10, 3), deleted());
    auto image = build_volume(b);
    (*image)[b.record_offset(torn) + 510] ^= 0x01;  // the sector end no longer carries the sequence number
    use_memory_disks({image});

    scan_c scan;
    ASSERT_EQ(scan.start("/dev/hda0"), 0);
    auto records = scan.by_number();
    EXPECT_TRUE(records.count(before));
    EXPECT_FALSE(records.count(torn));
    EXPECT_TRUE(records.count(after));
    test_support::scratch_dir dir;
    EXPECT_EQ(scan.recover(torn, dir.file("torn")), vessor::error_no_record);
    EXPECT_FALSE(exists(dir.file("torn")));
}

TEST_F(ntfs_damaged_volume_test, an_unreadable_stretch_of_the_table_costs_only_its_records) {
    ntfs_builder_c b;
    std::vector<uint64_t> files;
    for (int i = 0; i < 40; ++i) files.push_back(b.add_file(5, "f" + std::to_string(i), {1, 2}, deleted()));
    auto image = build_volume(b);
    use_memory_disks({image});
    platform::test::add_bad_range("mem:d0", b.record_offset(files[20]), 1024);

    scan_c scan;
    ASSERT_EQ(scan.start("/dev/hda0"), 0);
    auto records = scan.by_number();  // also checks that the position still reaches the end
    for (size_t i = 0; i < files.size(); ++i) EXPECT_EQ(records.count(files[i]), i == 20 ? 0u : 1u) << i;
}

TEST_F(ntfs_damaged_volume_test, data_that_cannot_be_had_is_a_failure) {
    ntfs_builder_c b;
    uint64_t early = b.add_file(5, "early", pattern_bytes(20000, 1), deleted(storage_e::contiguous));
    uint64_t unreadable = b.add_file(5, "unreadable", pattern_bytes(20000, 2), deleted(storage_e::contiguous));
    std::vector<uint8_t> text;
    for (int i = 0; i < 5000; ++i) text.push_back(static_cast<uint8_t>("abcabcabd"[i % 9]));
    uint64_t packed = b.add_file(5, "packed", text, deleted(storage_e::compressed));
    uint64_t late = b.add_file(5, "late", pattern_bytes(20000, 3), deleted(storage_e::contiguous));
    auto image = build_volume(b);
    const uint64_t cs = 4096;
    // The compressed unit's first cluster turns to garbage.
    std::fill_n(image->begin() + b.data_extents(packed)[0].lcn * cs, 64, 0xFF);
    // The volume ends before the last file's clusters.
    platform::put_le(image->data() + 40, b.data_extents(late)[0].lcn * (cs / 512), 8);
    auto pristine = *image;
    use_memory_disks({image});
    platform::test::add_bad_range("mem:d0", b.data_extents(unreadable)[0].lcn * cs + cs, 512);

    scan_c scan;
    ASSERT_EQ(scan.start("/dev/hda0"), 0);
    EXPECT_EQ(scan.by_number().size(), 15u + 4);
    test_support::scratch_dir dir;
    EXPECT_EQ(scan.recover(early, dir.file("early")), 0);
    EXPECT_EQ(test_support::read_file(dir.file("early")), pattern_bytes(20000, 1));
    EXPECT_EQ(scan.recover(unreadable, dir.file("unreadable")), vessor::error_read);
    EXPECT_EQ(scan.recover(packed, dir.file("packed")), vessor::error_compression);
    EXPECT_EQ(scan.recover(late, dir.file("late")), vessor::error_runs);
    EXPECT_FALSE(exists(dir.file("late")));  // refused before a target was made
    EXPECT_EQ(*image, pristine);
}

TEST_F(ntfs_damaged_volume_test, records_and_targets_that_give_nothing) {
    ntfs_builder_c b;
    uint64_t folder = b.add_folder(5, "folder", deleted());
    entry_options_s split = deleted(storage_e::fragmented);
    split.extension_records = 2;
    b.add_file(5, "pieces", pattern_bytes(20000, 1), split);  // its extension records follow the last entry
    entry_options_s secret = deleted(storage_e::contiguous);
    secret.encrypted = true;
    uint64_t encrypted = b.add_file(5, "secret", pattern_bytes(9000, 2), secret);
    uint64_t plain = b.add_file(5, "plain", pattern_bytes(9000, 3), deleted());
    use_memory_disks({build_volume(b)});
    scan_c scan;
    ASSERT_EQ(scan.start("/dev/hda0"), 0);
    scan.all();

    test_support::scratch_dir dir;
    struct case_s {
        const char* what;
        uint64_t record;
        std::string target;
        int result;
    };
    const case_s cases[] = {
        {"beyond the table", b.table_records(), dir.file("beyond"), vessor::error_no_record},
        {"far beyond the table", ~0ULL, dir.file("far"), vessor::error_no_record},
        {"never used", 20, dir.file("never"), vessor::error_no_record},
        {"an extension record", plain + 1, dir.file("extension"), vessor::error_no_record},  // the first after every entry
        {"a folder", folder, dir.file("folder"), vessor::error_no_data},
        {"encrypted", encrypted, dir.file("secret"), vessor::error_encrypted},
        {"target in a missing folder", plain, dir.file("missing/plain"), vessor::error_target},
    };
    for (const case_s& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(scan.recover(c.record, c.target), c.result);
        EXPECT_FALSE(exists(c.target));
    }

    // A symbolic link at the target is not followed; an existing file is replaced whole.
    std::string outside = dir.file("outside");
    ASSERT_TRUE(test_support::write_file(outside, {9, 9, 9}));
    ASSERT_EQ(::symlink(outside.c_str(), dir.file("link").c_str()), 0);
    EXPECT_EQ(scan.recover(plain, dir.file("link")), vessor::error_target);
    EXPECT_EQ(test_support::read_file(outside), (std::vector<uint8_t>{9, 9, 9}));
    ASSERT_TRUE(test_support::write_file(dir.file("existing"), pattern_bytes(50000, 4)));
    EXPECT_EQ(scan.recover(plain, dir.file("existing")), 0);
    EXPECT_EQ(test_support::read_file(dir.file("existing")), pattern_bytes(9000, 3));
}

// Bytes of the table and of the runs changed at random: whatever comes out, the scan ends,
// every call returns a result code, and nothing outside the buffers is touched (the sanitizer
// build watches that).
TEST_F(ntfs_damaged_volume_test, random_damage_to_the_table_never_breaks_the_reader) {
    ntfs_fixture::volume_options_s options;
    options.mft_fragments = 2;
    options.mft_attribute_list = true;
    ntfs_builder_c b(options);
    uint64_t folder = b.add_folder(5, "folder", deleted());
    entry_options_s split = deleted(storage_e::fragmented);
    split.extension_records = 2;
    b.add_file(folder, "pieces", pattern_bytes(40000, 1), split);
    b.add_file(folder, "sparse", std::vector<uint8_t>(40000, 0), deleted(storage_e::sparse));
    std::vector<uint8_t> text(30000, 'a');
    b.add_file(folder, "packed", text, deleted(storage_e::compressed));
    b.add_file(5, "small", pattern_bytes(200, 2), deleted());
    auto intact = build_volume(b);
    const uint64_t first = b.record_offset(0), span = 48 * 1024;
    test_support::scratch_dir dir;
    uint32_t x = 12345;
    auto next = [&] {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        return x;
    };
    auto image = std::make_shared<std::vector<uint8_t>>(*intact);
    use_memory_disks({image});
    for (int round = 0; round < 150; ++round) {
        *image = *intact;  // the disk's buffer is shared: each round damages a fresh copy in place
        for (int k = 0; k < 12; ++k) (*image)[first + next() % span] = static_cast<uint8_t>(next());
        scan_c scan;
        if (scan.start("/dev/hda0") == 0) {
            std::vector<uint8_t> record(vessor::record_size);
            for (int guard = 0; guard < 100000 && ntfs_scan_next(scan.context(), record.data()); ++guard) {
                uint64_t number = decode_record(record.data()).number;
                ::unlink(dir.file("out").c_str());  // as the engine does (ext4 flushes files truncated in place)
                int result = scan.recover(number, dir.file("out"));
                EXPECT_TRUE(result <= 0 && result >= vessor::error_internal) << result;
            }
        }
    }
}

}  // namespace
