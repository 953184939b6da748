#pragma once
// The chunk walk shared by the RIFF formats (WAV, AVI, WebP): the file is 8 bytes plus the
// RIFF size, and the chunks inside must fill exactly that.
#include <cstdint>
#include <cstring>
#include <functional>

#include "calloway/format.h"

namespace calloway {

struct riff_chunk_s {
    uint64_t offset;  // of the chunk's id
    uint32_t size;    // of its data
    char id[4];
    bool is(const char (&name)[5]) const { return std::memcmp(id, name, 4) == 0; }
};

// The form's length when its chunks hold up and visit accepts each of them; 0 otherwise.
uint64_t riff_form_length(source_c& file, uint64_t offset, const std::function<bool(const riff_chunk_s&)>& visit);

// True for "RIFF", a size and the given form type.
bool riff_header_matches(const platform::byte_reader& head, const char (&form)[5]);

}  // namespace calloway
