// The NTFS library's record decoding, without a volume around it: the input's first 1,024
// bytes are a base record, the following 1,024-byte pieces its extension records (numbers 1,
// 2, ...), and the input as a whole stands for the clusters that non-resident lists and
// compressed chunks are read from.
#include <algorithm>
#include <cstring>
#include <vector>

#include "platform/byte_reader.h"
#include "tests/fuzz/fuzz_support.h"
#include "vessor/file_record.h"
#include "vessor/lznt1.h"
#include "vessor/record_summary.h"
#include "vessor/run_list.h"

namespace {

constexpr size_t record_bytes = 1024;
constexpr uint64_t cluster_bytes = 512;
constexpr uint64_t stream_limit = 1 << 20;

class input_records_c : public vessor::record_source_i {
public:
    input_records_c(const uint8_t* data, size_t size) : data_(data), size_(size) {}

    bool read_record(uint64_t number, std::vector<uint8_t>& record) const override {
        if (number >= size_ / record_bytes) return false;
        record.assign(data_ + number * record_bytes, data_ + (number + 1) * record_bytes);
        vessor::record_header_s header;
        return vessor::apply_fixups(record.data(), record.size()) &&
               vessor::parse_record_header(platform::byte_reader(record.data(), record.size()), header);
    }

    bool read_stream(const std::vector<vessor::extent_s>& extents, uint64_t size,
                     std::vector<uint8_t>& out) const override {
        if (size > stream_limit || !vessor::extents_inside(extents, size_ / cluster_bytes)) return false;
        out.assign(size, 0);
        uint64_t at = 0;
        for (const vessor::extent_s& extent : extents) {
            for (uint64_t c = 0; c < extent.length && at < size; ++c, at += cluster_bytes) {
                if (extent.hole) continue;
                uint64_t from = (extent.lcn + c) * cluster_bytes;
                size_t take = static_cast<size_t>(std::min<uint64_t>(cluster_bytes, size - at));
                if (from + take > size_) return false;
                std::memcpy(out.data() + at, data_ + from, take);
            }
        }
        return true;
    }

private:
    const uint8_t* data_;
    size_t size_;
};

void check_runs(const vessor::attribute_s& attribute, uint64_t total_clusters) {
    std::vector<vessor::extent_s> extents;
    if (!vessor::decode_runs(attribute.mapping_pairs, attribute.start_vcn, extents)) return;
    uint64_t vcn = attribute.start_vcn;
    for (const vessor::extent_s& extent : extents) {
        fuzz::require(extent.length != 0, "a decoded run of no clusters");
        fuzz::require(extent.vcn == vcn, "decoded runs that do not follow each other");
        vcn += extent.length;
    }
    vessor::extents_inside(extents, total_clusters);
    vessor::contiguous_clusters(extents);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size >= record_bytes) {
        std::vector<uint8_t> record(data, data + record_bytes);
        if (vessor::apply_fixups(record.data(), record.size())) {
            platform::byte_reader bytes(record.data(), record.size());
            vessor::record_header_s header;
            std::vector<vessor::attribute_s> attributes;
            if (vessor::parse_record_header(bytes, header) && vessor::list_attributes(bytes, header, attributes)) {
                for (const vessor::attribute_s& attribute : attributes) {
                    fuzz::require(attribute.value.size() <= record_bytes, "an attribute value beyond its record");
                    if (attribute.nonresident) check_runs(attribute, size / cluster_bytes);
                }
            }
            input_records_c source(data, size);
            vessor::record_summary_s summary;
            std::vector<vessor::attribute_s> scratch;
            vessor::summarise_record(0, bytes, source, true, summary, scratch);
            summary.preferred_name();
        }
    }
    // The same bytes as compressed chunks, into an output whose size the first byte picks.
    std::vector<uint8_t> output(size ? (data[0] % 17) * 4096 : 0, 0);
    vessor::lznt1_decompress(platform::byte_reader(data, size), output.data(), output.size());
    return 0;
}
