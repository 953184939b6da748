#pragma once
// Run lists (mapping pairs) of non-resident attributes and the extents they describe.
#include <cstdint>
#include <vector>

#include "platform/byte_reader.h"

namespace vessor {

struct extent_s {
    uint64_t vcn = 0;
    uint64_t lcn = 0;      // 0 for a hole
    uint64_t length = 0;   // clusters, never 0
    bool hole = false;
};

// Decodes mapping pairs that start at start_vcn and appends their extents. False on a
// malformed list: a field beyond the bytes, a zero or absurd length, an LCN below zero.
bool decode_runs(const platform::byte_reader& pairs, uint64_t start_vcn, std::vector<extent_s>& out);

// True when every extent that is not a hole lies inside the volume's clusters.
bool extents_inside(const std::vector<extent_s>& extents, uint64_t total_clusters);

// Clusters covered from VCN 0 without a gap; 0 when the extents do not start at 0 or leave one.
uint64_t contiguous_clusters(const std::vector<extent_s>& extents);

}  // namespace vessor
