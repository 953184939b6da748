// ELF: the file ends after the furthest of its program header table, section header table and
// the contents those tables point at (sections that take no file space left out).
#include <algorithm>
#include <string_view>

#include "calloway/formats/registry.h"

namespace calloway {

using namespace std::literals;

namespace {

constexpr uint32_t section_no_bits = 8;

bool header_matches(const platform::byte_reader& head) {
    if (!head.matches(0, "\x7F" "ELF")) return false;
    uint8_t word = head.u8(4), order = head.u8(5);
    if ((word != 1 && word != 2) || (order != 1 && order != 2) || head.u8(6) != 1) return false;
    uint16_t type = order == 1 ? head.u16(16) : head.be16(16);
    uint16_t header_size = order == 1 ? head.u16(word == 1 ? 40 : 52) : head.be16(word == 1 ? 40 : 52);
    return type >= 1 && type <= 4 && header_size == (word == 1 ? 52 : 64);
}

class elf_reader_c {
public:
    elf_reader_c(source_c& file, bool wide, bool big_endian) : file_(file), wide_(wide), big_endian_(big_endian) {}

    uint64_t field(const platform::byte_reader& bytes, size_t offset, size_t width) const {
        return big_endian_ ? bytes.be(offset, width) : bytes.le(offset, width);
    }
    // A word-sized field: 4 bytes in 32-bit files, 8 in 64-bit ones.
    uint64_t word(const platform::byte_reader& bytes, size_t offset) const { return field(bytes, offset, wide_ ? 8 : 4); }
    bool wide() const { return wide_; }

    bool cover(uint64_t offset, uint64_t length) {
        if (offset > file_.limit() || length > file_.limit() - offset) return false;
        end_ = std::max(end_, offset + length);
        return true;
    }
    uint64_t end() const { return end_; }
    source_c& file() { return file_; }

private:
    source_c& file_;
    bool wide_;
    bool big_endian_;
    uint64_t end_ = 0;
};

// Covers the table and what each entry's offset and size point at.
bool cover_table(elf_reader_c& elf, uint64_t offset, uint64_t count, uint64_t entry_size, bool sections) {
    if (count == 0) return true;
    if (entry_size < (sections ? (elf.wide() ? 64u : 40u) : (elf.wide() ? 56u : 32u)) || !elf.cover(offset, count * entry_size))
        return false;
    for (uint64_t i = 0; i < count; ++i) {
        platform::byte_reader entry = elf.file().view(offset + i * entry_size, entry_size);
        if (!entry.has(0, entry_size)) return false;
        uint64_t start, size;
        if (sections) {
            if (elf.field(entry, 4, 4) == section_no_bits) continue;
            start = elf.wide() ? elf.word(entry, 24) : elf.word(entry, 16);
            size = elf.wide() ? elf.word(entry, 32) : elf.word(entry, 20);
        } else {
            start = elf.wide() ? elf.word(entry, 8) : elf.word(entry, 4);
            size = elf.wide() ? elf.word(entry, 32) : elf.word(entry, 16);
        }
        if (size && !elf.cover(start, size)) return false;
    }
    return true;
}

carve_result_s measure(source_c& file) {
    platform::byte_reader head = file.view(0, 64);
    if (!head.has(0, 52)) return {};
    elf_reader_c elf(file, head.u8(4) == 2, head.u8(5) == 2);
    size_t header_size = elf.wide() ? 64 : 52;
    if (!head.has(0, header_size)) return {};
    uint64_t program_offset = elf.wide() ? elf.word(head, 32) : elf.word(head, 28);
    uint64_t section_offset = elf.wide() ? elf.word(head, 40) : elf.word(head, 32);
    size_t counts = elf.wide() ? 54 : 42;
    uint64_t program_entry = elf.field(head, counts, 2), program_count = elf.field(head, counts + 2, 2);
    uint64_t section_entry = elf.field(head, counts + 4, 2), section_count = elf.field(head, counts + 6, 2);
    if (section_count == 0 && section_offset != 0) {  // more sections than fit: the count is in section 0
        platform::byte_reader first = file.view(section_offset, elf.wide() ? 64 : 40);
        if (!first.has(0, elf.wide() ? 64 : 40)) return {};
        section_count = elf.wide() ? elf.word(first, 32) : elf.word(first, 20);
        if (section_count > (1u << 24)) return {};
    }
    if (!elf.cover(0, header_size) || !cover_table(elf, program_offset, program_count, program_entry, false) ||
        !cover_table(elf, section_offset, section_count, section_entry, true))
        return {};
    return {elf.end(), {}};
}

}  // namespace

const format_descriptor_s elf_format = {
    .type = "elf",
    .other_types = "",
    .first_bytes = "\x7F"sv,
    .max_length = 4 * GiB,
    .header_matches = header_matches,
    .measure = measure,
};

}  // namespace calloway
