// Scanning builder volumes: which records come out, in which order, with which fields; device
// names; the life of a context block.
#include <gtest/gtest.h>

#include "tests/support/test_support.h"
#include "tests/vessor/vessor_test_support.h"

using namespace vessor_test;
using ntfs_fixture::entry_options_s;
using ntfs_fixture::ntfs_builder_c;
using ntfs_fixture::storage_e;

namespace {

class ntfs_scan_test : public vessor_test_c {};

entry_options_s deleted() {
    entry_options_s o;
    o.deleted = true;
    return o;
}

TEST_F(ntfs_scan_test, lists_every_named_base_record_in_record_order) {
    ntfs_builder_c b;
    entry_options_s timed;
    timed.creation_time = 1000000000;
    timed.modification_time = 1100000000;
    uint64_t docs = b.add_folder(5, "Documents", timed);
    uint64_t old = b.add_folder(docs, "Old", deleted());
    uint64_t kept = b.add_file(docs, "kept.txt", pattern_bytes(100, 1));
    entry_options_s gone_options = deleted();
    gone_options.creation_time = 1200000000;
    gone_options.modification_time = 1300000000;
    uint64_t gone = b.add_file(old, "gone.bin", pattern_bytes(20000, 2), gone_options);
    entry_options_s dos = deleted();
    dos.dos_name = "ALONGN~1.TXT";  // written before the long name: the long one must still win
    uint64_t long_name = b.add_file(5, "A long name.txt", pattern_bytes(10, 3), dos);
    uint64_t orphan = b.add_file(4000, "orphan.txt", pattern_bytes(10, 4), deleted());
    entry_options_s pieces = deleted();
    pieces.storage = storage_e::fragmented;
    pieces.fragments = 4;
    pieces.extension_records = 2;
    uint64_t split = b.add_file(5, "pieces.bin", pattern_bytes(30000, 5), pieces);
    uint64_t unicode = b.add_file(docs, "Grüße €.txt", pattern_bytes(10, 6), deleted());
    use_memory_disks({build_volume(b)});

    scan_c scan;
    ASSERT_EQ(scan.start("/dev/hda0"), 0);
    EXPECT_EQ(vessor::context_total(scan.context()), static_cast<int64_t>(b.table_records()));
    auto records = scan.by_number();

    struct expected_s {
        uint64_t number;
        const char* name;
        uint64_t parent;
        uint32_t flags;
        uint64_t size;
    };
    const expected_s expected[] = {
        {0, "$MFT", 5, 2, b.table_records() * 1024},
        {1, "$MFTMirr", 5, 2, 4096},
        {2, "$LogFile", 5, 2, 256 * 1024},
        {3, "$Volume", 5, 2, 0},
        {4, "$AttrDef", 5, 2, 2560},
        {5, ".", 5, 1, 0},
        {6, "$Bitmap", 5, 2, records.count(6) ? records[6].size : 0},
        {7, "$Boot", 5, 2, 8192},
        {8, "$BadClus", 5, 2, 0},
        {9, "$Secure", 5, 2, 0},
        {10, "$UpCase", 5, 2, 131072},
        {11, "$Extend", 5, 1, 0},
        {24, "$Quota", 11, 2, 0},
        {25, "$ObjId", 11, 2, 0},
        {26, "$Reparse", 11, 2, 0},
        {docs, "Documents", 5, 1, 0},
        {old, "Old", docs, 0x81, 0},
        {kept, "kept.txt", docs, 2, 100},
        {gone, "gone.bin", old, 0x82, 20000},
        {long_name, "A long name.txt", 5, 0x82, 10},
        {orphan, "orphan.txt", 4000, 0x82, 10},
        {split, "pieces.bin", 5, 0x82, 30000},
        {unicode, "Grüße €.txt", docs, 0x82, 10},
    };
    // Nothing else: no unnamed reserved records, no never-used ones, no extension records.
    EXPECT_EQ(records.size(), std::size(expected));
    for (const expected_s& e : expected) {
        SCOPED_TRACE(e.name);
        ASSERT_TRUE(records.count(e.number));
        const scanned_s& r = records[e.number];
        EXPECT_EQ(r.name, e.name);
        EXPECT_EQ(r.parent, e.parent);
        EXPECT_EQ(r.flags, e.flags);
        EXPECT_EQ(r.size, e.size);
    }
    EXPECT_EQ(records[docs].time_b, 1000000000);
    EXPECT_EQ(records[docs].time_a, 1100000000);
    EXPECT_EQ(records[gone].time_b, 1200000000);
    EXPECT_EQ(records[gone].time_a, 1300000000);
}

TEST_F(ntfs_scan_test, a_record_buffer_is_written_whole) {
    ntfs_builder_c b;
    b.add_file(5, "x", {1, 2, 3}, deleted());
    use_memory_disks({build_volume(b)});
    scan_c scan;
    ASSERT_EQ(scan.start("/dev/hda0"), 0);
    std::vector<uint8_t> record(vessor::record_size, 0xCD);
    ASSERT_EQ(ntfs_scan_next(scan.context(), record.data()), 1);
    scanned_s first = decode_record(record.data());
    EXPECT_EQ(first.name, "$MFT");
    size_t after_name = vessor::record_name_offset + 2 * first.name.size();
    for (size_t i = after_name; i < vessor::record_size; ++i) ASSERT_EQ(record[i], 0) << "byte " << i;
}

// Every deleted file of a volume comes back byte for byte, whatever the geometry and however
// the table and the files are laid out.
TEST_F(ntfs_scan_test, every_deleted_file_recovers_exactly_across_geometries) {
    struct geometry_s {
        uint32_t bytes_per_sector, cluster_size, record_size;
        unsigned mft_fragments;
        bool mft_attribute_list;
        uint64_t min_records = 200;
    };
    const geometry_s geometries[] = {
        {512, 4096, 1024, 1, false},
        {512, 512, 1024, 3, true},     // records straddle clusters and fragments
        {512, 1024, 4096, 4, true},
        {512, 2048, 1024, 5, false},
        {4096, 4096, 4096, 2, true},   // 4 KiB sectors
        {512, 65536, 1024, 1, false},
        {512, 2 * 1024 * 1024, 1024, 2, false, 4096},  // two clusters of table
    };
    test_support::scratch_dir dir;
    for (const geometry_s& g : geometries) {
        SCOPED_TRACE("cluster " + std::to_string(g.cluster_size) + ", record " + std::to_string(g.record_size) +
                     ", sector " + std::to_string(g.bytes_per_sector));
        ntfs_fixture::volume_options_s options;
        options.bytes_per_sector = g.bytes_per_sector;
        options.cluster_size = g.cluster_size;
        options.record_size = g.record_size;
        options.mft_fragments = g.mft_fragments;
        options.mft_attribute_list = g.mft_attribute_list;
        options.min_records = g.min_records;
        ntfs_builder_c b(options);
        uint64_t folder = b.add_folder(5, "folder");
        for (int i = 0; i < 120; ++i)  // enough live names for a B-tree of index blocks
            b.add_file(folder, "live " + std::to_string(i), pattern_bytes(20, i));

        std::map<uint64_t, std::vector<uint8_t>> originals;
        auto add = [&](const std::string& name, std::vector<uint8_t> data, storage_e storage, unsigned extensions = 0) {
            entry_options_s o = deleted();
            o.storage = storage;
            o.fragments = 3;
            o.extension_records = extensions;
            uint64_t record = b.add_file(folder, name, data, o);
            ASSERT_NE(record, 0u) << b.error();
            originals[record] = std::move(data);
        };
        add("empty", {}, storage_e::resident);
        add("resident", pattern_bytes(300, 10), storage_e::resident);
        add("contiguous", pattern_bytes(3 * g.cluster_size + 17, 11), storage_e::contiguous);
        add("fragmented", pattern_bytes(5 * g.cluster_size + 1, 12), storage_e::fragmented);
        add("in pieces", pattern_bytes(7 * g.cluster_size, 13), storage_e::fragmented, 2);
        add("resident elsewhere", pattern_bytes(40, 14), storage_e::resident, 1);
        std::vector<uint8_t> sparse(9 * g.cluster_size, 0);
        std::fill_n(sparse.begin() + 2 * g.cluster_size + 5, 100, 0x5A);
        std::fill_n(sparse.end() - 10, 10, 0xA5);
        add("sparse", sparse, storage_e::sparse);
        if (g.cluster_size <= 4096) {
            std::vector<uint8_t> mixed;
            for (int i = 0; i < 3000; ++i) {
                std::string line = "line " + std::to_string(i % 97) + " of a compressible text\n";
                mixed.insert(mixed.end(), line.begin(), line.end());
            }
            auto noise = pattern_bytes(40000, 15);  // a unit that does not compress
            mixed.insert(mixed.end(), noise.begin(), noise.end());
            mixed.resize(mixed.size() + 20 * g.cluster_size, 0);  // whole units of zeros
            mixed.push_back('!');
            add("compressed", mixed, storage_e::compressed);
        }
        auto image = build_volume(b);
        ASSERT_FALSE(image->empty());
        auto before = *image;
        use_memory_disks({image});

        scan_c scan;
        ASSERT_EQ(scan.start("/dev/hda0"), 0);
        auto records = scan.by_number();
        EXPECT_EQ(records.size(), 15u + 1 + 120 + originals.size());
        for (const auto& [record, data] : originals) {
            ASSERT_TRUE(records.count(record));
            EXPECT_EQ(records[record].flags, 0x82u);
            EXPECT_EQ(records[record].size, data.size()) << records[record].name;
            std::string target = dir.file(std::to_string(record));
            EXPECT_EQ(scan.recover(record, target), 0) << records[record].name;
            EXPECT_EQ(test_support::read_file(target), data) << records[record].name;
        }
        EXPECT_EQ(*image, before);  // nothing was written to the volume
    }
}

TEST_F(ntfs_scan_test, device_names_resolve_to_disk_and_partition) {
    ntfs_builder_c b;
    b.add_file(5, "here.txt", {1}, deleted());
    auto volume = build_volume(b);
    test_support::scratch_dir dir;
    std::string partitioned = dir.file("disk.img");
    ASSERT_TRUE(test_support::write_file(partitioned, ntfs_fixture::mbr_disk(*volume, 2048)));
    std::string blank = dir.file("blank.img");
    ASSERT_TRUE(test_support::make_sparse_file(blank, 4 << 20));
    use_disk_files({blank, partitioned});

    struct case_s {
        const char* name;
        int result;
    };
    const case_s cases[] = {
        {"/dev/hdb1", 0},
        {"/dev/hdb0", vessor::error_not_ntfs},  // the whole disk starts with its MBR
        {"/dev/hda0", vessor::error_not_ntfs},
        {"/dev/hdb2", vessor::error_device},
        {"/dev/hdc0", vessor::error_device},
        {"/dev/hdb", vessor::error_device},
        {"/dev/hdb1x", vessor::error_device},
        {"/dev/hdB1", vessor::error_device},
        {"/dev/sdb1", vessor::error_device},
        {"", vessor::error_device},
    };
    for (const case_s& c : cases) {
        SCOPED_TRACE(c.name);
        scan_c scan;
        EXPECT_EQ(scan.start(c.name), c.result);
        EXPECT_EQ(vessor::context_is_open(scan.context()), c.result == 0);
        if (c.result == 0) {
            EXPECT_EQ(scan.all().back().name, "here.txt");
        }
    }
    std::vector<uint8_t> context(vessor::context_size);
    EXPECT_EQ(ntfs_scan_startup(nullptr, context.data()), vessor::error_argument);
    EXPECT_EQ(ntfs_scan_startup("/dev/hdb1", nullptr), vessor::error_argument);
}

TEST_F(ntfs_scan_test, context_blocks_are_checked_before_use) {
    ntfs_builder_c b;
    uint64_t file = b.add_file(5, "f", {7, 7, 7}, deleted());
    use_memory_disks({build_volume(b)});
    test_support::scratch_dir dir;
    std::vector<uint8_t> record(vessor::record_size);

    std::vector<uint8_t> context(vessor::context_size, 0);
    ASSERT_EQ(ntfs_scan_startup("/dev/hda0", context.data()), 0);
    ASSERT_EQ(ntfs_scan_next(context.data(), record.data()), 1);
    // A second start on the same block replaces the first context and starts from record 0.
    ASSERT_EQ(ntfs_scan_startup("/dev/hda0", context.data()), 0);
    ASSERT_EQ(ntfs_scan_next(context.data(), record.data()), 1);
    EXPECT_EQ(decode_record(record.data()).number, 0u);
    std::vector<uint8_t> copy = context;

    EXPECT_EQ(ntfs_scan_cleanup(context.data()), 0);
    EXPECT_EQ(context, std::vector<uint8_t>(vessor::context_size, 0));
    EXPECT_EQ(ntfs_scan_cleanup(context.data()), vessor::error_argument);
    EXPECT_EQ(ntfs_scan_next(context.data(), record.data()), 0);

    // A copy of a closed block, and a block of garbage, are refused rather than followed.
    std::vector<uint8_t> garbage = pattern_bytes(vessor::context_size, 99);
    garbage[0] = 1;
    for (std::vector<uint8_t>* block : {&copy, &garbage}) {
        EXPECT_EQ(ntfs_scan_next(block->data(), record.data()), 0);
        uint32_t detail = 0;
        EXPECT_EQ(ntfs_recover_file(block->data(), file, dir.file("x").c_str(), &detail), vessor::error_argument);
        EXPECT_EQ(detail, static_cast<uint32_t>(vessor::error_argument));
        EXPECT_EQ(ntfs_scan_cleanup(block->data()), vessor::error_argument);
    }
    EXPECT_EQ(ntfs_scan_next(nullptr, record.data()), 0);
}

}  // namespace
