// WAV: a RIFF form "WAVE" whose chunks fill its size, with a sane "fmt " chunk before "data".
#include <string_view>

#include "calloway/formats/registry.h"
#include "calloway/formats/riff.h"

namespace calloway {

using namespace std::literals;

namespace {

bool header_matches(const platform::byte_reader& head) {
    return riff_header_matches(head, "WAVE");
}

bool format_chunk_holds(source_c& file, const riff_chunk_s& chunk) {
    if (chunk.size < 14) return false;
    platform::byte_reader fmt = file.view(chunk.offset + 8, 16);
    if (!fmt.has(0, 14)) return false;
    uint16_t channels = fmt.u16(2);
    return fmt.u16(0) != 0 && channels >= 1 && channels <= 64 && fmt.u32(4) != 0;
}

carve_result_s measure(source_c& file) {
    bool format_seen = false;
    bool data_seen = false;
    uint64_t length = riff_form_length(file, 0, [&](const riff_chunk_s& chunk) {
        if (chunk.is("fmt ")) {
            if (format_seen || !format_chunk_holds(file, chunk)) return false;
            format_seen = true;
        } else if (chunk.is("data")) {
            if (!format_seen) return false;
            data_seen = true;
        }
        return true;
    });
    if (!format_seen || !data_seen) return {};
    return {length, {}};
}

}  // namespace

const format_descriptor_s wav_format = {
    .type = "wav",
    .other_types = "",
    .first_bytes = "R"sv,
    .max_length = 4 * GiB,
    .header_matches = header_matches,
    .measure = measure,
};

}  // namespace calloway
