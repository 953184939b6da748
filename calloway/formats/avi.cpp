// AVI: a RIFF form "AVI " opening with the "hdrl" list, followed by the "AVIX" forms of an
// OpenDML file larger than one RIFF can hold.
#include <string_view>

#include "calloway/formats/registry.h"
#include "calloway/formats/riff.h"

namespace calloway {

using namespace std::literals;

namespace {

constexpr int max_extensions = 4096;

bool header_matches(const platform::byte_reader& head) {
    return riff_header_matches(head, "AVI ") && head.matches(12, "LIST") && head.matches(20, "hdrl");
}

carve_result_s measure(source_c& file) {
    bool movie_seen = false;
    uint64_t length = riff_form_length(file, 0, [&](const riff_chunk_s& chunk) {
        if (chunk.is("LIST")) {
            platform::byte_reader list_type = file.view(chunk.offset + 8, 4);
            movie_seen = movie_seen || list_type.matches(0, "movi");
        }
        return true;
    });
    if (length == 0 || !movie_seen) return {};
    for (int i = 0; i < max_extensions; ++i) {
        platform::byte_reader next = file.view(length, 12);
        if (!next.matches(0, "RIFF") || !next.matches(8, "AVIX")) break;
        uint64_t extension = riff_form_length(file, length, [](const riff_chunk_s&) { return true; });
        if (extension == 0) break;
        length = extension;
    }
    return {length, {}};
}

}  // namespace

const format_descriptor_s avi_format = {
    .type = "avi",
    .other_types = "",
    .first_bytes = "R"sv,
    .max_length = 16 * GiB,
    .header_matches = header_matches,
    .measure = measure,
};

}  // namespace calloway
