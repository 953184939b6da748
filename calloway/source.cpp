#include "calloway/format.h"

#include <algorithm>
#include <cstring>

namespace calloway {

platform::byte_reader source_c::view(uint64_t offset, size_t count) {
    if (offset >= limit_) return {};
    count = static_cast<size_t>(std::min<uint64_t>(count, limit_ - offset));
    return volume_.view(start_ + offset, count);
}

bool source_c::read(uint64_t offset, void* destination, size_t count) {
    auto* out = static_cast<uint8_t*>(destination);
    while (count > 0) {
        platform::byte_reader bytes = view(offset, count);
        if (bytes.size() == 0) return false;
        std::memcpy(out, bytes.data(), bytes.size());
        out += bytes.size();
        offset += bytes.size();
        count -= bytes.size();
    }
    return true;
}

std::optional<uint64_t> source_c::find(std::string_view needle, uint64_t from, uint64_t to) {
    if (needle.empty() || needle.size() > volume_reader_c::max_view / 2) return std::nullopt;
    to = std::min(to, limit_);
    while (from < to && to - from >= needle.size()) {
        size_t want = static_cast<size_t>(std::min<uint64_t>(volume_reader_c::max_view, to - from));
        platform::byte_reader bytes = view(from, want);
        if (bytes.size() < needle.size()) return std::nullopt;
        const void* hit = memmem(bytes.data(), bytes.size(), needle.data(), needle.size());
        if (hit) return from + static_cast<uint64_t>(static_cast<const uint8_t*>(hit) - bytes.data());
        if (bytes.size() == to - from) return std::nullopt;
        from += bytes.size() - (needle.size() - 1);  // a needle may straddle two views
    }
    return std::nullopt;
}

}  // namespace calloway
