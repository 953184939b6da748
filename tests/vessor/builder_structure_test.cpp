// The volume builder against volumes Windows made: the same system records, boot sector fields,
// attribute definitions and case table, and folder indexes that read the same way as Windows'
// own. Without this the builder would only agree with our own reader.
#include <gtest/gtest.h>

#include <set>

#include "tests/support/test_support.h"
#include "tests/vessor/vessor_test_support.h"
#include "vessor/file_record.h"
#include "vessor/table_reader.h"

using namespace vessor_test;
using ntfs_fixture::entry_options_s;
using ntfs_fixture::ntfs_builder_c;

namespace {

class ntfs_builder_structure_test : public vessor_test_c {};

// One opened volume, read through the library's own table reader.
struct opened_s {
    vessor::volume_source_c volume;
    vessor::table_reader_c table;
    std::vector<uint8_t> boot;

    bool open(const std::string& device) {
        if (volume.open(device.c_str()) != 0) return false;
        boot.assign(512, 0);
        vessor::volume_geometry_s geometry;
        return volume.read(0, boot.data(), 512) &&
               vessor::parse_boot_sector(platform::byte_reader(boot.data(), 512), geometry) &&
               table.open(&volume, geometry) == 0;
    }
};

// Attributes of a record as "type name form", without those whose presence depends on what a
// volume holds or on the Windows version: object ids, transaction data, and index allocations
// with their bitmaps (they appear once an index outgrows its record).
std::vector<std::string> record_shape(const opened_s& v, uint64_t number, std::string& header) {
    std::vector<uint8_t> bytes;
    if (!v.table.read_record(number, bytes)) return {"unreadable"};
    platform::byte_reader record(bytes.data(), bytes.size());
    vessor::record_header_s h;
    std::vector<vessor::attribute_s> attributes;
    if (!vessor::parse_record_header(record, h) || !vessor::list_attributes(record, h, attributes)) return {"bad"};
    header = "flags " + std::to_string(h.flags) + " sequence " + std::to_string(h.sequence) + " links " +
             std::to_string(record.u16(18));
    std::vector<std::string> shape;
    for (const auto& a : attributes) {
        bool named_index_part = (a.type == 0xA0 || a.type == 0xB0) && !a.name.empty();
        if (a.type == 0x40 || a.type == 0x100 || named_index_part) continue;
        std::string name(a.name.begin(), a.name.end());
        std::string form = a.nonresident ? "N" : "R";
        if (a.type == vessor::attribute_standard_information) form += std::to_string(a.value.size());
        shape.push_back(std::to_string(a.type) + " " + name + " " + form);
    }
    return shape;
}

std::vector<uint8_t> recover(scan_c& scan, uint64_t record, const std::string& path) {
    EXPECT_EQ(scan.recover(record, path), 0);
    return test_support::read_file(path);
}

TEST_F(ntfs_builder_structure_test, system_records_and_boot_sector_match_windows) {
    TARNWELL_TESTDATA_OR_SKIP(windows, "vss_1_vol.tar.gz");  // Windows 10, 4 KiB clusters
    ntfs_builder_c b;
    b.add_file(5, "file", pattern_bytes(100, 1));
    test_support::scratch_dir dir;
    ASSERT_TRUE(b.write_image(dir.file("built.img"))) << b.error();
    use_disk_files({windows, dir.file("built.img")});
    opened_s real, built;
    ASSERT_TRUE(real.open("/dev/hda2"));
    ASSERT_TRUE(built.open("/dev/hdb0"));

    std::vector<uint64_t> system_records;
    for (uint64_t n = 0; n < 16; ++n) system_records.push_back(n);
    for (uint64_t n = 24; n <= 26; ++n) system_records.push_back(n);
    for (uint64_t n : system_records) {
        SCOPED_TRACE("record " + std::to_string(n));
        std::string real_header, built_header;
        EXPECT_EQ(record_shape(built, n, built_header), record_shape(real, n, real_header));
        EXPECT_EQ(built_header, real_header);
    }

    // Boot sector: everything but what depends on the volume's size, place and serial number.
    for (size_t at : {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25, 26,
                      27, 36, 37, 38, 39, 64, 65, 66, 67, 68, 69, 70, 71, 510, 511})
        EXPECT_EQ(built.boot[at], real.boot[at]) << "boot sector byte " << at;
    // The backup boot sector is the sector after the counted ones, the volume's last.
    auto image = test_support::read_file(dir.file("built.img"));
    uint64_t total_sectors = platform::byte_reader(built.boot.data(), 512).u64(40);
    EXPECT_EQ(image.size() / 512, total_sectors + 1);
    EXPECT_TRUE(std::equal(built.boot.begin(), built.boot.end(), image.end() - 512));
}

TEST_F(ntfs_builder_structure_test, two_mebibyte_clusters_are_described_as_windows_does) {
    TARNWELL_TESTDATA_OR_SKIP(windows, "ntfs-2m.raw.gz");
    ntfs_fixture::volume_options_s options;
    options.cluster_size = 2 * 1024 * 1024;
    ntfs_builder_c b(options);
    test_support::scratch_dir dir;
    ASSERT_TRUE(b.write_image(dir.file("built.img"))) << b.error();
    use_disk_files({windows, dir.file("built.img")});
    opened_s real, built;
    ASSERT_TRUE(real.open("/dev/hda1"));
    ASSERT_TRUE(built.open("/dev/hdb0"));
    for (size_t at : {11, 12, 13, 64, 68})  // sector size, sectors per cluster, record and index block sizes
        EXPECT_EQ(built.boot[at], real.boot[at]) << "boot sector byte " << at;
    std::string real_header, built_header;
    EXPECT_EQ(record_shape(built, 0, built_header), record_shape(real, 0, real_header));
}

TEST_F(ntfs_builder_structure_test, attribute_definitions_and_case_table_match_windows) {
    TARNWELL_TESTDATA_OR_SKIP(windows, "vss_1_vol.tar.gz");
    ntfs_builder_c b;
    test_support::scratch_dir dir;
    ASSERT_TRUE(b.write_image(dir.file("built.img"))) << b.error();
    use_disk_files({windows, dir.file("built.img")});
    scan_c real, built;
    ASSERT_EQ(real.start("/dev/hda2"), 0);
    ASSERT_EQ(built.start("/dev/hdb0"), 0);
    EXPECT_EQ(recover(built, 4, dir.file("attrdef.built")), recover(real, 4, dir.file("attrdef.real")));
    auto real_case = recover(real, 10, dir.file("upcase.real")), built_case = recover(built, 10, dir.file("upcase.b"));
    ASSERT_EQ(built_case.size(), real_case.size());
    // Basic Latin to Latin Extended-B agree unit for unit; Windows' table predates the pairs
    // Unicode added from U+023F on.
    EXPECT_TRUE(std::equal(built_case.begin(), built_case.begin() + 2 * 0x23F, real_case.begin()));
}

// An $I30 index read from the root down, names in tree order.
class index_reader_c {
public:
    index_reader_c(const opened_s& v) : v_(v) {}

