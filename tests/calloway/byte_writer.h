#pragma once
// Appends little- and big-endian fields to a byte vector, for building sample files by hand.
#include <cstdint>
#include <string_view>
#include <vector>

namespace samples {

using bytes = std::vector<uint8_t>;

class byte_writer {
public:
    bytes data;

    size_t size() const { return data.size(); }
    byte_writer& u8(uint64_t v) { return le(v, 1); }
    byte_writer& le16(uint64_t v) { return le(v, 2); }
    byte_writer& le32(uint64_t v) { return le(v, 4); }
    byte_writer& le64(uint64_t v) { return le(v, 8); }
    byte_writer& be16(uint64_t v) { return be(v, 2); }
    byte_writer& be24(uint64_t v) { return be(v, 3); }
    byte_writer& be32(uint64_t v) { return be(v, 4); }
    byte_writer& be64(uint64_t v) { return be(v, 8); }
    byte_writer& text(std::string_view s) {
        data.insert(data.end(), s.begin(), s.end());
        return *this;
    }
    byte_writer& raw(const bytes& b) {
        data.insert(data.end(), b.begin(), b.end());
        return *this;
    }
    byte_writer& fill(size_t count, uint8_t value = 0) {
        data.insert(data.end(), count, value);
        return *this;
    }
    byte_writer& pad_to(size_t length, uint8_t value = 0) {
        if (data.size() < length) data.resize(length, value);
        return *this;
    }
    // Overwrites a little- or big-endian field written earlier.
    void patch_le(size_t at, uint64_t v, size_t width) {
        for (size_t i = 0; i < width; ++i) data[at + i] = static_cast<uint8_t>(v >> (8 * i));
    }
    void patch_be(size_t at, uint64_t v, size_t width) {
        for (size_t i = 0; i < width; ++i) data[at + i] = static_cast<uint8_t>(v >> (8 * (width - 1 - i)));
    }

private:
    byte_writer& le(uint64_t v, size_t width) {
        for (size_t i = 0; i < width; ++i) data.push_back(static_cast<uint8_t>(v >> (8 * i)));
        return *this;
    }
    byte_writer& be(uint64_t v, size_t width) {
        for (size_t i = width; i-- > 0;) data.push_back(static_cast<uint8_t>(v >> (8 * i)));
        return *this;
    }
};

// MSB-first bit packing (FLAC frames).
class bit_writer {
public:
    bit_writer& put(uint64_t value, unsigned count) {
        for (unsigned i = count; i-- > 0;) bit((value >> i) & 1);
        return *this;
    }
    bit_writer& unary(uint32_t zeros) {
        for (uint32_t i = 0; i < zeros; ++i) bit(0);
        bit(1);
        return *this;
    }
    void align() {
        while (used_ != 0) bit(0);
    }
    const bytes& data() const { return data_; }

private:
    void bit(uint64_t b) {
        if (used_ == 0) data_.push_back(0);
        if (b) data_.back() |= static_cast<uint8_t>(0x80 >> used_);
        used_ = (used_ + 1) % 8;
    }
    bytes data_;
    unsigned used_ = 0;
};

}  // namespace samples
