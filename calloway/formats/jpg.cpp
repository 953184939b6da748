// JPEG: marker segments from SOI, the entropy-coded data after each SOS skipped up to the next
// marker, until EOI. A file without EOI, or with a marker that cannot stand where it stands,
// is no file.
#include <cstring>
#include <string_view>

#include "calloway/formats/registry.h"

namespace calloway {

using namespace std::literals;

namespace {

bool is_frame_marker(uint8_t marker) {
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

bool is_restart_marker(uint8_t marker) {
    return marker >= 0xD0 && marker <= 0xD7;
}

// Markers that may follow a scan's entropy-coded data.
bool may_follow_scan(uint8_t marker) {
    return marker == 0xD9 || marker == 0xDA || marker == 0xC4 || marker == 0xDB || marker == 0xDD ||
           marker == 0xDC || marker == 0xFE || marker == 0xCC || (marker >= 0xE0 && marker <= 0xEF);
}

// The offset of the first 0xFF of the marker that ends the entropy-coded data starting at
// offset; 0 when none is found before the limit.
uint64_t skip_entropy_coded(source_c& file, uint64_t offset) {
    constexpr size_t chunk = 1u << 20;
    while (offset < file.limit()) {
        platform::byte_reader bytes = file.view(offset, chunk);
        if (bytes.size() < 2) return 0;
        const uint8_t* data = bytes.data();
        size_t at = 0;
        while (at + 1 < bytes.size()) {
            const void* hit = std::memchr(data + at, 0xFF, bytes.size() - 1 - at);
            if (!hit) {
                at = bytes.size() - 1;
                break;
            }
            at = static_cast<size_t>(static_cast<const uint8_t*>(hit) - data);
            uint8_t next = data[at + 1];
            if (next == 0x00 || is_restart_marker(next)) {
                at += 2;
                continue;
            }
            if (next == 0xFF) {  // fill bytes before a marker
                ++at;
                continue;
            }
            return offset + at;
        }
        offset += at;  // look at the last byte again with what follows it
    }
    return 0;
}

bool header_matches(const platform::byte_reader& head) {
    if (!head.matches(0, "\xFF\xD8\xFF")) return false;
    uint8_t marker = head.u8(3);
    return marker >= 0xC0 && marker != 0xFF && !is_restart_marker(marker) && marker != 0xD8 && marker != 0xD9 &&
           head.be16(4) >= 2;
}

carve_result_s measure(source_c& file) {
    uint64_t position = 2;
    bool frame_seen = false;
    bool scan_seen = false;
    for (;;) {
        platform::byte_reader bytes = file.view(position, 4);
        if (!bytes.has(0, 2) || bytes.u8(0) != 0xFF) return {};
        uint8_t marker = bytes.u8(1);
        if (marker == 0xFF) {  // fill byte
            ++position;
            continue;
        }
        if (marker == 0xD9) return scan_seen && frame_seen ? carve_result_s{position + 2, {}} : carve_result_s{};
        if (marker == 0x00 || marker == 0xD8 || marker < 0xC0) return {};
        if (is_restart_marker(marker)) {
            position += 2;
            continue;
        }
        if (!bytes.has(2, 2) || bytes.be16(2) < 2) return {};
        uint64_t segment_end = position + 2 + bytes.be16(2);
        if (is_frame_marker(marker)) frame_seen = true;
        if (marker != 0xDA) {
            position = segment_end;
            continue;
        }
        if (!frame_seen) return {};
        scan_seen = true;
        position = skip_entropy_coded(file, segment_end);
        if (position == 0) return {};
        platform::byte_reader next = file.view(position, 2);
        if (!next.has(0, 2) || !may_follow_scan(next.u8(1))) return {};
    }
}

}  // namespace

const format_descriptor_s jpg_format = {
    .type = "jpg",
    .other_types = "",
    .first_bytes = "\xFF"sv,
    .max_length = 256 * MiB,
    .header_matches = header_matches,
    .measure = measure,
};

}  // namespace calloway
