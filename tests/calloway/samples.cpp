#include "tests/calloway/samples.h"

#include <zlib.h>

#include <cstdlib>
#include <random>

namespace samples {

bytes noise(size_t count, uint32_t seed) {
    std::mt19937 generator(seed);
    bytes out(count);
    for (auto& b : out) b = static_cast<uint8_t>(generator());
    return out;
}

uint32_t crc32_of(const bytes& data, size_t offset, size_t length) {
    if (length == SIZE_MAX) length = data.size() - offset;
    return static_cast<uint32_t>(crc32(0, data.data() + offset, static_cast<uInt>(length)));
}

bytes deflate_raw(const bytes& data) {
    z_stream stream{};
    deflateInit2(&stream, 9, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
    bytes out(deflateBound(&stream, data.size()) + 16);
    stream.next_in = const_cast<Bytef*>(data.data());
    stream.avail_in = static_cast<uInt>(data.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

const std::vector<sample_s>& all() {
    static const std::vector<sample_s> list = [] {
        std::vector<sample_s> out;
        add_pictures(out);
        add_archives(out);
        add_media(out);
        add_documents(out);
        return out;
    }();
    return list;
}

const sample_s& named(const std::string& name) {
    for (const sample_s& sample : all())
        if (sample.name == name) return sample;
    std::abort();
}

}  // namespace samples
