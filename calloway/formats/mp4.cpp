// MP4 and QuickTime (ISO base media): top-level boxes one after the other, each sized by its
// header, while their types are ones that stand at the top of such a file. A movie needs its
// "moov" and "mdat"; a HEIF image its "meta" and "mdat". The major brand names the type.
#include <string_view>

#include "calloway/formats/registry.h"

namespace calloway {

using namespace std::literals;

namespace {

constexpr int max_boxes = 1 << 20;

bool is_top_level_type(const platform::byte_reader& bytes, size_t offset) {
    static constexpr std::string_view types[] = {"ftyp", "moov", "mdat", "free", "skip", "wide", "uuid", "meta",
                                                  "pdin", "moof", "mfra", "sidx", "ssix", "styp", "emsg", "prft",
                                                  "pnot", "udta", "junk", "PICT", "mfro"};
    for (std::string_view type : types)
        if (bytes.matches(offset, type.data(), 4)) return true;
    return false;
}

// Files without "ftyp" (older QuickTime) open with one of these.
bool is_legacy_first_type(const platform::byte_reader& bytes) {
    return bytes.matches(4, "moov") || bytes.matches(4, "mdat") || bytes.matches(4, "wide") ||
           bytes.matches(4, "free") || bytes.matches(4, "skip") || bytes.matches(4, "pnot");
}

bool header_matches(const platform::byte_reader& head) {
    uint32_t size = head.be32(0);
    if (head.matches(4, "ftyp")) return size >= 16 && size <= 4096 && size % 4 == 0;
    return is_legacy_first_type(head) && (size >= 8 || size == 1);
}

std::string_view type_of_brand(const platform::byte_reader& ftyp) {
    if (!ftyp.matches(4, "ftyp")) return "mov";
    static constexpr std::pair<std::string_view, std::string_view> brands[] = {
        {"qt  ", "mov"}, {"M4A ", "m4a"}, {"M4B ", "m4a"}, {"M4P ", "m4a"}, {"M4V ", "m4v"}, {"crx ", "cr3"},
        {"heic", "heic"}, {"heix", "heic"}, {"mif1", "heic"}, {"msf1", "heic"}, {"avif", "avif"},
    };
    for (auto [brand, type] : brands)
        if (ftyp.matches(8, brand.data(), 4)) return type;
    if (ftyp.matches(8, "3g")) return "3gp";
    return "mp4";
}

carve_result_s measure(source_c& file) {
    platform::byte_reader first = file.view(0, 16);
    std::string_view type = type_of_brand(first);
    bool image = type == "heic" || type == "avif";
    bool movie_seen = false, media_seen = false, meta_seen = false;
    uint64_t position = 0;
    for (int boxes = 0; boxes < max_boxes; ++boxes) {
        platform::byte_reader box = file.view(position, 16);
        if (!box.has(0, 8) || !is_top_level_type(box, 4)) break;
        if (boxes > 0 && box.matches(4, "ftyp")) break;  // the next file
        uint64_t size = box.be32(0);
        if (size == 1) size = box.has(8, 8) ? box.be64(8) : 0;
        if (size < 8 || size > file.limit() - position) break;  // size 0 ("to the end") cannot be measured
        movie_seen = movie_seen || box.matches(4, "moov");
        media_seen = media_seen || box.matches(4, "mdat");
        meta_seen = meta_seen || box.matches(4, "meta");
        position += size;
    }
    bool complete = media_seen && (image ? meta_seen : movie_seen);
    if (!complete) return {};
    return {position, type};
}

}  // namespace

const format_descriptor_s mp4_format = {
    .type = "mp4",
    .other_types = "mov m4a m4v 3gp cr3 heic avif",
    .first_bytes = ""sv,  // an older QuickTime file may open with a box of any size
    .max_length = 64 * GiB,
    .header_matches = header_matches,
    .measure = measure,
};

}  // namespace calloway
