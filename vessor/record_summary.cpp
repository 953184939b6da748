#include "vessor/record_summary.h"

#include <algorithm>
#include <set>

namespace vessor {

namespace {

constexpr uint64_t reference_mask = 0xFFFFFFFFFFFFULL;
constexpr size_t max_extension_records = 1024;
constexpr uint64_t max_attribute_list_bytes = 1 << 20;

struct data_piece_s {
    uint64_t start_vcn = 0;
    uint64_t last_vcn = 0;
    bool runs_ok = true;
    std::vector<extent_s> extents;
};

struct gathered_s {
    std::vector<data_piece_s> pieces;
    bool have_sizes = false;
};

void take_standard_information(const attribute_s& a, record_summary_s& s) {
    if (a.nonresident || s.has_standard_information || !a.value.has(0, 48)) return;
    s.creation = unix_time(a.value.u64(0));
    s.modification = unix_time(a.value.u64(8));
    s.access = unix_time(a.value.u64(24));
    s.file_attributes = a.value.u32(32);
    s.has_standard_information = true;
}

void take_file_name(const attribute_s& a, record_summary_s& s) {
    if (a.nonresident || !a.value.has(0, 66)) return;
    size_t units = a.value.u8(64);
    if (units == 0 || !a.value.has(66, 2 * units)) return;
    file_name_s name;
    name.parent = a.value.u64(0) & reference_mask;
    name.name_space = a.value.u8(65);
    name.name.resize(units);
    for (size_t i = 0; i < units; ++i) name.name[i] = static_cast<char16_t>(a.value.u16(66 + 2 * i));
    s.names.push_back(std::move(name));
    if (!s.has_standard_information) {  // times of the name when the record lacks its own
        s.creation = unix_time(a.value.u64(8));
        s.modification = unix_time(a.value.u64(16));
        s.access = unix_time(a.value.u64(32));
    }
}

void take_data(const attribute_s& a, bool want_runs, record_summary_s& s, gathered_s& g) {
    if (!a.name.empty()) return;
    data_stream_s& d = s.data;
    d.present = true;
    if (!a.nonresident) {
        d.resident = true;
        d.resident_bytes.assign(a.value.data(), a.value.data() + a.value.size());
        d.data_size = d.allocated_size = d.initialized_size = a.value.size();
        d.flags = a.flags;
        return;
    }
    data_piece_s piece;
    piece.start_vcn = a.start_vcn;
    piece.last_vcn = a.last_vcn;
    if (want_runs) piece.runs_ok = decode_runs(a.mapping_pairs, a.start_vcn, piece.extents);
    if (a.start_vcn == 0 && !g.have_sizes) {
        g.have_sizes = true;
        d.data_size = a.data_size;
        d.allocated_size = a.allocated_size;
        d.initialized_size = std::min(a.initialized_size, a.data_size);
        d.flags = a.flags;
        d.compression_unit = a.compression_unit;
    }
    g.pieces.push_back(std::move(piece));
}

void take_attributes(const std::vector<attribute_s>& attributes, bool want_runs, record_summary_s& s,
                     gathered_s& g) {
    for (const attribute_s& a : attributes) {
        if (a.type == attribute_standard_information) take_standard_information(a, s);
        else if (a.type == attribute_file_name) take_file_name(a, s);
        else if (a.type == attribute_data) take_data(a, want_runs, s, g);
    }
}

// The extension records an attribute list names, other than the base itself.
std::vector<uint64_t> listed_records(const platform::byte_reader& list, uint64_t base) {
    std::set<uint64_t> records;
    size_t at = 0;
    while (list.has(at, 26) && records.size() < max_extension_records) {
        size_t length = list.u16(at + 4);
        if (length < 26 || !list.has(at, length)) break;
        uint64_t record = list.u64(at + 16) & reference_mask;
        if (record != base) records.insert(record);
        at += length;
    }
    return {records.begin(), records.end()};
}

bool attribute_list_bytes(const attribute_s& a, const record_source_i& source, std::vector<uint8_t>& out) {
    if (!a.nonresident) {
        out.assign(a.value.data(), a.value.data() + a.value.size());
        return true;
    }
    std::vector<extent_s> extents;
    if (a.data_size > max_attribute_list_bytes || !decode_runs(a.mapping_pairs, 0, extents)) return false;
    return source.read_stream(extents, a.data_size, out);
}

void follow_attribute_list(uint64_t number, const attribute_s& list_attribute, const record_source_i& source,
                           bool want_runs, record_summary_s& s, gathered_s& g) {
    std::vector<uint8_t> list;
    if (!attribute_list_bytes(list_attribute, source, list)) return;
    for (uint64_t extension : listed_records(platform::byte_reader(list.data(), list.size()), number)) {
        std::vector<uint8_t> bytes;
        if (!source.read_record(extension, bytes)) continue;
        platform::byte_reader record(bytes.data(), bytes.size());
        record_header_s header;
        std::vector<attribute_s> attributes;
        // A reused record that belongs to another file now is not ours.
        if (!parse_record_header(record, header) || header.base_reference == 0 ||
            (header.base_reference & reference_mask) != number || !list_attributes(record, header, attributes))
            continue;
        take_attributes(attributes, want_runs, s, g);
    }
}

void join_pieces(gathered_s& g, data_stream_s& d) {
    if (d.resident || g.pieces.empty()) return;
    std::sort(g.pieces.begin(), g.pieces.end(),
              [](const data_piece_s& a, const data_piece_s& b) { return a.start_vcn < b.start_vcn; });
    uint64_t next_vcn = 0;
    for (data_piece_s& piece : g.pieces) {
        uint64_t clusters = 0;
        for (const extent_s& e : piece.extents) clusters += e.length;
        // last_vcn + 1 wraps to 0 for an empty stream, as NTFS writes it.
        if (!piece.runs_ok || piece.start_vcn != next_vcn || piece.last_vcn + 1 - piece.start_vcn != clusters)
            d.runs_valid = false;
        next_vcn = piece.start_vcn + clusters;
        d.extents.insert(d.extents.end(), piece.extents.begin(), piece.extents.end());
    }
    if (!g.have_sizes) d.runs_valid = false;
}

}  // namespace

const file_name_s* record_summary_s::preferred_name() const {
    auto rank = [](uint8_t name_space) { return name_space == 1 || name_space == 3 ? 0 : name_space == 0 ? 1 : 2; };
    const file_name_s* best = nullptr;
    for (const file_name_s& name : names)
        if (!best || rank(name.name_space) < rank(best->name_space)) best = &name;
    return best;
}

int64_t unix_time(uint64_t filetime) { return static_cast<int64_t>(filetime / 10000000ULL) - 11644473600LL; }

bool summarise_record(uint64_t number, const platform::byte_reader& record, const record_source_i& source,
                      bool want_runs, record_summary_s& s, std::vector<attribute_s>& attributes) {
    std::vector<file_name_s> names = std::move(s.names);
    names.clear();
    s = record_summary_s{};
    s.names = std::move(names);
    s.number = number;
    if (!parse_record_header(record, s.header) || !list_attributes(record, s.header, attributes)) return false;
    gathered_s gathered;
    take_attributes(attributes, want_runs, s, gathered);
    for (const attribute_s& a : attributes)
        if (a.type == attribute_attribute_list) {
            follow_attribute_list(number, a, source, want_runs, s, gathered);
            break;
        }
    join_pieces(gathered, s.data);
    return true;
}

}  // namespace vessor
