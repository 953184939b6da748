#pragma once
// Buffers of several MiB that the scan keeps for its whole run. They are asked for in huge
// pages where the system allows it: a few page faults instead of thousands when the first
// reads land in them.
#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <memory>

namespace calloway {

struct free_deleter {
    void operator()(uint8_t* p) const { std::free(p); }
};
using big_buffer = std::unique_ptr<uint8_t[], free_deleter>;

inline big_buffer make_big_buffer(size_t size) {
    constexpr size_t huge_page = 2u << 20;
    size_t rounded = (size + huge_page - 1) / huge_page * huge_page;
    auto* memory = static_cast<uint8_t*>(std::aligned_alloc(huge_page, rounded));
    if (memory) madvise(memory, rounded, MADV_HUGEPAGE);  // a hint: without it, ordinary pages
    return big_buffer(memory);
}

}  // namespace calloway
