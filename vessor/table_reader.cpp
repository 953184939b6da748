#include "vessor/table_reader.h"

#include <algorithm>
#include <cstring>

#include "vessor/vessor.h"

namespace vessor {

namespace {

constexpr uint64_t max_records = 0x7FFFFFFF;  // the scan position is a signed 32-bit count
constexpr uint64_t max_stream_bytes = 64ULL << 20;

struct list_entry_s {
    uint64_t start_vcn;
    uint64_t record;
};

// The table's $DATA pieces beyond the first, in VCN order, as its attribute list names them.
std::vector<list_entry_s> later_data_pieces(const platform::byte_reader& list) {
    std::vector<list_entry_s> pieces;
    size_t at = 0;
    while (list.has(at, 26)) {
        size_t length = list.u16(at + 4);
        if (length < 26 || !list.has(at, length)) break;
        if (list.u32(at) == attribute_data && list.u8(at + 6) == 0 && list.u64(at + 8) > 0)
            pieces.push_back({list.u64(at + 8), list.u64(at + 16) & 0xFFFFFFFFFFFFULL});
        at += length;
    }
    std::sort(pieces.begin(), pieces.end(), [](auto& a, auto& b) { return a.start_vcn < b.start_vcn; });
    return pieces;
}

const attribute_s* unnamed_data(const std::vector<attribute_s>& attributes, uint64_t start_vcn) {
    for (const attribute_s& a : attributes)
        if (a.type == attribute_data && a.name.empty() && a.nonresident && a.start_vcn == start_vcn) return &a;
    return nullptr;
}

}  // namespace

int table_reader_c::open(const volume_source_c* volume, const volume_geometry_s& geometry) {
    volume_ = volume;
    geometry_ = geometry;
    extents_.clear();
    records_ = 0;
    const uint32_t rs = geometry.record_size;
    std::vector<uint8_t> bytes(rs);
    if (!volume->read(geometry.mft_lcn * geometry.cluster_size, bytes.data(), rs)) return error_read;
    record_header_s header;
    std::vector<attribute_s> attributes;
    platform::byte_reader record(bytes.data(), rs);
    if (!apply_fixups(bytes.data(), rs) || !parse_record_header(record, header) || header.base_reference != 0 ||
        !list_attributes(record, header, attributes))
        return error_table;
    const attribute_s* data = unnamed_data(attributes, 0);
    if (!data || !decode_runs(data->mapping_pairs, 0, extents_) || data->data_size < rs) return error_table;
    uint64_t table_bytes = data->data_size;
    for (const attribute_s& a : attributes)
        if (a.type == attribute_attribute_list) {
            int result = continue_from_attribute_list(a);
            if (result != result_ok) return result;
        }
    if (!extents_inside(extents_, geometry.total_clusters)) return error_table;
    uint64_t mapped = contiguous_clusters(extents_);
    if (mapped == 0) return error_table;
    // Records beyond what the run list maps cannot be read; count only the mapped ones.
    records_ = std::min({table_bytes / rs, mapped * geometry.cluster_size / rs, max_records});
    return records_ ? result_ok : error_table;
}

int table_reader_c::continue_from_attribute_list(const attribute_s& list_attribute) {
    std::vector<uint8_t> list;
    if (list_attribute.nonresident) {
        std::vector<extent_s> extents;
        if (!decode_runs(list_attribute.mapping_pairs, 0, extents) ||
            !read_stream(extents, list_attribute.data_size, list))
            return error_table;
    } else {
        list.assign(list_attribute.value.data(), list_attribute.value.data() + list_attribute.value.size());
    }
    for (const list_entry_s& piece : later_data_pieces(platform::byte_reader(list.data(), list.size()))) {
        // Each piece must continue exactly where the mapping known so far ends.
        if (piece.start_vcn != contiguous_clusters(extents_)) return error_table;
        records_ = contiguous_clusters(extents_) * geometry_.cluster_size / geometry_.record_size;
        std::vector<uint8_t> bytes;
        if (!read_record(piece.record, bytes)) return error_table;
        platform::byte_reader record(bytes.data(), bytes.size());
        record_header_s header;
        std::vector<attribute_s> attributes;
        if (!parse_record_header(record, header) || !list_attributes(record, header, attributes)) return error_table;
        const attribute_s* data = unnamed_data(attributes, piece.start_vcn);
        if (!data || !decode_runs(data->mapping_pairs, piece.start_vcn, extents_)) return error_table;
    }
    return result_ok;
}

bool table_reader_c::read_along(const std::vector<extent_s>& extents, uint64_t offset, uint64_t size,
                                uint8_t* destination) const {
    const uint64_t cs = geometry_.cluster_size;
    auto it = std::upper_bound(extents.begin(), extents.end(), offset / cs,
                               [](uint64_t vcn, const extent_s& e) { return vcn < e.vcn; });
    if (it == extents.begin()) return false;
    --it;
    while (size > 0) {
        if (it == extents.end() || offset < it->vcn * cs) return false;
        uint64_t extent_end = (it->vcn + it->length) * cs;
        if (offset >= extent_end) {
            ++it;
            continue;
        }
        uint64_t take = std::min(size, extent_end - offset);
        if (it->hole)
            std::memset(destination, 0, take);
        else if (!volume_->read(it->lcn * cs + (offset - it->vcn * cs), destination, take))
            return false;
        destination += take;
        offset += take;
        size -= take;
    }
    return true;
}

bool table_reader_c::read_raw(uint64_t first, uint64_t count, uint8_t* destination) const {
    if (first >= records_ || count > records_ - first) return false;
    const uint64_t rs = geometry_.record_size;
    return read_along(extents_, first * rs, count * rs, destination);
}

bool table_reader_c::read_record(uint64_t number, std::vector<uint8_t>& record) const {
    record.assign(geometry_.record_size, 0);
    if (!read_raw(number, 1, record.data()) || !apply_fixups(record.data(), record.size())) return false;
    record_header_s header;
    return parse_record_header(platform::byte_reader(record.data(), record.size()), header);
}

bool table_reader_c::read_stream(const std::vector<extent_s>& extents, uint64_t size, std::vector<uint8_t>& out) const {
    if (size > max_stream_bytes || size > contiguous_clusters(extents) * geometry_.cluster_size ||
        !extents_inside(extents, geometry_.total_clusters))
        return false;
    out.assign(size, 0);
    return size == 0 || read_along(extents, 0, size, out.data());
}

}  // namespace vessor
