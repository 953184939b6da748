// TIFF: the file is as long as the furthest byte its directories point at: the directories
// themselves, their out-of-line values, the strips or tiles, and the sub-directories (EXIF,
// GPS, SubIFDs). Classic TIFF only; offsets are 32-bit.
#include <algorithm>
#include <set>
#include <string_view>
#include <vector>

#include "calloway/formats/registry.h"

namespace calloway {

using namespace std::literals;

namespace {

constexpr size_t max_directories = 1024;
constexpr uint32_t max_entries = 4096;
constexpr uint64_t max_array = 1u << 22;

enum tag_e : uint16_t {
    tag_strip_offsets = 273,
    tag_strip_byte_counts = 279,
    tag_free_offsets = 288,
    tag_free_byte_counts = 289,
    tag_tile_offsets = 324,
    tag_tile_byte_counts = 325,
    tag_sub_ifds = 330,
    tag_jpeg_offset = 513,
    tag_jpeg_length = 514,
    tag_exif_ifd = 34665,
    tag_gps_ifd = 34853,
    tag_interop_ifd = 40965,
};

uint64_t type_size(uint16_t type) {
    switch (type) {
        case 1: case 2: case 6: case 7: return 1;
        case 3: case 8: return 2;
        case 4: case 9: case 11: case 13: return 4;
        case 5: case 10: case 12: return 8;
        default: return 0;
    }
}

struct entry_s {
    uint16_t tag;
    uint16_t type;
    uint32_t count;
    uint64_t value_offset;  // in the file: inside the entry when the values fit in 4 bytes
};

class tiff_walker_c {
public:
    tiff_walker_c(source_c& file, bool big_endian) : file_(file), big_endian_(big_endian) {}

    // False when a directory or value lies outside the file's reach.
    bool walk(uint64_t first_directory);
    uint64_t end() const { return end_; }
    bool has_image_data() const { return image_data_; }

private:
    uint64_t field(const platform::byte_reader& bytes, size_t offset, size_t width) const {
        return big_endian_ ? bytes.be(offset, width) : bytes.le(offset, width);
    }
    bool read_directory(uint64_t offset, std::vector<entry_s>& entries, uint64_t& next);
    bool read_values(const entry_s& entry, std::vector<uint64_t>& values);
    bool cover(uint64_t offset, uint64_t length);
    bool add_extents(const std::vector<entry_s>& entries, uint16_t offsets_tag, uint16_t counts_tag);
    void queue_directories(const entry_s& entry);

