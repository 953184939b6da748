// PNG: the signature, IHDR first (its CRC checked), then chunk after chunk up to IEND.
#include <zlib.h>

#include <string_view>

#include "calloway/formats/registry.h"

namespace calloway {

using namespace std::literals;

namespace {

constexpr std::string_view signature = "\x89PNG\r\n\x1A\n"sv;
constexpr uint32_t max_chunk = 0x7FFFFFFF;

bool is_chunk_type(const platform::byte_reader& bytes, size_t offset) {
    for (size_t i = 0; i < 4; ++i) {
        uint8_t c = bytes.u8(offset + i);
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'))) return false;
    }
    return true;
}

bool header_matches(const platform::byte_reader& head) {
    return head.matches(0, signature.data(), signature.size()) && head.be32(8) == 13 && head.matches(12, "IHDR");
}

bool header_crc_holds(source_c& file) {
    platform::byte_reader ihdr = file.view(12, 21);
    if (!ihdr.has(0, 21)) return false;
    auto crc = static_cast<uint32_t>(crc32(0, ihdr.data(), 17));
    return crc == ihdr.be32(17);
}

carve_result_s measure(source_c& file) {
    if (!header_crc_holds(file)) return {};
    uint64_t position = 8;
    bool image_data_seen = false;
    for (;;) {
        platform::byte_reader chunk = file.view(position, 8);
        if (!chunk.has(0, 8) || !is_chunk_type(chunk, 4)) return {};
        uint32_t length = chunk.be32(0);
        if (length > max_chunk) return {};
        uint64_t chunk_end = position + 12 + length;
        if (chunk_end > file.limit()) return {};
        if (chunk.matches(4, "IDAT")) image_data_seen = true;
        if (chunk.matches(4, "IEND")) return image_data_seen && length == 0 ? carve_result_s{chunk_end, {}} : carve_result_s{};
        position = chunk_end;
    }
}

}  // namespace

const format_descriptor_s png_format = {
    .type = "png",
    .other_types = "",
    .first_bytes = "\x89"sv,
    .max_length = 1 * GiB,
    .header_matches = header_matches,
    .measure = measure,
};

}  // namespace calloway
