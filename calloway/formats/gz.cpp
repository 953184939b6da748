// gzip: member header, the deflate stream (decoded to find its end, its CRC-32 and length
// checked against the trailer), and any members that follow at once.
#include <string_view>

#include "calloway/formats/registry.h"
#include "calloway/inflate_stream.h"

namespace calloway {

using namespace std::literals;

namespace {

constexpr int max_members = 4096;
constexpr size_t max_header_text = 64 * KiB;

enum flag_e : uint8_t { flag_header_crc = 0x02, flag_extra = 0x04, flag_name = 0x08, flag_comment = 0x10 };

bool header_matches(const platform::byte_reader& head) {
    return head.matches(0, "\x1F\x8B\x08") && (head.u8(3) & 0xE0) == 0;
}

// The offset after the zero byte that ends the text at offset; 0 when none is near.
uint64_t skip_text(source_c& file, uint64_t offset) {
    auto zero = file.find(std::string_view("\0", 1), offset, offset + max_header_text);
    return zero ? *zero + 1 : 0;
}

// The offset of the compressed data of the member at offset; 0 when its header does not hold.
uint64_t member_data(source_c& file, uint64_t offset) {
    platform::byte_reader header = file.view(offset, 12);
    if (!header.has(0, 10) || !header_matches(header)) return 0;
    uint8_t flags = header.u8(3);
    uint64_t position = offset + 10;
    if (flags & flag_extra) {
        if (!header.has(10, 2)) return 0;
        position += 2 + header.u16(10);
    }
    if ((flags & flag_name) && (position = skip_text(file, position)) == 0) return 0;
    if ((flags & flag_comment) && (position = skip_text(file, position)) == 0) return 0;
    if (flags & flag_header_crc) position += 2;
    return position;
}

// The end of the member at offset; 0 when it does not hold up.
uint64_t member_end(source_c& file, uint64_t offset) {
    uint64_t data = member_data(file, offset);
    if (data == 0) return 0;
    inflate_extent_s extent = inflate_extent(file, data, true);
    if (!extent.complete) return 0;
    uint64_t trailer = data + extent.consumed;
    platform::byte_reader check = file.view(trailer, 8);
    if (!check.has(0, 8) || check.u32(0) != extent.crc || check.u32(4) != (extent.produced & 0xFFFFFFFF)) return 0;
    return trailer + 8;
}

carve_result_s measure(source_c& file) {
    uint64_t end = member_end(file, 0);
    if (end == 0) return {};
    for (int members = 1; members < max_members; ++members) {
        if (!header_matches(file.view(end, 4))) break;
        uint64_t next = member_end(file, end);
        if (next == 0) break;
        end = next;
    }
    return {end, {}};
}

}  // namespace

const format_descriptor_s gz_format = {
    .type = "gz",
    .other_types = "",
    .first_bytes = "\x1F"sv,
    .max_length = 16 * GiB,
    .header_matches = header_matches,
    .measure = measure,
};

}  // namespace calloway
