// FLAC: the metadata blocks from STREAMINFO to the one marked last, then the audio frames.
// Frames carry no length, so each is parsed down to its residual codes to find where it ends,
// and its CRC-16 is checked; the frames end when STREAMINFO's sample count is reached, or at
// the first frame that does not hold up.
#include <array>
#include <string_view>
#include <vector>

#include "calloway/formats/registry.h"

namespace calloway {

using namespace std::literals;

namespace {

constexpr int max_metadata_blocks = 4096;
constexpr uint32_t max_unary = 1u << 24;

template <unsigned Width, uint32_t Polynomial>
uint32_t msb_crc(uint32_t crc, const uint8_t* data, size_t size) {
    static const std::array<uint32_t, 256> table = [] {
        std::array<uint32_t, 256> t{};
        constexpr uint32_t top = 1u << (Width - 1);
        constexpr uint32_t mask = Width == 32 ? ~0u : (1u << Width) - 1;
        for (uint32_t i = 0; i < 256; ++i) {
            uint32_t r = i << (Width - 8);
            for (int bit = 0; bit < 8; ++bit) r = ((r & top) ? (r << 1) ^ Polynomial : r << 1) & mask;
            t[i] = r;
        }
        return t;
    }();
    constexpr uint32_t mask = (1u << Width) - 1;
    for (size_t i = 0; i < size; ++i) crc = ((crc << 8) ^ table[((crc >> (Width - 8)) ^ data[i]) & 0xFF]) & mask;
    return crc;
}

// Reads bits, most significant first, anywhere in the file.
class bit_reader_c {
public:
    bit_reader_c(source_c& file, uint64_t byte_offset) : file_(file), bit_(byte_offset * 8) {}

    bool read(unsigned count, uint32_t& value) {
        if (count == 0) {
            value = 0;
            return true;
        }
        uint64_t byte = bit_ >> 3;
        unsigned shift = static_cast<unsigned>(bit_ & 7);
        unsigned needed = (shift + count + 7) / 8;
        if (!cover(byte, needed)) return false;
        uint64_t gathered = 0;
        for (unsigned i = 0; i < needed; ++i) gathered = (gathered << 8) | cache_[byte - cache_start_ + i];
        gathered >>= needed * 8 - shift - count;
        value = static_cast<uint32_t>(gathered & ((1ull << count) - 1));
        bit_ += count;
        return true;
    }
    void skip(uint64_t count) { bit_ += count; }
    // Zero bits up to the next one bit, which is consumed too.
    bool unary(uint32_t& zeros) {
        zeros = 0;
        for (;;) {
            uint64_t byte = bit_ >> 3;
            if (!cover(byte, 1)) return false;
            unsigned shift = static_cast<unsigned>(bit_ & 7);
            uint8_t rest = static_cast<uint8_t>(cache_[byte - cache_start_] << shift);
            if (rest == 0) {
                zeros += 8 - shift;
                bit_ += 8 - shift;
                if (zeros > max_unary) return false;
                continue;
            }
            unsigned leading = static_cast<unsigned>(__builtin_clz(static_cast<unsigned>(rest)) - 24);
            zeros += leading;
            bit_ += leading + 1;
            return true;
        }
    }
    void align() { bit_ = (bit_ + 7) & ~7ull; }
    uint64_t byte_position() const { return bit_ >> 3; }

private:
    bool cover(uint64_t byte, unsigned count) {
        if (byte >= cache_start_ && byte + count <= cache_start_ + cache_.size()) return true;
        platform::byte_reader bytes = file_.view(byte, 64 * KiB);
        if (bytes.size() < count) return false;
        cache_.assign(bytes.data(), bytes.data() + bytes.size());
        cache_start_ = byte;
        return true;
    }

