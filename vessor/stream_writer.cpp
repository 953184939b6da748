#include "vessor/stream_writer.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <vector>

#include "vessor/lznt1.h"
#include "vessor/vessor.h"

namespace vessor {

namespace {

constexpr uint64_t copy_step = 1 << 20;
constexpr uint64_t max_unit_bytes = 4 << 20;
constexpr uint32_t file_attribute_encrypted = 0x4000;

class target_file_c {
public:
    explicit target_file_c(const char* path)
        : fd_(::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644)) {}
    ~target_file_c() { close(); }
    bool is_open() const { return fd_ >= 0; }

    bool write_at(uint64_t offset, const uint8_t* data, uint64_t size) {
        while (size > 0) {
            ssize_t n = ::pwrite(fd_, data, size, static_cast<off_t>(offset));
            if (n <= 0) return false;
            data += n;
            offset += static_cast<uint64_t>(n);
            size -= static_cast<uint64_t>(n);
        }
        return true;
    }
    // Holes and zero ranges are never written: the length is set once at the end.
    bool finish(uint64_t size) {
        bool ok = ::ftruncate(fd_, static_cast<off_t>(size)) == 0;
        return close() && ok;
    }

private:
    bool close() {
        if (fd_ < 0) return true;
        int result = ::close(fd_);
        fd_ = -1;
        return result == 0;
    }
    int fd_;
};

// Copies plain clusters; bytes beyond the initialized size read as zeros.
int copy_plain(const volume_source_c& volume, uint64_t cluster_size, const data_stream_s& d, target_file_c& out) {
    std::vector<uint8_t> buffer;
    for (const extent_s& e : d.extents) {
        uint64_t start = e.vcn * cluster_size;
        uint64_t end = std::min(d.initialized_size, start + e.length * cluster_size);
        if (e.hole) continue;
        for (uint64_t at = start; at < end; at += copy_step) {
            uint64_t take = std::min(copy_step, end - at);
            buffer.resize(take);
            if (!volume.read(e.lcn * cluster_size + (at - start), buffer.data(), take)) return error_read;
            if (!out.write_at(at, buffer.data(), take)) return error_target;
        }
        if (end >= d.initialized_size) break;
    }
    return result_ok;
}

// The stored clusters of one compression unit, in order; `holes` tells whether the unit has
// fewer stored clusters than it spans (so it holds LZNT1 data). False when data follows a hole inside the unit.
bool unit_clusters(const std::vector<extent_s>& extents, size_t& index, uint64_t first_vcn, uint64_t unit_clusters,
                   std::vector<std::pair<uint64_t, uint64_t>>& stored, bool& holes) {
    stored.clear();
    holes = false;
    uint64_t end_vcn = first_vcn + unit_clusters;
    while (index < extents.size() && extents[index].vcn + extents[index].length <= first_vcn) ++index;
    for (size_t i = index; i < extents.size() && extents[i].vcn < end_vcn; ++i) {
        const extent_s& e = extents[i];
        uint64_t from = std::max(e.vcn, first_vcn), to = std::min(e.vcn + e.length, end_vcn);
        if (e.hole) {
            holes = true;
            continue;
        }
        if (holes) return false;
        stored.emplace_back(e.lcn + (from - e.vcn), to - from);
    }
    uint64_t count = 0;
    for (const auto& piece : stored) count += piece.second;
    if (count < unit_clusters) holes = true;  // a run list that ends inside the unit leaves it short too
    return true;
}

int copy_compressed(const volume_source_c& volume, uint64_t cluster_size, const data_stream_s& d,
                    target_file_c& out) {
    if (d.compression_unit == 0 || d.compression_unit > 16) return error_compression;
    const uint64_t unit_vcns = uint64_t{1} << d.compression_unit;
    const uint64_t unit_bytes = unit_vcns * cluster_size;
    if (unit_bytes > max_unit_bytes) return error_compression;
    std::vector<uint8_t> packed, unit(unit_bytes);
    std::vector<std::pair<uint64_t, uint64_t>> stored;
    size_t index = 0;
    for (uint64_t start = 0; start < d.initialized_size; start += unit_bytes) {
        bool holes = false;
        if (!unit_clusters(d.extents, index, start / cluster_size, unit_vcns, stored, holes)) return error_compression;
        if (stored.empty()) continue;  // a unit of zeros
        packed.clear();
        for (auto [lcn, count] : stored) {
            size_t at = packed.size();
            packed.resize(at + count * cluster_size);
            if (!volume.read(lcn * cluster_size, packed.data() + at, count * cluster_size)) return error_read;
        }
        uint64_t take = std::min(unit_bytes, d.initialized_size - start);
        if (holes) {  // fewer clusters than the unit spans: LZNT1 data
            std::fill(unit.begin(), unit.end(), 0);
            if (!lznt1_decompress(platform::byte_reader(packed.data(), packed.size()), unit.data(), take))
                return error_compression;
            if (!out.write_at(start, unit.data(), take)) return error_target;
        } else if (!out.write_at(start, packed.data(), take)) {
            return error_target;
        }
    }
    return result_ok;
}

// The stream can be written: runs valid, inside the volume and covering the data size.
int check_stream(const data_stream_s& d, const volume_geometry_s& g) {
    if (!d.runs_valid || !extents_inside(d.extents, g.total_clusters)) return error_runs;
    uint64_t clusters = contiguous_clusters(d.extents);
    if (d.data_size > 0 && (clusters == 0 || clusters < (d.data_size + g.cluster_size - 1) / g.cluster_size))
        return error_runs;
    return result_ok;
}

}  // namespace

int write_data_stream(const table_reader_c& table, const volume_source_c& volume, const record_summary_s& record,
                      const char* target_path) {
    const data_stream_s& d = record.data;
    const volume_geometry_s& g = table.geometry();
    if (!d.present || (record.header.flags & record_flag_folder)) return error_no_data;
    if ((d.flags & attribute_flag_encrypted) || (record.file_attributes & file_attribute_encrypted))
        return error_encrypted;
    bool compressed = !d.resident && (d.flags & attribute_flag_compressed);
    if (!d.resident) {
        int checked = check_stream(d, g);
        if (checked != result_ok) return checked;
    }
    target_file_c out(target_path);
    if (!out.is_open()) return error_target;
    int result = result_ok;
    if (d.resident)
        result = out.write_at(0, d.resident_bytes.data(), d.resident_bytes.size()) ? result_ok : error_target;
    else if (compressed)
        result = copy_compressed(volume, g.cluster_size, d, out);
    else
        result = copy_plain(volume, g.cluster_size, d, out);
    if (result != result_ok) return result;
    return out.finish(d.data_size) ? result_ok : error_target;
}

}  // namespace vessor
