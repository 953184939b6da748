#include "calloway/inflate_stream.h"

#include <zlib.h>

#include <memory>

namespace calloway {

namespace {

constexpr size_t input_chunk = 256u << 10;
constexpr size_t output_chunk = 64u << 10;

class inflater_c {
public:
    inflater_c() { ok_ = inflateInit2(&stream_, -MAX_WBITS) == Z_OK; }
    ~inflater_c() {
        if (ok_) inflateEnd(&stream_);
    }
    inflater_c(const inflater_c&) = delete;
    inflater_c& operator=(const inflater_c&) = delete;
    bool ok() const { return ok_; }
    z_stream& stream() { return stream_; }

private:
    z_stream stream_{};
    bool ok_ = false;
};

}  // namespace

inflate_extent_s inflate_extent(source_c& file, uint64_t offset, bool with_crc) {
    inflate_extent_s result;
    inflater_c inflater;
    if (!inflater.ok()) return result;
    z_stream& stream = inflater.stream();
    auto output = std::make_unique_for_overwrite<uint8_t[]>(output_chunk);  // thrown away: no need to clear it
    uint32_t crc = static_cast<uint32_t>(crc32(0, nullptr, 0));
    uint64_t position = offset;
    for (;;) {
        platform::byte_reader input = file.view(position, input_chunk);
        if (input.size() == 0) return result;
        stream.next_in = const_cast<Bytef*>(input.data());
        stream.avail_in = static_cast<uInt>(input.size());
        int status = Z_OK;
        while (stream.avail_in > 0 && status == Z_OK) {
            stream.next_out = output.get();
            stream.avail_out = static_cast<uInt>(output_chunk);
            status = inflate(&stream, Z_NO_FLUSH);
            size_t made = output_chunk - stream.avail_out;
            if (with_crc && made) crc = static_cast<uint32_t>(crc32(crc, output.get(), static_cast<uInt>(made)));
            result.produced += made;
        }
        position += input.size() - stream.avail_in;
        if (status == Z_STREAM_END) {
            result.complete = true;
            result.consumed = position - offset;
            result.crc = crc;
            return result;
        }
        // Anything else is damage, or no progress with input left, which would loop forever.
        if ((status != Z_OK && status != Z_BUF_ERROR) || stream.avail_in > 0) return result;
    }
}

}  // namespace calloway
