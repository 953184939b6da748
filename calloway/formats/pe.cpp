// Windows executables (PE): the file ends after the furthest of its headers, its sections'
// raw data, its certificate table and its COFF symbol and string tables.
#include <algorithm>
#include <string_view>

#include "calloway/formats/registry.h"

namespace calloway {

using namespace std::literals;

namespace {

constexpr uint32_t max_header_offset = 64 * KiB;
constexpr uint16_t max_sections = 96;
constexpr uint16_t characteristic_dll = 0x2000;

bool header_matches(const platform::byte_reader& head) {
    if (!head.matches(0, "MZ")) return false;
    uint32_t pe = head.u32(0x3C);
    return pe >= 0x40 && pe < max_header_offset && head.matches(pe, "PE\0\0");
}

class pe_measure_c {
public:
    explicit pe_measure_c(source_c& file) : file_(file) {}
    bool cover(uint64_t offset, uint64_t length) {
        if (offset > file_.limit() || length > file_.limit() - offset) return false;
        end_ = std::max(end_, offset + length);
        return true;
    }
    uint64_t end() const { return end_; }

private:
    source_c& file_;
    uint64_t end_ = 0;
};

carve_result_s measure(source_c& file) {
    uint32_t pe = file.view(0x3C, 4).u32(0);
    platform::byte_reader coff = file.view(pe, 24);
    if (!coff.has(0, 24) || !coff.matches(0, "PE\0\0")) return {};
    uint16_t sections = coff.u16(6);
    uint32_t symbols = coff.u32(12), symbol_count = coff.u32(16);
    uint16_t optional_size = coff.u16(20), characteristics = coff.u16(22);
    if (sections == 0 || sections > max_sections || optional_size < 96) return {};
    uint64_t optional = pe + 24;
    platform::byte_reader opt = file.view(optional, optional_size);
    if (!opt.has(0, optional_size)) return {};
    bool plus = opt.u16(0) == 0x20B;
    if (!plus && opt.u16(0) != 0x10B) return {};
    pe_measure_c extent(file);
    if (!extent.cover(0, opt.u32(60))) return {};  // size of headers
    size_t directories = plus ? 112 : 96;
    uint32_t directory_count = opt.u32(plus ? 108 : 92);
    if (directory_count > 4 && opt.has(directories + 4 * 8, 8)) {  // the certificate table, by file offset
        uint32_t certificates = opt.u32(directories + 32), certificates_size = opt.u32(directories + 36);
        if (certificates_size && !extent.cover(certificates, certificates_size)) return {};
    }
    platform::byte_reader table = file.view(optional + optional_size, sections * 40u);
    if (!table.has(0, sections * 40u)) return {};
    for (uint16_t i = 0; i < sections; ++i) {
        uint32_t raw_size = table.u32(40u * i + 16), raw_offset = table.u32(40u * i + 20);
        if (raw_size && !extent.cover(raw_offset, raw_size)) return {};
    }
    if (symbols && symbol_count) {  // COFF symbols, then the string table with its length first
        uint64_t strings = symbols + static_cast<uint64_t>(symbol_count) * 18;
        platform::byte_reader length = file.view(strings, 4);
        if (!length.has(0, 4) || !extent.cover(strings, std::max<uint32_t>(4, length.u32(0)))) return {};
    }
    return {extent.end(), (characteristics & characteristic_dll) ? "dll"sv : "exe"sv};
}

}  // namespace

const format_descriptor_s pe_format = {
    .type = "exe",
    .other_types = "dll",
    .first_bytes = "M"sv,
    .max_length = 4 * GiB,
    .header_matches = header_matches,
    .measure = measure,
};

}  // namespace calloway
