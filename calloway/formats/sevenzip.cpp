// 7z: the start header gives the offset and size of the header at the end of the archive;
// both CRCs are checked (the end header's when it is of a readable size).
#include <zlib.h>

#include <string_view>

#include "calloway/formats/registry.h"

namespace calloway {

using namespace std::literals;

namespace {

constexpr std::string_view signature = "7z\xBC\xAF\x27\x1C"sv;
constexpr uint64_t start_header_size = 32;
constexpr uint64_t max_checked_header = 64 * MiB;

bool header_matches(const platform::byte_reader& head) {
    if (!head.matches(0, signature.data(), signature.size()) || head.u8(6) != 0 || !head.has(0, 32)) return false;
    return static_cast<uint32_t>(crc32(0, head.data() + 12, 20)) == head.u32(8);
}

bool crc_holds(source_c& file, uint64_t offset, uint64_t size, uint32_t expected) {
    uLong crc = crc32(0, nullptr, 0);
    for (uint64_t done = 0; done < size;) {
        platform::byte_reader bytes = file.view(offset + done, static_cast<size_t>(std::min<uint64_t>(size - done, MiB)));
        if (bytes.size() == 0) return false;
        crc = crc32(crc, bytes.data(), static_cast<uInt>(bytes.size()));
        done += bytes.size();
    }
    return static_cast<uint32_t>(crc) == expected;
}

carve_result_s measure(source_c& file) {
    platform::byte_reader head = file.view(0, start_header_size);
    if (!head.has(0, start_header_size)) return {};
    uint64_t next_offset = head.u64(12);
    uint64_t next_size = head.u64(20);
    uint32_t next_crc = head.u32(28);
    uint64_t room = file.limit() - start_header_size;
    if (next_size == 0 || next_offset > room || next_size > room - next_offset) return {};
    uint64_t next_start = start_header_size + next_offset;
    if (next_size <= max_checked_header && !crc_holds(file, next_start, next_size, next_crc)) return {};
    return {next_start + next_size, {}};
}

}  // namespace

const format_descriptor_s sevenzip_format = {
    .type = "7z",
    .other_types = "",
    .first_bytes = "7"sv,
    .max_length = 64 * GiB,
    .header_matches = header_matches,
    .measure = measure,
};

}  // namespace calloway
