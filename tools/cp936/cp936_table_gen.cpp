// Writes the code page 936 to UTF-16 table as a C++ source file, taking every mapping from
// glibc's iconv "CP936" converter (the published Windows table: 21,791 double-byte codes plus
// the single byte 0x80 for the euro sign).
//
// usage: cp936_table_gen OUTPUT.cpp
#include <iconv.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

constexpr unsigned lead_first = 0x81, lead_last = 0xFE;
constexpr unsigned trail_first = 0x40, trail_last = 0xFE;
constexpr unsigned trail_count = trail_last - trail_first + 1;
constexpr unsigned expected_pairs = 21792;

// The one UTF-16 unit the bytes convert to, or 0 when iconv has no mapping for them (or the
// result is not a single unit).
char16_t convert(iconv_t converter, const std::vector<char>& bytes) {
    iconv(converter, nullptr, nullptr, nullptr, nullptr);
    std::vector<char> input = bytes;
    char output[8] = {};
    char* in = input.data();
    size_t in_left = input.size();
    char* out = output;
    size_t out_left = sizeof output;
    if (iconv(converter, &in, &in_left, &out, &out_left) == static_cast<size_t>(-1)) return 0;
    if (in_left != 0 || sizeof output - out_left != 2) return 0;
    return static_cast<char16_t>(static_cast<uint8_t>(output[0]) | static_cast<uint8_t>(output[1]) << 8);
}

void write_row(FILE* file, const char16_t* units, unsigned count) {
    for (unsigned i = 0; i < count; ++i) {
        std::fprintf(file, "%s0x%04X,", i % 12 == 0 ? "\n    " : " ", static_cast<unsigned>(units[i]));
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: cp936_table_gen OUTPUT.cpp\n");
        return 2;
    }
    iconv_t converter = iconv_open("UTF-16LE", "CP936");
    if (converter == reinterpret_cast<iconv_t>(-1)) {
        std::fprintf(stderr, "cp936_table_gen: iconv has no CP936 converter\n");
        return 1;
    }

    unsigned pairs = 0;
    std::vector<char16_t> single(128);
    for (unsigned byte = 0x80; byte <= 0xFF; ++byte) {
        single[byte - 0x80] = convert(converter, {static_cast<char>(byte)});
        pairs += single[byte - 0x80] != 0;
    }
    std::vector<char16_t> double_byte((lead_last - lead_first + 1) * trail_count);
    for (unsigned lead = lead_first; lead <= lead_last; ++lead) {
        for (unsigned trail = trail_first; trail <= trail_last; ++trail) {
            char16_t unit = convert(converter, {static_cast<char>(lead), static_cast<char>(trail)});
            double_byte[(lead - lead_first) * trail_count + trail - trail_first] = unit;
            pairs += unit != 0;
        }
    }
    iconv_close(converter);
    if (pairs != expected_pairs) {
        std::fprintf(stderr, "cp936_table_gen: iconv gave %u code pairs, expected %u\n", pairs, expected_pairs);
        return 1;
    }

    FILE* file = std::fopen(argv[1], "w");
    if (!file) {
        std::perror(argv[1]);
        return 1;
    }
    std::fprintf(file,
                 "// Code page 936 to UTF-16, written by tools/cp936/cp936_table_gen from glibc's iconv\n"
                 "// \"CP936\" converter (%u code pairs). Do not edit: regenerate.\n"
                 "#include \"disk/cp936.h\"\n\n"
                 "// Bytes 0x80..0xFF on their own; 0 = no mapping.\n"
                 "const char16_t cp936_single_byte_table[128] = {",
                 pairs);
    write_row(file, single.data(), static_cast<unsigned>(single.size()));
    std::fprintf(file,
                 "\n};\n\n"
                 "// Lead byte 0x81..0xFE by trail byte 0x40..0xFE; 0 = no mapping.\n"
                 "const char16_t cp936_double_byte_table[126 * 191] = {");
    write_row(file, double_byte.data(), static_cast<unsigned>(double_byte.size()));
    std::fprintf(file, "\n};\n");
    if (std::fclose(file) != 0) {
        std::perror(argv[1]);
        return 1;
    }
    return 0;
}
