#include "partition/gpt_header.h"

#include <vector>

namespace {

constexpr uint32_t minimum_header_bytes = 92;
constexpr size_t header_crc_offset = 16;

}  // namespace

uint32_t crc32_ieee(platform::byte_reader bytes) {
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < bytes.size(); ++i) {
        crc ^= bytes.u8(i);
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

bool is_valid_gpt_header(platform::byte_reader sector) {
    if (!sector.matches(0, "EFI PART")) return false;
    uint32_t header_bytes = sector.u32(12);
    if (header_bytes < minimum_header_bytes || !sector.has(0, header_bytes)) return false;
    // The CRC is taken over the header with its own field zeroed.
    std::vector<uint8_t> header(sector.data(), sector.data() + header_bytes);
    for (size_t i = 0; i < 4; ++i) header[header_crc_offset + i] = 0;
    return crc32_ieee(platform::byte_reader(header.data(), header.size())) == sector.u32(header_crc_offset);
}
