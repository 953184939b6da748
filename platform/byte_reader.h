#pragma once
// Little-endian and big-endian field readers over a byte span, with the offset and length
// checked before every access. Every reader of on-disk data goes through these.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <span>

namespace platform {

class byte_reader {
public:
    byte_reader() = default;
    byte_reader(const uint8_t* data, size_t size) : data_(data), size_(size) {}
    explicit byte_reader(std::span<const uint8_t> bytes) : data_(bytes.data()), size_(bytes.size()) {}

    size_t size() const { return size_; }
    const uint8_t* data() const { return data_; }

    // True when [offset, offset + length) lies inside the span (no overflow).
    bool has(size_t offset, size_t length) const { return offset <= size_ && length <= size_ - offset; }

    // Fields that do not fit read as 0; callers that must tell check has() first or use the
    // optional forms.
    uint8_t u8(size_t offset) const { return has(offset, 1) ? data_[offset] : 0; }
    uint16_t u16(size_t offset) const { return static_cast<uint16_t>(le(offset, 2)); }
    uint32_t u32(size_t offset) const { return static_cast<uint32_t>(le(offset, 4)); }
    uint64_t u64(size_t offset) const { return le(offset, 8); }
    uint16_t be16(size_t offset) const { return static_cast<uint16_t>(be(offset, 2)); }
    uint32_t be32(size_t offset) const { return static_cast<uint32_t>(be(offset, 4)); }
    uint64_t be64(size_t offset) const { return be(offset, 8); }

    std::optional<uint16_t> try_u16(size_t offset) const {
        if (!has(offset, 2)) return std::nullopt;
        return u16(offset);
    }
    std::optional<uint32_t> try_u32(size_t offset) const {
        if (!has(offset, 4)) return std::nullopt;
        return u32(offset);
    }
    std::optional<uint64_t> try_u64(size_t offset) const {
        if (!has(offset, 8)) return std::nullopt;
        return u64(offset);
    }

    // Little-endian unsigned field of 1 to 8 bytes (0 when it does not fit).
    uint64_t le(size_t offset, size_t width) const {
        if (width == 0 || width > 8 || !has(offset, width)) return 0;
        uint64_t value = 0;
        for (size_t i = width; i-- > 0;) value = (value << 8) | data_[offset + i];
        return value;
    }
    uint64_t be(size_t offset, size_t width) const {
        if (width == 0 || width > 8 || !has(offset, width)) return 0;
        uint64_t value = 0;
        for (size_t i = 0; i < width; ++i) value = (value << 8) | data_[offset + i];
        return value;
    }

    // True when the bytes at offset equal the given ones.
    bool matches(size_t offset, const void* bytes, size_t length) const {
        return has(offset, length) && std::memcmp(data_ + offset, bytes, length) == 0;
    }
    template <size_t N>
    bool matches(size_t offset, const char (&text)[N]) const {
        return matches(offset, text, N - 1);
    }

    // The sub-span [offset, offset + length), empty when it does not fit.
    byte_reader sub(size_t offset, size_t length) const {
        return has(offset, length) ? byte_reader(data_ + offset, length) : byte_reader();
    }

private:
    const uint8_t* data_ = nullptr;
    size_t size_ = 0;
};

// Writers for building on-disk structures (boot code, partition entries, test fixtures).
inline void put_le(uint8_t* destination, uint64_t value, size_t width) {
    for (size_t i = 0; i < width; ++i) destination[i] = static_cast<uint8_t>(value >> (8 * i));
}

}  // namespace platform
