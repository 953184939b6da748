// BMP: file header and bitmap info header. Uncompressed bitmaps are measured from their
// dimensions (the size field is often wrong); compressed ones only have the size field.
#include <cstdlib>
#include <string_view>

#include "calloway/formats/registry.h"

namespace calloway {

using namespace std::literals;

namespace {

constexpr uint64_t max_dimension = 1u << 20;
constexpr uint64_t size_field_slack = 64 * KiB;  // padding or a trailing profile the size field may count

bool known_info_size(uint32_t size) {
    return size == 12 || size == 40 || size == 52 || size == 56 || size == 64 || size == 108 || size == 124;
}

bool known_bit_count(uint32_t bits) {
    return bits == 1 || bits == 2 || bits == 4 || bits == 8 || bits == 16 || bits == 24 || bits == 32;
}

bool header_matches(const platform::byte_reader& head) {
    if (!head.matches(0, "BM") || !known_info_size(head.u32(14))) return false;
    uint32_t info = head.u32(14);
    uint16_t planes = info == 12 ? head.u16(22) : head.u16(26);
    uint16_t bits = info == 12 ? head.u16(24) : head.u16(28);
    return planes == 1 && known_bit_count(bits) && head.u32(10) >= 14 + info;
}

struct bitmap_s {
    uint64_t declared_size;
    uint64_t data_offset;
    int64_t width;
    int64_t height;
    uint32_t bits;
    uint32_t compression;
    uint64_t image_size;
    uint64_t profile_end;
};

bool read_bitmap(source_c& file, bitmap_s& out) {
    platform::byte_reader h = file.view(0, 138);
    uint32_t info = h.u32(14);
    if (!h.has(0, 14 + (info == 12 ? 12 : 40))) return false;
    out.declared_size = h.u32(2);
    out.data_offset = h.u32(10);
    if (info == 12) {
        out.width = h.u16(18);
        out.height = h.u16(20);
        out.bits = h.u16(24);
        out.compression = 0;
        out.image_size = 0;
    } else {
        out.width = static_cast<int32_t>(h.u32(18));
        out.height = static_cast<int32_t>(h.u32(22));
        out.bits = h.u16(28);
        out.compression = h.u32(30);
        out.image_size = h.u32(34);
    }
    out.profile_end = 0;
    // A version 5 header may place an embedded colour profile after the pixels.
    if (info == 124 && h.has(0, 138) && h.u32(70) == 0x4D424544 /* "MBED" */)
        out.profile_end = 14 + static_cast<uint64_t>(h.u32(126)) + h.u32(130);
    return true;
}

carve_result_s measure(source_c& file) {
    bitmap_s bitmap;
    if (!read_bitmap(file, bitmap)) return {};
    uint64_t width = static_cast<uint64_t>(bitmap.width);
    uint64_t height = static_cast<uint64_t>(std::llabs(bitmap.height));
    if (bitmap.width <= 0 || height == 0 || width > max_dimension || height > max_dimension) return {};
    uint64_t length = 0;
    switch (bitmap.compression) {
        case 0: case 3: case 6: {  // rows of pixels, each padded to 4 bytes
            uint64_t row = (width * bitmap.bits + 31) / 32 * 4;
            uint64_t needed = std::max(bitmap.data_offset + row * height, bitmap.profile_end);
            bool size_field_fits = bitmap.declared_size >= needed && bitmap.declared_size - needed <= size_field_slack;
            length = size_field_fits ? bitmap.declared_size : needed;
            break;
        }
        case 1: case 2: case 4: case 5:  // run-length, JPEG or PNG data: only the fields tell
            if (bitmap.declared_size > bitmap.data_offset)
                length = bitmap.declared_size;
            else if (bitmap.image_size > 0)
                length = bitmap.data_offset + bitmap.image_size;
            break;
        default:
            return {};
    }
    if (length <= bitmap.data_offset || length > file.limit()) return {};
    return {length, {}};
}

}  // namespace

const format_descriptor_s bmp_format = {
    .type = "bmp",
    .other_types = "",
    .first_bytes = "B"sv,
    .max_length = 1 * GiB,
    .header_matches = header_matches,
    .measure = measure,
};

}  // namespace calloway
