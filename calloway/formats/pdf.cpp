// PDF: up to the last "%%EOF" that belongs to the file. Incremental updates and linearized
// files have several; one counts only while what follows it is more PDF (an object or a
// cross-reference section). The search ends at another PDF header at a sector boundary.
#include <string_view>

#include "calloway/formats/registry.h"

namespace calloway {

using namespace std::literals;

namespace {

constexpr uint64_t sector = 512;
constexpr size_t continuation_reach = 256;

bool is_space(uint8_t c) {
    return c == ' ' || c == '\r' || c == '\n' || c == '\t' || c == '\f' || c == 0;
}

bool is_digit(uint8_t c) {
    return c >= '0' && c <= '9';
}

bool header_matches(const platform::byte_reader& head) {
    return head.matches(0, "%PDF-") && is_digit(head.u8(5)) && head.u8(6) == '.' && is_digit(head.u8(7));
}

// The end of the "%%EOF" line at offset: the marker and its line end.
uint64_t end_of_marker_line(source_c& file, uint64_t offset) {
    uint64_t end = offset + 5;
    platform::byte_reader after = file.view(end, 2);
    if (after.has(0, 1) && after.u8(0) == '\r') {
        ++end;
        if (after.has(1, 1) && after.u8(1) == '\n') ++end;
    } else if (after.has(0, 1) && after.u8(0) == '\n') {
        ++end;
    }
    return end;
}

// True when the bytes at offset continue the file: "N G obj" or "xref" after white space.
bool more_pdf_follows(source_c& file, uint64_t offset) {
    platform::byte_reader bytes = file.view(offset, continuation_reach);
    size_t at = 0;
    while (at < bytes.size() && is_space(bytes.u8(at))) ++at;
    if (bytes.matches(at, "xref")) return true;
    for (int number = 0; number < 2; ++number) {
        size_t digits = at;
        while (at < bytes.size() && is_digit(bytes.u8(at))) ++at;
        if (at == digits || at >= bytes.size() || !is_space(bytes.u8(at))) return false;
        while (at < bytes.size() && is_space(bytes.u8(at))) ++at;
    }
    return bytes.matches(at, "obj");
}

// The first "%PDF-" at a sector boundary in [from, to), or to. Only the boundaries are
// looked at: the file's own bytes may mention the text anywhere.
uint64_t next_header(source_c& file, uint64_t from, uint64_t to) {
    uint64_t boundary = (from + sector - 1) / sector * sector;
    while (boundary < to) {
        platform::byte_reader bytes = file.view(boundary, MiB);
        if (bytes.size() == 0) return to;
        for (size_t at = 0; at < bytes.size() && boundary + at < to; at += sector)
            if (bytes.matches(at, "%PDF-")) return boundary + at;
        boundary += (bytes.size() + sector - 1) / sector * sector;
    }
    return to;
}

carve_result_s measure(source_c& file) {
    uint64_t end = 0;
    uint64_t position = 8;
    for (;;) {
        auto marker = file.find("%%EOF", position, file.limit());
        if (!marker) break;
        if (next_header(file, position, *marker) != *marker) break;  // another file began first
        end = end_of_marker_line(file, *marker);
        if (!more_pdf_follows(file, end)) break;
        position = end;
    }
    if (end == 0) return {};
    return {end, {}};
}

}  // namespace

const format_descriptor_s pdf_format = {
    .type = "pdf",
    .other_types = "",
    .first_bytes = "%"sv,
    .max_length = 512 * MiB,
    .header_matches = header_matches,
    .measure = measure,
};

}  // namespace calloway
