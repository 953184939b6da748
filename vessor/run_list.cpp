#include "vessor/run_list.h"

namespace vessor {

namespace {

// More than any volume holds, and small enough that a cluster number times the largest cluster
// size (2 MiB) still fits in 64 bits.
constexpr uint64_t max_clusters = uint64_t{1} << 42;

int64_t sign_extend(uint64_t value, size_t width) {
    if (width == 0 || width >= 8) return static_cast<int64_t>(value);
    uint64_t sign = uint64_t{1} << (8 * width - 1);
    return static_cast<int64_t>((value ^ sign) - sign);
}

}  // namespace

bool decode_runs(const platform::byte_reader& pairs, uint64_t start_vcn, std::vector<extent_s>& out) {
    size_t at = 0;
    uint64_t vcn = start_vcn;
    int64_t lcn = 0;
    while (pairs.has(at, 1)) {
        uint8_t header = pairs.u8(at);
        if (header == 0) return true;
        size_t length_width = header & 0x0F, offset_width = header >> 4;
        if (length_width == 0 || length_width > 8 || offset_width > 8) return false;
        if (!pairs.has(at + 1, length_width + offset_width)) return false;
        int64_t length = sign_extend(pairs.le(at + 1, length_width), length_width);
        if (length <= 0 || static_cast<uint64_t>(length) > max_clusters) return false;
        extent_s extent;
        extent.vcn = vcn;
        extent.length = static_cast<uint64_t>(length);
        if (offset_width == 0) {
            extent.hole = true;
        } else {
            int64_t delta = sign_extend(pairs.le(at + 1 + length_width, offset_width), offset_width);
            if ((delta > 0 && lcn > INT64_MAX - delta) || (delta < 0 && lcn < INT64_MIN - delta)) return false;
            lcn += delta;
            if (lcn < 0 || static_cast<uint64_t>(lcn) > max_clusters) return false;
            extent.lcn = static_cast<uint64_t>(lcn);
        }
        if (vcn > max_clusters || extent.length > max_clusters - vcn) return false;
        vcn += extent.length;
        out.push_back(extent);
        at += 1 + length_width + offset_width;
    }
    return true;  // the attribute ended without the closing zero: what was read stands
}

bool extents_inside(const std::vector<extent_s>& extents, uint64_t total_clusters) {
    for (const extent_s& e : extents) {
        if (e.hole) continue;
        if (e.lcn >= total_clusters || e.length > total_clusters - e.lcn) return false;
    }
    return true;
}

uint64_t contiguous_clusters(const std::vector<extent_s>& extents) {
    uint64_t next = 0;
    for (const extent_s& e : extents) {
        if (e.vcn != next) return 0;
        next += e.length;
    }
    return next;
}

}  // namespace vessor
