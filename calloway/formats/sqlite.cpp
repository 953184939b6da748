// SQLite: page size times the page count, both from the database header; the count is only
// trusted when the header says it is current (its "version valid for" matches the change counter).
#include <string_view>

#include "calloway/formats/registry.h"

namespace calloway {

using namespace std::literals;

namespace {

constexpr std::string_view signature = "SQLite format 3\0"sv;

uint32_t page_size_of(const platform::byte_reader& head) {
    uint32_t size = head.be16(16);
    if (size == 1) return 65536;
    if (size < 512 || (size & (size - 1)) != 0) return 0;
    return size;
}

bool header_matches(const platform::byte_reader& head) {
    return head.matches(0, signature.data(), signature.size()) && page_size_of(head) != 0 && head.u8(21) == 64 &&
           head.u8(22) == 32 && head.u8(23) == 32;
}

carve_result_s measure(source_c& file) {
    platform::byte_reader head = file.view(0, 100);
    if (!head.has(0, 100)) return {};
    uint32_t page_size = page_size_of(head);
    uint32_t pages = head.be32(28);
    bool count_current = head.be32(24) == head.be32(92);
    uint32_t encoding = head.be32(56);
    if (page_size == 0 || pages == 0 || !count_current || encoding > 3) return {};
    return {static_cast<uint64_t>(page_size) * pages, {}};
}

}  // namespace

const format_descriptor_s sqlite_format = {
    .type = "sqlite",
    .other_types = "",
    .first_bytes = "S"sv,
    .max_length = 64 * GiB,
    .header_matches = header_matches,
    .measure = measure,
};

}  // namespace calloway
