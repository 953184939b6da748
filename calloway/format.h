#pragma once
// What one file format tells the scan: its type name, which first bytes it can start with, a
// quick header test and a function that works out the file's true length from the file's own
// structure. Each format lives in its own file under formats/ and the registry lists them.
#include <cstdint>
#include <optional>
#include <string_view>

#include "calloway/volume_reader.h"
#include "platform/byte_reader.h"

namespace calloway {

// The bytes of one candidate file: offsets count from its first byte, and nothing at or past
// limit() belongs to it (the format's maximum or the end of the volume, whichever is nearer).
class source_c {
public:
    source_c(volume_reader_c& volume, uint64_t start, uint64_t limit) : volume_(volume), start_(start), limit_(limit) {}

    uint64_t limit() const { return limit_; }
    uint64_t start() const { return start_; }
    bool stopping() const { return volume_.stopping(); }

    // Up to count bytes (at most volume_reader_c::max_view) at offset; fewer at the limit, none
    // when they cannot be read. Valid until the next view.
    platform::byte_reader view(uint64_t offset, size_t count);
    // Exactly count bytes into destination, or false.
    bool read(uint64_t offset, void* destination, size_t count);
    // The offset of the first needle at or after from whose end is at or before to.
    std::optional<uint64_t> find(std::string_view needle, uint64_t from, uint64_t to);

private:
    volume_reader_c& volume_;
    uint64_t start_;
    uint64_t limit_;
};

// The length a format found (0: the header's structure does not hold up, no file) and, when its
// content names a more precise type than the format's own (a zip that is a docx), that type.
struct carve_result_s {
    uint64_t length = 0;
    std::string_view type;
};

struct format_descriptor_s {
    std::string_view type;         // the usual extension; also the format's key in Tarnwell.conf
    std::string_view other_types;  // further types the content may name, space-separated
    std::string_view first_bytes;  // the values the file's first byte can take; empty: any
    uint64_t max_length;           // a sane maximum for a file of this type
    // Cheap test of the first bytes (at least lookahead bytes unless the volume ends sooner).
    bool (*header_matches)(const platform::byte_reader& head);
    // The file's true length, found by walking its structure.
    carve_result_s (*measure)(source_c& file);
};

constexpr uint64_t KiB = 1024;
constexpr uint64_t MiB = 1024 * KiB;
constexpr uint64_t GiB = 1024 * MiB;

}  // namespace calloway