    source_c& file_;
    uint64_t bit_;
    std::vector<uint8_t> cache_;
    uint64_t cache_start_ = 0;
};

struct stream_info_s {
    uint32_t bits_per_sample = 0;
    uint64_t total_samples = 0;
};

bool skip_residual(bit_reader_c& bits, uint32_t block_size, uint32_t order) {
    uint32_t method = 0, partition_order = 0;
    if (!bits.read(2, method) || method > 1 || !bits.read(4, partition_order)) return false;
    unsigned parameter_bits = method == 0 ? 4 : 5;
    uint32_t escape = method == 0 ? 15 : 31;
    uint32_t partitions = 1u << partition_order;
    if (block_size % partitions != 0 || (block_size >> partition_order) < order) return false;
    for (uint32_t p = 0; p < partitions; ++p) {
        uint32_t samples = (block_size >> partition_order) - (p == 0 ? order : 0);
        uint32_t parameter = 0;
        if (!bits.read(parameter_bits, parameter)) return false;
        if (parameter == escape) {
            uint32_t raw = 0;
            if (!bits.read(5, raw)) return false;
            bits.skip(static_cast<uint64_t>(samples) * raw);
            continue;
        }
        for (uint32_t s = 0; s < samples; ++s) {
            uint32_t quotient = 0;
            if (!bits.unary(quotient)) return false;
            bits.skip(parameter);
        }
    }
    return true;
}

bool skip_subframe(bit_reader_c& bits, uint32_t block_size, uint32_t sample_bits) {
    uint32_t padding = 0, type = 0, wasted_flag = 0;
    if (!bits.read(1, padding) || padding != 0 || !bits.read(6, type) || !bits.read(1, wasted_flag)) return false;
    if (wasted_flag) {
        uint32_t wasted = 0;
        if (!bits.unary(wasted) || wasted + 1 >= sample_bits) return false;
        sample_bits -= wasted + 1;
    }
    if (type == 0) {
        bits.skip(sample_bits);
        return true;
    }
    if (type == 1) {
        bits.skip(static_cast<uint64_t>(sample_bits) * block_size);
        return true;
    }
    if (type >= 8 && type <= 12) {
        uint32_t order = type - 8;
        bits.skip(static_cast<uint64_t>(order) * sample_bits);
        return skip_residual(bits, block_size, order);
    }
    if (type >= 32) {
        uint32_t order = type - 31, precision = 0, shift = 0;
        bits.skip(static_cast<uint64_t>(order) * sample_bits);
        if (!bits.read(4, precision) || precision == 15 || !bits.read(5, shift)) return false;
        bits.skip(static_cast<uint64_t>(order) * (precision + 1));
        return skip_residual(bits, block_size, order);
    }
    return false;
}

struct frame_header_s {
    size_t length = 0;  // 0: no frame header
    uint32_t block_size = 0;
    uint32_t sample_bits = 0;
    uint32_t channel_assignment = 0;
};

frame_header_s parse_frame_header(const platform::byte_reader& bytes, const stream_info_s& info) {
    static constexpr uint32_t sample_bits_by_code[8] = {0, 8, 12, 0, 16, 20, 24, 32};
    frame_header_s header;
    if (!bytes.has(0, 4) || bytes.u8(0) != 0xFF || (bytes.u8(1) & 0xFE) != 0xF8) return {};
    uint32_t size_code = bytes.u8(2) >> 4, rate_code = bytes.u8(2) & 15;
    uint32_t channels = bytes.u8(3) >> 4, bits_code = (bytes.u8(3) >> 1) & 7;
    if (size_code == 0 || rate_code == 15 || channels >= 11 || bits_code == 3 || (bytes.u8(3) & 1)) return {};
    // The frame or sample number, coded like UTF-8 in one to seven bytes.
    size_t at = 4;
    uint8_t lead = bytes.u8(at);
    size_t ones = 0;
    while (ones < 8 && (lead & (0x80u >> ones))) ++ones;
    if (ones == 1 || ones == 8) return {};
    size_t number_length = ones == 0 ? 1 : ones;
    for (size_t i = 1; i < number_length; ++i)
        if ((bytes.u8(at + i) & 0xC0) != 0x80) return {};
    at += number_length;
    if (size_code == 1) {
        header.block_size = 192;
    } else if (size_code <= 5) {
        header.block_size = 576u << (size_code - 2);
    } else if (size_code == 6) {
        header.block_size = 1u + bytes.u8(at);
        at += 1;
    } else if (size_code == 7) {
        header.block_size = 1u + bytes.be16(at);
        at += 2;
    } else {
        header.block_size = 256u << (size_code - 8);
    }
    if (rate_code == 12) at += 1;
    else if (rate_code == 13 || rate_code == 14) at += 2;
    if (!bytes.has(at, 1) || msb_crc<8, 0x07>(0, bytes.data(), at) != bytes.u8(at)) return {};
    header.sample_bits = bits_code == 0 ? info.bits_per_sample : sample_bits_by_code[bits_code];
    if (header.sample_bits == 0) return {};
    header.channel_assignment = channels;
    header.length = at + 1;
    return header;
}

// The end of the frame at offset, its CRC-16 checked; 0 when it does not hold up.
uint64_t frame_end(source_c& file, uint64_t offset, const stream_info_s& info, uint32_t& block_size) {
    frame_header_s header = parse_frame_header(file.view(offset, 16), info);
    if (header.length == 0) return 0;
    bit_reader_c bits(file, offset + header.length);
    uint32_t channels = header.channel_assignment < 8 ? header.channel_assignment + 1 : 2;
    for (uint32_t channel = 0; channel < channels; ++channel) {
        // The side channel of a stereo decorrelation carries one bit more.
        bool side = (header.channel_assignment == 8 && channel == 1) || (header.channel_assignment == 9 && channel == 0) ||
                    (header.channel_assignment == 10 && channel == 1);
        if (!skip_subframe(bits, header.block_size, header.sample_bits + (side ? 1 : 0))) return 0;
    }
    bits.align();
    uint64_t end = bits.byte_position() + 2;
    if (end > file.limit()) return 0;
    uint32_t crc = 0;
    for (uint64_t at = offset; at < end;) {
        platform::byte_reader bytes = file.view(at, static_cast<size_t>(std::min<uint64_t>(end - at, MiB)));
        if (bytes.size() == 0) return 0;
        crc = msb_crc<16, 0x8005>(crc, bytes.data(), bytes.size());
        at += bytes.size();
    }
    if (crc != 0) return 0;  // the CRC over a frame and its own CRC is zero
    block_size = header.block_size;
    return end;
}

// The offset of the first frame, after the metadata blocks; 0 when they do not hold up.
uint64_t read_metadata(source_c& file, stream_info_s& info) {
    uint64_t position = 4;
    for (int block = 0; block < max_metadata_blocks; ++block) {
        platform::byte_reader header = file.view(position, 4 + 34);
        if (!header.has(0, 4)) return 0;
        uint8_t type = header.u8(0) & 0x7F;
        uint32_t length = static_cast<uint32_t>(header.be(1, 3));
        if (type == 127 || (block == 0 && (type != 0 || length != 34)) || (block > 0 && type == 0)) return 0;
        if (block == 0) {
            if (!header.has(4, 34)) return 0;
            info.bits_per_sample = ((header.u8(4 + 12) & 1) << 4 | header.u8(4 + 13) >> 4) + 1;
            info.total_samples = header.be(4 + 13, 5) & 0xFFFFFFFFFull;
        }
        position += 4 + length;
        if (header.u8(0) & 0x80) return position;
    }
    return 0;
}

bool header_matches(const platform::byte_reader& head) {
    return head.matches(0, "fLaC") && (head.u8(4) & 0x7F) == 0 && head.be(5, 3) == 34;
}

carve_result_s measure(source_c& file) {
    stream_info_s info;
    uint64_t position = read_metadata(file, info);
    if (position == 0) return {};
    uint64_t samples = 0;
    int frames = 0;
    while (info.total_samples == 0 || samples < info.total_samples) {
        uint32_t block_size = 0;
        uint64_t end = frame_end(file, position, info, block_size);
        if (end == 0) break;
        position = end;
        samples += block_size;
        ++frames;
    }
    if (frames == 0) return {};
    return {position, {}};
}

}  // namespace

const format_descriptor_s flac_format = {
    .type = "flac",
    .other_types = "",
    .first_bytes = "f"sv,
    .max_length = 4 * GiB,
    .header_matches = header_matches,
    .measure = measure,
};

}  // namespace calloway
