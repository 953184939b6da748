// bzip2: the stream is decoded (its block and stream CRCs checked by the decoder) to find its
// end; streams that follow at once (parallel compressors write several) belong to the file.
#include <bzlib.h>

#include <string_view>
#include <memory>

#include "calloway/formats/registry.h"

namespace calloway {

using namespace std::literals;

namespace {

constexpr int max_streams = 4096;
constexpr size_t input_chunk = 256u << 10;
constexpr size_t output_chunk = 256u << 10;

bool header_matches(const platform::byte_reader& head) {
    if (!head.matches(0, "BZh") || head.u8(3) < '1' || head.u8(3) > '9') return false;
    return head.matches(4, "\x31\x41\x59\x26\x53\x59") || head.matches(4, "\x17\x72\x45\x38\x50\x90");
}

class decompressor_c {
public:
    decompressor_c() { ok_ = BZ2_bzDecompressInit(&stream_, 0, 0) == BZ_OK; }
    ~decompressor_c() {
        if (ok_) BZ2_bzDecompressEnd(&stream_);
    }
    decompressor_c(const decompressor_c&) = delete;
    decompressor_c& operator=(const decompressor_c&) = delete;
    bool ok() const { return ok_; }
    bz_stream& stream() { return stream_; }

private:
    bz_stream stream_{};
    bool ok_ = false;
};

// The end of the stream at offset; 0 when it does not decode.
uint64_t stream_end(source_c& file, uint64_t offset) {
    decompressor_c decompressor;
    if (!decompressor.ok()) return 0;
    bz_stream& stream = decompressor.stream();
    auto output = std::make_unique_for_overwrite<char[]>(output_chunk);  // thrown away: no need to clear it
    uint64_t position = offset;
    for (;;) {
        platform::byte_reader input = file.view(position, input_chunk);
        if (input.size() == 0) return 0;
        stream.next_in = const_cast<char*>(reinterpret_cast<const char*>(input.data()));
        stream.avail_in = static_cast<unsigned>(input.size());
        int status = BZ_OK;
        while (stream.avail_in > 0 && status == BZ_OK) {
            stream.next_out = output.get();
            stream.avail_out = static_cast<unsigned>(output_chunk);
            unsigned input_before = stream.avail_in;
            status = BZ2_bzDecompress(&stream);
            bool no_progress = stream.avail_in == input_before && stream.avail_out == output_chunk;
            if (status == BZ_OK && no_progress) return 0;
        }
        position += input.size() - stream.avail_in;
        if (status == BZ_STREAM_END) return position;
        if (status != BZ_OK) return 0;
    }
}

carve_result_s measure(source_c& file) {
    uint64_t end = stream_end(file, 0);
    if (end == 0) return {};
    for (int streams = 1; streams < max_streams; ++streams) {
        if (!header_matches(file.view(end, 10))) break;
        uint64_t next = stream_end(file, end);
        if (next == 0) break;
        end = next;
    }
    return {end, {}};
}

}  // namespace

const format_descriptor_s bz2_format = {
    .type = "bz2",
    .other_types = "",
    .first_bytes = "B"sv,
    .max_length = 16 * GiB,
    .header_matches = header_matches,
    .measure = measure,
};

}  // namespace calloway
