#include "calloway/formats/riff.h"

#include <cstring>

namespace calloway {

namespace {

bool is_chunk_id(const platform::byte_reader& bytes, size_t offset) {
    for (size_t i = 0; i < 4; ++i) {
        uint8_t c = bytes.u8(offset + i);
        if (c < 0x20 || c > 0x7E) return false;
    }
    return true;
}

}  // namespace

bool riff_header_matches(const platform::byte_reader& head, const char (&form)[5]) {
    return head.matches(0, "RIFF") && head.matches(8, form, 4) && head.u32(4) >= 4 + 8;
}

uint64_t riff_form_length(source_c& file, uint64_t offset, const std::function<bool(const riff_chunk_s&)>& visit) {
    platform::byte_reader header = file.view(offset, 12);
    if (!header.has(0, 12) || !header.matches(0, "RIFF")) return 0;
    uint64_t end = offset + 8 + header.u32(4);
    if (end > file.limit()) return 0;
    uint64_t position = offset + 12;
    bool pad_left_out = false;
    while (position < end && end - position >= 8) {
        platform::byte_reader chunk = file.view(position, 8);
        if (!chunk.has(0, 8) || !is_chunk_id(chunk, 0)) return 0;
        uint32_t size = chunk.u32(4);
        riff_chunk_s found{position, size, {}};
        std::memcpy(found.id, chunk.data(), 4);
        if (!visit(found)) return 0;
        uint64_t data_end = position + 8 + size;
        if (data_end > end) return 0;
        position = data_end + (size & 1);  // chunks are padded to even sizes
        pad_left_out = position > end;
    }
    // Some writers store the last chunk's pad byte but leave it out of the RIFF size.
    if (pad_left_out && file.view(end, 1).has(0, 1) && file.view(end, 1).u8(0) == 0) ++end;
    return end;
}

}  // namespace calloway
