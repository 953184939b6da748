#pragma once
// Where a deflate stream ends: gzip members and zip entries written without their sizes can
// only be measured by decoding them. The output is thrown away as it is made.
#include <cstdint>

#include "calloway/format.h"

namespace calloway {

struct inflate_extent_s {
    bool complete = false;  // the stream's final block was reached
    uint64_t consumed = 0;  // compressed bytes, from offset
    uint64_t produced = 0;  // bytes it decodes to
    uint32_t crc = 0;       // CRC-32 of those bytes, when asked for
};

// Decodes the raw deflate stream at offset of the file.
inflate_extent_s inflate_extent(source_c& file, uint64_t offset, bool with_crc);

}  // namespace calloway
