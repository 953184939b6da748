// GIF: screen descriptor and colour table, then image descriptors and extensions, each with
// its chain of sub-blocks, up to the trailer byte 0x3B.
#include <string_view>

#include "calloway/formats/registry.h"

namespace calloway {

using namespace std::literals;

namespace {

bool header_matches(const platform::byte_reader& head) {
    return (head.matches(0, "GIF87a") || head.matches(0, "GIF89a")) && head.u16(6) != 0 && head.u16(8) != 0;
}

uint64_t colour_table_size(uint8_t packed) {
    return (packed & 0x80) ? 3ull << ((packed & 7) + 1) : 0;
}

// The offset after the zero-length block that ends the sub-block chain at offset; 0 when the
// chain runs past the limit.
uint64_t skip_sub_blocks(source_c& file, uint64_t offset) {
    for (;;) {
        platform::byte_reader bytes = file.view(offset, 64 * KiB);
        if (bytes.size() == 0) return 0;
        size_t at = 0;
        while (at < bytes.size()) {
            uint8_t length = bytes.u8(at);
            if (length == 0) return offset + at + 1;
            at += 1 + length;
        }
        offset += at;
    }
}

carve_result_s measure(source_c& file) {
    platform::byte_reader screen = file.view(0, 13);
    if (!screen.has(0, 13)) return {};
    uint64_t position = 13 + colour_table_size(screen.u8(10));
    bool image_seen = false;
    for (;;) {
        platform::byte_reader block = file.view(position, 10);
        if (!block.has(0, 1)) return {};
        switch (block.u8(0)) {
            case 0x3B:
                return image_seen ? carve_result_s{position + 1, {}} : carve_result_s{};
            case 0x21:  // extension: label, then sub-blocks
                if (!block.has(1, 1)) return {};
                position = skip_sub_blocks(file, position + 2);
                break;
            case 0x2C:  // image: descriptor, local colour table, LZW code size, sub-blocks
                if (!block.has(0, 10)) return {};
                position += 10 + colour_table_size(block.u8(9));
                {
                    platform::byte_reader code_size = file.view(position, 1);
                    if (!code_size.has(0, 1) || code_size.u8(0) < 1 || code_size.u8(0) > 12) return {};
                }
                position = skip_sub_blocks(file, position + 1);
                image_seen = true;
                break;
            default:
                return {};
        }
        if (position == 0) return {};
    }
}

}  // namespace

const format_descriptor_s gif_format = {
    .type = "gif",
    .other_types = "",
    .first_bytes = "G"sv,
    .max_length = 256 * MiB,
    .header_matches = header_matches,
    .measure = measure,
};

}  // namespace calloway
