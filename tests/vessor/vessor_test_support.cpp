#include "tests/vessor/vessor_test_support.h"

#include "platform/test_seam.h"
#include "platform/volumes.h"

namespace vessor_test {

scanned_s decode_record(const uint8_t* r) {
    using namespace vessor;
    scanned_s s;
    s.number = layout::u64(r, record_number_offset);
    s.parent = layout::u64(r, record_parent_offset);
    s.size = layout::u64(r, record_data_size_offset);
    s.time_b = static_cast<int64_t>(layout::u64(r, record_time_b_offset));
    s.time_a = static_cast<int64_t>(layout::u64(r, record_time_a_offset));
    s.flags = layout::u32(r, record_flags_offset);
    for (size_t i = 0; i < record_name_units; ++i) {
        uint32_t unit = r[record_name_offset + 2 * i] | (r[record_name_offset + 2 * i + 1] << 8);
        if (unit == 0) break;
        if (unit < 0x80) {
            s.name += static_cast<char>(unit);
        } else if (unit < 0x800) {
            s.name += static_cast<char>(0xC0 | (unit >> 6));
            s.name += static_cast<char>(0x80 | (unit & 0x3F));
        } else {
            s.name += static_cast<char>(0xE0 | (unit >> 12));
            s.name += static_cast<char>(0x80 | ((unit >> 6) & 0x3F));
            s.name += static_cast<char>(0x80 | (unit & 0x3F));
        }
    }
    return s;
}

std::vector<scanned_s> scan_c::all() {
    std::vector<scanned_s> out;
    std::vector<uint8_t> record(vessor::record_size);
    int32_t last_position = 0;
    while (true) {
        std::fill(record.begin(), record.end(), 0);
        if (!ntfs_scan_next(context_.data(), record.data())) break;
        out.push_back(decode_record(record.data()));
        int32_t position = vessor::context_position(context_.data());
        EXPECT_GT(position, last_position);
        EXPECT_EQ(static_cast<uint64_t>(position), out.back().number + 1);
        last_position = position;
    }
    EXPECT_EQ(vessor::context_position(context_.data()), vessor::context_total(context_.data()));
    return out;
}

std::map<uint64_t, scanned_s> scan_c::by_number() {
    std::map<uint64_t, scanned_s> out;
    for (auto& record : all()) out[record.number] = record;
    return out;
}

void vessor_test_c::SetUp() {
    platform::test::remove_memory_disks();
    platform::test::reset_disk_settings();
}

void vessor_test_c::TearDown() {
    platform::test::set_disk_list(std::nullopt);
    platform::test::remove_memory_disks();
    platform::test::reset_disk_settings();
}

void vessor_test_c::use_memory_disks(const std::vector<std::shared_ptr<std::vector<uint8_t>>>& disks) {
    std::vector<std::string> paths;
    for (size_t i = 0; i < disks.size(); ++i) {
        std::string name = "d" + std::to_string(i);
        platform::test::add_memory_disk(name, disks[i]);
        paths.push_back("mem:" + name);
    }
    use_disk_files(paths);
}

void vessor_test_c::use_disk_files(const std::vector<std::string>& paths) {
    platform::test::set_disk_list(paths);
    platform::find_volumes();
}

std::shared_ptr<std::vector<uint8_t>> build_volume(ntfs_fixture::ntfs_builder_c& builder) {
    auto image = std::make_shared<std::vector<uint8_t>>();
    EXPECT_TRUE(builder.build(*image)) << builder.error();
    return image;
}

std::vector<uint8_t> pattern_bytes(size_t size, uint32_t seed) {
    std::vector<uint8_t> out(size);
    uint32_t x = seed * 2654435761u + 1;
    for (auto& b : out) {
        x ^= x << 13;
        x ^= x >> 17;
        x ^= x << 5;
        b = static_cast<uint8_t>(x);
    }
    return out;
}

}  // namespace vessor_test
