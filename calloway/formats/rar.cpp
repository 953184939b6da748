// RAR: the block chain after the signature, each header's CRC checked, up to the end-of-archive
// block. Both the RAR 1.5-4.x and the RAR 5 block layouts. An archive without an end block
// ends after its last block whose header holds up.
#include <zlib.h>

#include <string_view>

#include "calloway/formats/registry.h"

namespace calloway {

using namespace std::literals;

namespace {

constexpr std::string_view rar4_signature = "Rar!\x1A\x07\x00"sv;
constexpr std::string_view rar5_signature = "Rar!\x1A\x07\x01\x00"sv;
constexpr uint64_t max_blocks = 1u << 20;

uint32_t crc_of(const platform::byte_reader& bytes, size_t offset, size_t length) {
    return static_cast<uint32_t>(crc32(0, bytes.data() + offset, static_cast<uInt>(length)));
}

// Where the walk stands: the end of the last block that held up, and whether it was the end.
struct walk_s {
    uint64_t end = 0;
    bool finished = false;
    bool file_seen = false;
};

// RAR 1.5-4.x: CRC16 (low half of a CRC-32 from the type on), type, flags, header size, and an
// added data size for file blocks and blocks with flag 0x8000.
walk_s walk_rar4(source_c& file) {
    walk_s walk;
    uint64_t position = rar4_signature.size();
    walk.end = position;
    for (uint64_t blocks = 0; blocks < max_blocks; ++blocks) {
        platform::byte_reader head = file.view(position, 7);
        if (!head.has(0, 7)) break;
        uint8_t type = head.u8(2);
        uint16_t flags = head.u16(3);
        uint16_t size = head.u16(5);
        if (type < 0x72 || type > 0x7B || size < 7) break;
        platform::byte_reader header = file.view(position, size);
        if (!header.has(0, size) || (crc_of(header, 2, size - 2) & 0xFFFF) != header.u16(0)) break;
        uint64_t data = 0;
        if (type == 0x74 || (flags & 0x8000)) {
            if (size < 11) break;
            data = header.u32(7);
            if (type == 0x74 && (flags & 0x0100) && header.has(32, 4)) data |= static_cast<uint64_t>(header.u32(32)) << 32;
        }
        if (position + size + data > file.limit()) break;
        position += size + data;
        walk.end = position;
        if (type == 0x74) walk.file_seen = true;
        if (type == 0x7B) {
            walk.finished = true;
            break;
        }
    }
    return walk;
}

// A RAR 5 variable-length integer: 7 bits a byte, low first.
bool read_vint(const platform::byte_reader& bytes, size_t& at, uint64_t& value) {
    value = 0;
    for (int shift = 0; shift < 64; shift += 7) {
        if (!bytes.has(at, 1)) return false;
        uint8_t byte = bytes.u8(at++);
        value |= static_cast<uint64_t>(byte & 0x7F) << shift;
        if (!(byte & 0x80)) return true;
    }
    return false;
}

// RAR 5: CRC-32, header size, then type, flags, optional extra and data sizes.
walk_s walk_rar5(source_c& file) {
    constexpr uint64_t max_header = 2 * MiB;
    walk_s walk;
    uint64_t position = rar5_signature.size();
    walk.end = position;
    for (uint64_t blocks = 0; blocks < max_blocks; ++blocks) {
        platform::byte_reader start = file.view(position, 7);
        size_t at = 4;
        uint64_t header_size = 0;
        if (!read_vint(start, at, header_size) || header_size == 0 || header_size > max_header) break;
        size_t counted = at - 4 + static_cast<size_t>(header_size);
        platform::byte_reader header = file.view(position, 4 + counted);
        if (!header.has(0, 4 + counted) || crc_of(header, 4, counted) != header.u32(0)) break;
        uint64_t type = 0, flags = 0, extra = 0, data = 0;
        if (!read_vint(header, at, type) || !read_vint(header, at, flags)) break;
        if ((flags & 1) && !read_vint(header, at, extra)) break;
        if ((flags & 2) && !read_vint(header, at, data)) break;
        if (type < 1 || type > 5 || data > file.limit() || position + 4 + counted > file.limit() - data) break;
        position += 4 + counted + data;
        walk.end = position;
        if (type == 2) walk.file_seen = true;
        if (type == 5) {
            walk.finished = true;
            break;
        }
    }
    return walk;
}

bool header_matches(const platform::byte_reader& head) {
    return head.matches(0, rar4_signature.data(), rar4_signature.size()) ||
           head.matches(0, rar5_signature.data(), rar5_signature.size());
}

carve_result_s measure(source_c& file) {
    platform::byte_reader head = file.view(0, rar5_signature.size());
    walk_s walk = head.matches(0, rar5_signature.data(), rar5_signature.size()) ? walk_rar5(file) : walk_rar4(file);
    if (!walk.file_seen) return {};
    return {walk.end, {}};
}

}  // namespace

const format_descriptor_s rar_format = {
    .type = "rar",
    .other_types = "",
    .first_bytes = "R"sv,
    .max_length = 16 * GiB,
    .header_matches = header_matches,
    .measure = measure,
};

}  // namespace calloway
