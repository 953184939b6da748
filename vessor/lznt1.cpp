#include "vessor/lznt1.h"

#include <algorithm>
#include <cstring>

namespace vessor {

namespace {

constexpr size_t chunk_bytes = 4096;

// Bits of a back-reference token that hold the displacement, for the position in the chunk.
unsigned displacement_bits(size_t position) {
    unsigned bits = 4;
    for (size_t p = position - 1; p >= 0x10; p >>= 1) ++bits;
    return bits;
}

bool decompress_chunk(const platform::byte_reader& chunk, uint8_t* out, size_t room) {
    size_t in = 0, pos = 0;
    while (in < chunk.size() && pos < room) {
        uint8_t flags = chunk.u8(in++);
        for (unsigned bit = 0; bit < 8 && in < chunk.size() && pos < room; ++bit) {
            if (!(flags & (1u << bit))) {
                out[pos++] = chunk.u8(in++);
                continue;
            }
            if (!chunk.has(in, 2) || pos == 0) return false;
            uint16_t token = chunk.u16(in);
            in += 2;
            unsigned length_bits = 16 - displacement_bits(pos);
            size_t length = (token & ((1u << length_bits) - 1)) + 3;
            size_t displacement = (token >> length_bits) + 1;
            if (displacement > pos) return false;
            length = std::min(length, room - pos);
            for (size_t k = 0; k < length; ++k, ++pos) out[pos] = out[pos - displacement];
        }
    }
    return true;
}

}  // namespace

bool lznt1_decompress(const platform::byte_reader& input, uint8_t* output, size_t output_size) {
    size_t in = 0, out = 0;
    while (input.has(in, 2) && out < output_size) {
        uint16_t header = input.u16(in);
        if (header == 0) return true;
        if (((header >> 12) & 7) != 3) return false;
        size_t size = (header & 0x0FFF) + 1;
        if (!input.has(in + 2, size)) return false;
        platform::byte_reader body = input.sub(in + 2, size);
        size_t room = std::min(chunk_bytes, output_size - out);
        if (header & 0x8000) {
            if (!decompress_chunk(body, output + out, room)) return false;
        } else {
            std::memcpy(output + out, body.data(), std::min(size, room));
        }
        in += 2 + size;
        out += chunk_bytes;
    }
    return true;
}

}  // namespace vessor
