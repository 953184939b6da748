#pragma once
// LZNT1 decompression of one NTFS compression unit.
#include <cstddef>
#include <cstdint>

#include "platform/byte_reader.h"

namespace vessor {

// Decompresses the chunks in `input` into `output` (which the caller has zeroed; each chunk
// stands for 4,096 bytes of it). Stops at a zero chunk header, at the end of the input or when
// the output is full. False on a malformed chunk: a header that is not LZNT1's, a chunk beyond
// the input, a back-reference before the start of its chunk.
bool lznt1_decompress(const platform::byte_reader& input, uint8_t* output, size_t output_size);

}  // namespace vessor