    source_c& file_;
    bool big_endian_;
    uint64_t end_ = 8;
    bool image_data_ = false;
    std::vector<uint64_t> queue_;
    std::set<uint64_t> seen_;
};

bool tiff_walker_c::cover(uint64_t offset, uint64_t length) {
    if (offset > file_.limit() || length > file_.limit() - offset) return false;
    end_ = std::max(end_, offset + length);
    return true;
}

bool tiff_walker_c::read_directory(uint64_t offset, std::vector<entry_s>& entries, uint64_t& next) {
    platform::byte_reader count_bytes = file_.view(offset, 2);
    if (!count_bytes.has(0, 2)) return false;
    uint32_t count = static_cast<uint32_t>(field(count_bytes, 0, 2));
    if (count == 0 || count > max_entries) return false;
    size_t size = 2 + 12 * count + 4;
    if (!cover(offset, size)) return false;
    platform::byte_reader bytes = file_.view(offset, size);
    if (!bytes.has(0, size)) return false;
    entries.clear();
    for (uint32_t i = 0; i < count; ++i) {
        size_t at = 2 + 12 * i;
        entry_s entry{static_cast<uint16_t>(field(bytes, at, 2)), static_cast<uint16_t>(field(bytes, at + 2, 2)),
                      static_cast<uint32_t>(field(bytes, at + 4, 4)), 0};
        uint64_t value_size = type_size(entry.type) * entry.count;
        entry.value_offset = value_size <= 4 ? offset + at + 8 : field(bytes, at + 8, 4);
        if (value_size > 4 && !cover(entry.value_offset, value_size)) return false;
        entries.push_back(entry);
    }
    next = field(bytes, 2 + 12 * count, 4);
    return true;
}

bool tiff_walker_c::read_values(const entry_s& entry, std::vector<uint64_t>& values) {
    uint64_t width = type_size(entry.type);
    values.clear();
    if ((width != 2 && width != 4) || entry.count > max_array) return false;
    for (uint64_t done = 0; done < entry.count;) {
        uint64_t batch = std::min<uint64_t>(entry.count - done, 64 * KiB);
        platform::byte_reader bytes = file_.view(entry.value_offset + done * width, batch * width);
        if (!bytes.has(0, batch * width)) return false;
        for (uint64_t i = 0; i < batch; ++i) values.push_back(field(bytes, i * width, width));
        done += batch;
    }
    return true;
}

bool tiff_walker_c::add_extents(const std::vector<entry_s>& entries, uint16_t offsets_tag, uint16_t counts_tag) {
    auto offsets = std::find_if(entries.begin(), entries.end(), [&](const entry_s& e) { return e.tag == offsets_tag; });
    auto counts = std::find_if(entries.begin(), entries.end(), [&](const entry_s& e) { return e.tag == counts_tag; });
    if (offsets == entries.end() || counts == entries.end()) return true;
    std::vector<uint64_t> starts, lengths;
    if (!read_values(*offsets, starts) || !read_values(*counts, lengths) || starts.size() != lengths.size())
        return false;
    for (size_t i = 0; i < starts.size(); ++i)
        if (!cover(starts[i], lengths[i])) return false;
    if (offsets_tag == tag_strip_offsets || offsets_tag == tag_tile_offsets) image_data_ = true;
    return true;
}

void tiff_walker_c::queue_directories(const entry_s& entry) {
    bool pointer = entry.tag == tag_sub_ifds || entry.tag == tag_exif_ifd || entry.tag == tag_gps_ifd ||
                   entry.tag == tag_interop_ifd;
    if (!pointer) return;
    std::vector<uint64_t> offsets;
    entry_s as_longs = entry;
    if (entry.type == 13) as_longs.type = 4;  // IFD type: offsets like LONG
    if (!read_values(as_longs, offsets)) return;
    for (uint64_t offset : offsets)
        if (offset >= 8 && queue_.size() < max_directories) queue_.push_back(offset);
}

bool tiff_walker_c::walk(uint64_t first_directory) {
    queue_.push_back(first_directory);
    std::vector<entry_s> entries;
    while (!queue_.empty()) {
        uint64_t offset = queue_.back();
        queue_.pop_back();
        if (!seen_.insert(offset).second) continue;  // a loop
        if (seen_.size() > max_directories) return false;
        uint64_t next = 0;
        if (!read_directory(offset, entries, next)) return false;
        if (!add_extents(entries, tag_strip_offsets, tag_strip_byte_counts) ||
            !add_extents(entries, tag_tile_offsets, tag_tile_byte_counts) ||
            !add_extents(entries, tag_free_offsets, tag_free_byte_counts))
            return false;
        auto jpeg = std::find_if(entries.begin(), entries.end(), [](const entry_s& e) { return e.tag == tag_jpeg_offset; });
        auto jpeg_length = std::find_if(entries.begin(), entries.end(), [](const entry_s& e) { return e.tag == tag_jpeg_length; });
        if (jpeg != entries.end() && jpeg_length != entries.end() && jpeg->count == 1 && jpeg_length->count == 1) {
            std::vector<uint64_t> start, length;
            if (read_values(*jpeg, start) && read_values(*jpeg_length, length) && !cover(start[0], length[0])) return false;
        }
        for (const entry_s& entry : entries) queue_directories(entry);
        if (next != 0) queue_.push_back(next);
    }
    return true;
}

bool header_matches(const platform::byte_reader& head) {
    if (head.matches(0, "II*\0")) return head.u32(4) >= 8;
    if (head.matches(0, "MM\0*")) return head.be32(4) >= 8;
    return false;
}

carve_result_s measure(source_c& file) {
    platform::byte_reader head = file.view(0, 8);
    if (!head.has(0, 8)) return {};
    bool big_endian = head.u8(0) == 'M';
    tiff_walker_c walker(file, big_endian);
    if (!walker.walk(big_endian ? head.be32(4) : head.u32(4)) || !walker.has_image_data()) return {};
    return {walker.end(), {}};
}

}  // namespace

const format_descriptor_s tif_format = {
    .type = "tif",
    .other_types = "",
    .first_bytes = "IM"sv,
    .max_length = 4 * GiB,
    .header_matches = header_matches,
    .measure = measure,
};

}  // namespace calloway
