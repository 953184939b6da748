// WebP: a RIFF form "WEBP" whose first chunk is the image ("VP8 ", "VP8L" or the extended
// header "VP8X") and whose chunks fill its size.
#include <string_view>

#include "calloway/formats/registry.h"
#include "calloway/formats/riff.h"

namespace calloway {

using namespace std::literals;

namespace {

bool header_matches(const platform::byte_reader& head) {
    return riff_header_matches(head, "WEBP") &&
           (head.matches(12, "VP8 ") || head.matches(12, "VP8L") || head.matches(12, "VP8X"));
}

carve_result_s measure(source_c& file) {
    bool first = true;
    bool image_seen = false;
    uint64_t length = riff_form_length(file, 0, [&](const riff_chunk_s& chunk) {
        bool image = chunk.is("VP8 ") || chunk.is("VP8L");
        if (first && !image && !chunk.is("VP8X")) return false;
        first = false;
        image_seen = image_seen || image || chunk.is("ANMF");
        return true;
    });
    if (!image_seen) return {};
    return {length, {}};
}

}  // namespace

const format_descriptor_s webp_format = {
    .type = "webp",
    .other_types = "",
    .first_bytes = "R"sv,
    .max_length = 4 * GiB,
    .header_matches = header_matches,
    .measure = measure,
};

}  // namespace calloway
