// OLE2 compound files (doc, xls, ppt, msi): the file ends after the highest sector its
// allocation table uses. The directory's stream names, or the root's class id, name the type.
#include <algorithm>
#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "calloway/formats/registry.h"

namespace calloway {

using namespace std::literals;

namespace {

constexpr std::string_view signature = "\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1"sv;
constexpr uint32_t free_sector = 0xFFFFFFFF;
constexpr uint32_t end_of_chain = 0xFFFFFFFE;
constexpr uint32_t max_regular_sector = 0xFFFFFFFA;
constexpr size_t header_difat_entries = 109;
constexpr size_t max_kept_table = 4u << 20;  // entries: the table is kept to read the directory
constexpr int max_directory_sectors = 64;

bool header_matches(const platform::byte_reader& head) {
    if (!head.matches(0, signature.data(), signature.size()) || head.u16(0x1C) != 0xFFFE) return false;
    uint16_t major = head.u16(0x1A), shift = head.u16(0x1E);
    return ((major == 3 && shift == 9) || (major == 4 && shift == 12)) && head.u16(0x20) == 6;
}

class compound_file_c {
public:
    compound_file_c(source_c& file, uint32_t sector_size) : file_(file), sector_size_(sector_size) {}

    // Collects the allocation table's sectors from the header and the DIFAT chain.
    bool read_table_sectors(const platform::byte_reader& header);
    // Reads the table: the highest used sector, and the table itself when it is of a sane size.
    bool read_table();
    uint64_t length() const { return (static_cast<uint64_t>(highest_used_) + 2) * sector_size_; }
    std::string_view type(uint32_t first_directory_sector);

private:
    uint64_t sector_offset(uint32_t sector) const { return (static_cast<uint64_t>(sector) + 1) * sector_size_; }
    bool valid_sector(uint32_t sector) const { return sector <= max_regular_sector && sector_offset(sector) < file_.limit(); }

    source_c& file_;
    uint32_t sector_size_;
    std::vector<uint32_t> table_sectors_;
    std::vector<uint32_t> table_;
    uint32_t highest_used_ = 0;
};

bool compound_file_c::read_table_sectors(const platform::byte_reader& header) {
    uint32_t count = header.u32(0x2C);
    if (count == 0 || count > file_.limit() / sector_size_) return false;
    for (size_t i = 0; i < header_difat_entries && table_sectors_.size() < count; ++i)
        table_sectors_.push_back(header.u32(0x4C + 4 * i));
    uint32_t difat = header.u32(0x44);
    uint32_t entries_per_sector = sector_size_ / 4 - 1;
    for (uint32_t hops = 0; table_sectors_.size() < count; ++hops) {
        if (!valid_sector(difat) || hops > count) return false;
        platform::byte_reader sector = file_.view(sector_offset(difat), sector_size_);
        if (!sector.has(0, sector_size_)) return false;
        for (uint32_t i = 0; i < entries_per_sector && table_sectors_.size() < count; ++i)
            table_sectors_.push_back(sector.u32(4 * i));
        difat = sector.u32(4 * entries_per_sector);
    }
    return std::all_of(table_sectors_.begin(), table_sectors_.end(), [&](uint32_t s) { return valid_sector(s); });
}

bool compound_file_c::read_table() {
    uint32_t per_sector = sector_size_ / 4;
    bool keep = static_cast<uint64_t>(table_sectors_.size()) * per_sector <= max_kept_table;
    bool any_used = false;
    for (size_t k = 0; k < table_sectors_.size(); ++k) {
        platform::byte_reader sector = file_.view(sector_offset(table_sectors_[k]), sector_size_);
        if (!sector.has(0, sector_size_)) return false;
        for (uint32_t i = 0; i < per_sector; ++i) {
            uint32_t entry = sector.u32(4 * i);
            if (keep) table_.push_back(entry);
            if (entry != free_sector) {
                highest_used_ = static_cast<uint32_t>(k * per_sector + i);
                any_used = true;
            }
        }
    }
    return any_used && length() <= file_.limit();
}

std::string_view compound_file_c::type(uint32_t first_directory_sector) {
    static constexpr uint8_t msi_class[16] = {0x84, 0x10, 0x0C, 0x00, 0x00, 0x00, 0x00, 0x00,
                                              0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46};
    static constexpr std::pair<std::string_view, std::string_view> by_stream[] = {
        {"WordDocument", "doc"}, {"Workbook", "xls"}, {"Book", "xls"}, {"PowerPoint Document", "ppt"},
        {"__properties_version1.0", "msg"},
    };
    uint32_t sector = first_directory_sector;
    for (int hops = 0; hops < max_directory_sectors && sector < table_.size() && valid_sector(sector); ++hops) {
        platform::byte_reader entries = file_.view(sector_offset(sector), sector_size_);
        if (!entries.has(0, sector_size_)) break;
        for (uint32_t at = 0; at + 128 <= sector_size_; at += 128) {
            if (hops == 0 && at == 0 && entries.matches(0x50, msi_class, sizeof msi_class)) return "msi";
            uint16_t name_bytes = entries.u16(at + 0x40);
            std::string name;
            for (uint32_t i = 0; i + 2 < name_bytes && i < 64; i += 2) name.push_back(static_cast<char>(entries.u8(at + i)));
            for (auto [stream, type] : by_stream)
                if (name == stream) return type;
        }
        sector = table_[sector];
        if (sector == end_of_chain) break;
    }
    return "ole";
}

carve_result_s measure(source_c& file) {
    std::array<uint8_t, 512> copy;  // kept: the walk below reads other parts of the file
    if (!file.read(0, copy.data(), copy.size())) return {};
    platform::byte_reader header(copy.data(), copy.size());
    compound_file_c compound(file, 1u << header.u16(0x1E));
    if (!compound.read_table_sectors(header) || !compound.read_table()) return {};
    return {compound.length(), compound.type(header.u32(0x30))};
}

}  // namespace

const format_descriptor_s ole2_format = {
    .type = "ole",
    .other_types = "doc xls ppt msi msg",
    .first_bytes = "\xD0"sv,
    .max_length = 16 * GiB,
    .header_matches = header_matches,
    .measure = measure,
};

}  // namespace calloway