    bool names(uint64_t folder, std::vector<std::u16string>& out) {
        std::vector<uint8_t> bytes;
        if (!v_.table.read_record(folder, bytes)) return false;
        platform::byte_reader record(bytes.data(), bytes.size());
        vessor::record_header_s h;
        std::vector<vessor::attribute_s> attributes;
        if (!vessor::parse_record_header(record, h) || !vessor::list_attributes(record, h, attributes)) return false;
        platform::byte_reader root;
        for (const auto& a : attributes) {
            if (a.name != u"$I30") continue;
            if (a.type == 0x90) root = a.value;
            std::vector<vessor::extent_s> extents;
            if (a.type == 0xA0 &&
                (!vessor::decode_runs(a.mapping_pairs, 0, extents) || !v_.table.read_stream(extents, a.data_size, blocks_)))
                return false;
        }
        if (!root.has(0, 32)) return false;
        block_size_ = root.u32(8);
        vcn_unit_ = block_size_ >= v_.table.geometry().cluster_size ? v_.table.geometry().cluster_size : 512;
        return walk(root.sub(16, root.size() - 16), 0, out);
    }

private:
    bool walk(platform::byte_reader header, int depth, std::vector<std::u16string>& out) {
        if (depth > 8) return false;
        size_t at = header.u32(0);
        while (header.has(at, 16)) {
            size_t length = header.u16(at + 8), key = header.u16(at + 10), flags = header.u16(at + 12);
            if (length < 16 || !header.has(at, length)) return false;
            if ((flags & 1) && !block(header.u64(at + length - 8), depth, out)) return false;
            if (flags & 2) return true;
            platform::byte_reader name = header.sub(at + 16, key);
            std::u16string text(name.u8(64), u'\0');
            for (size_t i = 0; i < text.size(); ++i) text[i] = static_cast<char16_t>(name.u16(66 + 2 * i));
            out.push_back(text);
            at += length;
        }
        return false;
    }

    bool block(uint64_t vcn, int depth, std::vector<std::u16string>& out) {
        uint64_t offset = vcn * vcn_unit_;
        if (offset + block_size_ > blocks_.size()) return false;
        std::vector<uint8_t> bytes(blocks_.begin() + offset, blocks_.begin() + offset + block_size_);
        platform::byte_reader b(bytes.data(), bytes.size());
        if (!b.matches(0, "INDX") || !vessor::apply_fixups(bytes.data(), bytes.size()) || b.u64(16) != vcn) return false;
        return walk(b.sub(24, bytes.size() - 24), depth + 1, out);
    }

