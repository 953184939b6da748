// Ogg: pages one after the other, each with its CRC checked, until every logical stream that
// began in the file has ended. A file cut short ends after its last whole page.
#include <array>
#include <set>
#include <string_view>

#include "calloway/formats/registry.h"

namespace calloway {

using namespace std::literals;

namespace {

constexpr size_t max_streams = 256;
constexpr uint8_t flag_first = 0x02;
constexpr uint8_t flag_last = 0x04;

// Ogg's CRC-32: polynomial 0x04C11DB7, not reflected, starting at 0. Eight bytes a step
// (slicing by eight): every page of a file is checked, so this runs over all its bytes.
using crc_tables = std::array<std::array<uint32_t, 256>, 8>;

const crc_tables& ogg_crc_tables() {
    static const crc_tables tables = [] {
        crc_tables t{};
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t r = i << 24;
            for (int bit = 0; bit < 8; ++bit) r = (r & 0x80000000u) ? (r << 1) ^ 0x04C11DB7u : r << 1;
            t[0][i] = r;
        }
        for (uint32_t i = 0; i < 256; ++i)
            for (size_t k = 1; k < 8; ++k) t[k][i] = (t[k - 1][i] << 8) ^ t[0][t[k - 1][i] >> 24];
        return t;
    }();
    return tables;
}

uint32_t ogg_crc(uint32_t crc, const uint8_t* data, size_t size) {
    const crc_tables& t = ogg_crc_tables();
    while (size >= 8) {
        uint32_t high = crc ^ (uint32_t{data[0]} << 24 | uint32_t{data[1]} << 16 | uint32_t{data[2]} << 8 | data[3]);
        crc = t[7][high >> 24] ^ t[6][(high >> 16) & 0xFF] ^ t[5][(high >> 8) & 0xFF] ^ t[4][high & 0xFF] ^
              t[3][data[4]] ^ t[2][data[5]] ^ t[1][data[6]] ^ t[0][data[7]];
        data += 8;
        size -= 8;
    }
    for (; size > 0; --size) crc = (crc << 8) ^ t[0][((crc >> 24) ^ *data++) & 0xFF];
    return crc;
}

struct page_s {
    uint64_t length = 0;  // 0: no page here
    uint8_t flags = 0;
    uint32_t serial = 0;
};

page_s read_page(source_c& file, uint64_t offset) {
    platform::byte_reader header = file.view(offset, 27 + 255);
    if (!header.has(0, 27) || !header.matches(0, "OggS") || header.u8(4) != 0 || (header.u8(5) & ~7) != 0) return {};
    size_t segments = header.u8(26);
    if (!header.has(27, segments)) return {};
    uint64_t length = 27 + segments;
    for (size_t i = 0; i < segments; ++i) length += header.u8(27 + i);
    page_s page{length, header.u8(5), header.u32(14)};
    platform::byte_reader bytes = file.view(offset, length);
    if (!bytes.has(0, length)) return {};
    static const uint8_t zeros[4] = {};
    uint32_t crc = ogg_crc(0, bytes.data(), 22);
    crc = ogg_crc(crc, zeros, 4);
    crc = ogg_crc(crc, bytes.data() + 26, length - 26);
    if (crc != bytes.u32(22)) return {};
    return page;
}

bool header_matches(const platform::byte_reader& head) {
    return head.matches(0, "OggS") && head.u8(4) == 0 && (head.u8(5) & flag_first) && !(head.u8(5) & 1);
}

carve_result_s measure(source_c& file) {
    std::set<uint32_t> open_streams;
    uint64_t position = 0;
    bool data_seen = false;
    for (;;) {
        page_s page = read_page(file, position);
        if (page.length == 0) break;
        if (page.flags & flag_first) {
            // A stream beginning after the data of others is another file.
            if (data_seen || open_streams.size() >= max_streams || !open_streams.insert(page.serial).second) break;
        } else {
            if (!open_streams.count(page.serial)) break;
            data_seen = true;
        }
        position += page.length;
        if (page.flags & flag_last) {
            open_streams.erase(page.serial);
            if (open_streams.empty()) break;
        }
    }
    if (!data_seen) return {};
    return {position, {}};
}

}  // namespace

const format_descriptor_s ogg_format = {
    .type = "ogg",
    .other_types = "",
    .first_bytes = "O"sv,
    .max_length = 8 * GiB,
    .header_matches = header_matches,
    .measure = measure,
};

}  // namespace calloway
