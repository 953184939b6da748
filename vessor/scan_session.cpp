#include "vessor/scan_session.h"

#include <algorithm>
#include <cstring>

#include "vessor/stream_writer.h"
#include "vessor/vessor.h"

namespace vessor {

namespace {

constexpr uint64_t block_bytes = 1 << 20;
constexpr uint32_t context_magic = 0x52535356;  // "VSSR"

}  // namespace

void write_scan_record(const record_summary_s& s, uint8_t* out) {
    std::memset(out, 0, record_size);
    const file_name_s* name = s.preferred_name();
    bool folder = (s.header.flags & record_flag_folder) != 0;
    uint32_t flags = (folder ? flag_folder : flag_file) | ((s.header.flags & record_flag_in_use) ? 0 : flag_deleted);
    platform::put_le(out + record_number_offset, s.number, 8);
    platform::put_le(out + record_parent_offset, name ? name->parent : 0, 8);
    platform::put_le(out + record_data_size_offset, folder ? 0 : s.data.data_size, 8);
    platform::put_le(out + record_time_b_offset, static_cast<uint64_t>(s.creation), 8);
    platform::put_le(out + record_access_offset, static_cast<uint64_t>(s.access), 8);
    platform::put_le(out + record_time_a_offset, static_cast<uint64_t>(s.modification), 8);
    platform::put_le(out + record_flags_offset, flags, 4);
    platform::put_le(out + record_attributes_offset, s.file_attributes, 4);
    if (!name) return;
    size_t units = std::min(name->name.size(), record_name_units - 1);
    for (size_t i = 0; i < units; ++i) platform::put_le(out + record_name_offset + 2 * i, name->name[i], 2);
}

int scan_session_c::start(const char* device_name, uint8_t* context) {
    int result = volume_.open(device_name);
    if (result != result_ok) return result;
    std::vector<uint8_t> sector(4096);
    size_t first = std::min<uint64_t>(sector.size(), volume_.size());
    if (first < 512 || !volume_.read(0, sector.data(), first)) return first < 512 ? error_not_ntfs : error_read;
    volume_geometry_s geometry;
    if (!parse_boot_sector(platform::byte_reader(sector.data(), first), geometry)) return error_not_ntfs;
    result = table_.open(&volume_, geometry);
    if (result != result_ok) return result;
    records_per_block_ = std::max<uint64_t>(1, block_bytes / geometry.record_size);
    platform::put_le(context + context_open_offset, context_magic, 4);
    platform::put_le(context + 4, geometry.record_size, 4);
    platform::put_le(context + context_total_offset, table_.record_count(), 8);
    platform::put_le(context + 24, geometry.cluster_size, 4);
    platform::put_le(context + 28, geometry.bytes_per_sector, 4);
    set_position(context, 0);
    return result_ok;
}

void scan_session_c::set_position(uint8_t* context, uint64_t position) const {
    // Groups of 8 records before the current block, groups inside it, and the rest.
    uint64_t block_start = std::min(block_first_, position) / 8 * 8;
    platform::put_le(context + context_counter_a_offset, block_start / 8, 4);
    platform::put_le(context + context_counter_b_offset, (position - block_start) / 8, 4);
    platform::put_le(context + context_counter_c_offset, (position - block_start) % 8, 4);
}

bool scan_session_c::load_block(uint64_t first) {
    block_first_ = first;
    block_count_ = std::min(records_per_block_, table_.record_count() - first);
    const uint32_t rs = table_.geometry().record_size;
    block_.resize(block_count_ * rs);
    usable_.assign(block_count_, 1);
    if (table_.read_raw(first, block_count_, block_.data())) return true;
    // A damaged spot: read the records one by one and skip the ones that fail.
    for (uint64_t i = 0; i < block_count_; ++i)
        if (!table_.read_raw(first + i, 1, block_.data() + i * rs)) usable_[i] = 0;
    return true;
}

uint8_t* scan_session_c::record_in_block(uint64_t number) {
    if (number < block_first_ || number >= block_first_ + block_count_) load_block(number);
    uint64_t i = number - block_first_;
    const uint32_t rs = table_.geometry().record_size;
    uint8_t* bytes = block_.data() + i * rs;
    if (usable_[i] && !apply_fixups(bytes, rs)) usable_[i] = 0;
    return usable_[i] ? bytes : nullptr;
}

bool scan_session_c::next(uint8_t* record, uint8_t* context) {
    const uint32_t rs = table_.geometry().record_size;
    while (next_record_ < table_.record_count()) {
        uint64_t number = next_record_++;
        uint8_t* bytes = record_in_block(number);
        set_position(context, next_record_);
        if (!bytes) continue;
        platform::byte_reader view(bytes, rs);
        if (!view.matches(0, "FILE") || view.u64(32) != 0) continue;  // empty, or an extension record
        if (!summarise_record(number, view, table_, false, summary_, attributes_) || summary_.names.empty()) continue;
        write_scan_record(summary_, record);
        return true;
    }
    set_position(context, table_.record_count());
    return false;
}

int scan_session_c::recover(uint64_t record_number, const char* target_path) {
    if (record_number >= table_.record_count()) return error_no_record;
    std::vector<uint8_t> bytes;
    if (!table_.read_record(record_number, bytes)) return error_no_record;
    platform::byte_reader view(bytes.data(), bytes.size());
    record_summary_s summary;
    std::vector<attribute_s> attributes;
    if (view.u64(32) != 0 || !summarise_record(record_number, view, table_, true, summary, attributes))
        return error_no_record;
    return write_data_stream(table_, volume_, summary, target_path);
}

}  // namespace vessor
