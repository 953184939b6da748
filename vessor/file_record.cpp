#include "vessor/file_record.h"

namespace vessor {

bool apply_fixups(uint8_t* block, size_t size) {
    platform::byte_reader reader(block, size);
    size_t offset = reader.u16(4), count = reader.u16(6);
    if (count < 2 || offset < 8 || !reader.has(offset, 2 * count)) return false;
    size_t strides = count - 1;
    if (size % strides != 0) return false;
    size_t stride = size / strides;
    if (stride < 256 || (stride & (stride - 1)) != 0) return false;
    uint16_t usn = reader.u16(offset);
    for (size_t i = 0; i < strides; ++i) {
        size_t end = (i + 1) * stride - 2;
        if (end < offset + 2 * count && end + 2 > offset) return false;  // the array protects itself
        if (reader.u16(end) != usn) return false;
    }
    for (size_t i = 0; i < strides; ++i) {
        size_t end = (i + 1) * stride - 2;
        block[end] = block[offset + 2 + 2 * i];
        block[end + 1] = block[offset + 3 + 2 * i];
    }
    return true;
}

bool parse_record_header(const platform::byte_reader& record, record_header_s& header) {
    if (!record.has(0, 48) || !record.matches(0, "FILE")) return false;
    header.sequence = record.u16(16);
    header.first_attribute = record.u16(20);
    header.flags = record.u16(22);
    header.bytes_used = record.u32(24);
    header.base_reference = record.u64(32);
    if (header.bytes_used > record.size() || header.first_attribute < 24 || header.first_attribute > header.bytes_used)
        return false;
    return true;
}

namespace {

bool read_name(const platform::byte_reader& a, size_t offset, size_t units, std::u16string& name) {
    if (!a.has(offset, 2 * units)) return false;
    name.resize(units);
    for (size_t i = 0; i < units; ++i) name[i] = static_cast<char16_t>(a.u16(offset + 2 * i));
    return true;
}

bool parse_attribute(const platform::byte_reader& a, attribute_s& out) {
    out.type = a.u32(0);
    out.nonresident = a.u8(8) != 0;
    out.flags = a.u16(12);
    out.id = a.u16(14);
    if (a.u8(9) && !read_name(a, a.u16(10), a.u8(9), out.name)) return false;
    if (!out.nonresident) {
        if (!a.has(16, 8)) return false;
        size_t length = a.u32(16), offset = a.u16(20);
        if (!a.has(offset, length)) return false;
        out.value = a.sub(offset, length);
        return true;
    }
    if (!a.has(0, 64)) return false;
    out.start_vcn = a.u64(16);
    out.last_vcn = a.u64(24);
    size_t runs = a.u16(32);
    out.compression_unit = a.u16(34);
    out.allocated_size = a.u64(40);
    out.data_size = a.u64(48);
    out.initialized_size = a.u64(56);
    if (runs > a.size()) return false;
    out.mapping_pairs = a.sub(runs, a.size() - runs);
    return true;
}

}  // namespace

bool list_attributes(const platform::byte_reader& record, const record_header_s& header,
                     std::vector<attribute_s>& attributes) {
    attributes.clear();
    platform::byte_reader used = record.sub(0, header.bytes_used);
    size_t at = header.first_attribute;
    while (true) {
        if (!used.has(at, 4)) return false;  // no end marker inside the used bytes
        if (used.u32(at) == attribute_end) return true;
        if (!used.has(at, 16)) return false;
        size_t length = used.u32(at + 4);
        if (length < 16 || (length & 7) != 0 || !used.has(at, length)) return false;
        attribute_s attribute;
        if (!parse_attribute(used.sub(at, length), attribute)) return false;
        attributes.push_back(std::move(attribute));
        at += length;
    }
}

}  // namespace vessor