    const opened_s& v_;
    std::vector<uint8_t> blocks_;
    uint32_t block_size_ = 0;
    uint64_t vcn_unit_ = 512;
};

// True when the names follow the index order of the volume's own case table.
bool in_collation_order(const std::vector<std::u16string>& names, const std::vector<uint8_t>& upcase) {
    auto up = [&](char16_t c) { return static_cast<uint16_t>(upcase[2 * c] | (upcase[2 * c + 1] << 8)); };
    auto key = [&](const std::u16string& s) {
        std::u16string k;
        for (char16_t c : s) k.push_back(static_cast<char16_t>(up(c)));
        return k;
    };
    for (size_t i = 1; i < names.size(); ++i)
        if (key(names[i]) < key(names[i - 1])) return false;
    return true;
}

TEST_F(ntfs_builder_structure_test, folder_indexes_read_like_the_ones_windows_wrote) {
    TARNWELL_TESTDATA_OR_SKIP(windows, "ntfs_index.raw.gz");  // Windows 7; folder 39 has index blocks
    // Built twice: index blocks of a cluster or more, and several blocks in one 2 MiB cluster.
    std::set<std::u16string> live;
    test_support::scratch_dir dir;
    uint64_t big = 0;
    for (uint32_t cluster : {4096u, 2u * 1024 * 1024}) {
        ntfs_fixture::volume_options_s options;
        options.cluster_size = cluster;
        ntfs_builder_c b(options);
        big = b.add_folder(5, "big");
        for (int i = 0; i < 400; ++i) {
            std::string name = (i % 3 ? "File " : "file ") + std::to_string(i * 7919 % 1000) + (i % 5 ? ".txt" : "");
            entry_options_s o;
            o.deleted = i % 4 == 0;
            if (i % 10 == 1) o.dos_name = "F" + std::to_string(i) + "~1.TXT";
            b.add_file(big, name, {1}, o);
            if (o.deleted) continue;
            live.insert(std::u16string(name.begin(), name.end()));
            if (!o.dos_name.empty()) live.insert(std::u16string(o.dos_name.begin(), o.dos_name.end()));
        }
        b.add_folder(5, "small");
        ASSERT_TRUE(b.write_image(dir.file(std::to_string(cluster) + ".img"))) << b.error();
    }
    use_disk_files({windows, dir.file("4096.img"), dir.file("2097152.img")});

    struct folder_s {
        const char* device;
        uint64_t folder;
        const char16_t* must_hold;
    };
    for (const folder_s& f : {folder_s{"/dev/hda1", 39, u"111111111111111.txt"}, folder_s{"/dev/hda1", 5, u"test_dir"},
                              folder_s{"/dev/hdb0", big, u"File 919.txt"}, folder_s{"/dev/hdb0", 5, u"small"},
                              folder_s{"/dev/hdc0", big, u"File 919.txt"}}) {
        SCOPED_TRACE(std::string(f.device) + " folder " + std::to_string(f.folder));
        opened_s v;
        ASSERT_TRUE(v.open(f.device));
        std::vector<std::u16string> names;
        ASSERT_TRUE(index_reader_c(v).names(f.folder, names));
        EXPECT_NE(std::find(names.begin(), names.end(), f.must_hold), names.end());
        scan_c scan;
        ASSERT_EQ(scan.start(f.device), 0);
        EXPECT_TRUE(in_collation_order(names, recover(scan, 10, dir.file("upcase"))));
        if (f.folder == big) {  // every live name once, no deleted one
            EXPECT_EQ(std::set<std::u16string>(names.begin(), names.end()), live);
            EXPECT_EQ(names.size(), live.size());
        }
    }
}

TEST_F(ntfs_builder_structure_test, blkid_recognises_built_volumes) {
    if (!test_support::have_tool("blkid")) GTEST_SKIP() << "blkid absent";
    ntfs_fixture::volume_options_s options;
    options.label = "FixtureVol";
    options.serial = 0x0123456789ABCDEFULL;
    ntfs_builder_c b(options);
    test_support::scratch_dir dir;
    ASSERT_TRUE(b.write_image(dir.file("built.img"))) << b.error();
    std::string out;
    ASSERT_EQ(test_support::run_command("blkid -p -o export " + dir.file("built.img"), &out), 0) << out;
    EXPECT_NE(out.find("TYPE=ntfs"), std::string::npos) << out;
    EXPECT_NE(out.find("LABEL=FixtureVol"), std::string::npos) << out;
    EXPECT_NE(out.find("UUID=0123456789ABCDEF"), std::string::npos) << out;
}

}  // namespace
