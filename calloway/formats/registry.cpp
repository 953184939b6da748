#include "calloway/formats/registry.h"

#include <vector>

namespace calloway {

std::span<const format_descriptor_s> builtin_formats() {
    // Copies, made once: the descriptors live in their own files. Formats that share a first
    // byte are tried in this order; the strictest comes first.
    static const std::vector<format_descriptor_s> formats = {
        jpg_format, png_format, gif_format, bmp_format, tif_format, webp_format, wav_format, avi_format,
        pdf_format, zip_format, rar_format, sevenzip_format, gz_format, bz2_format, ogg_format, flac_format,
        mp4_format, sqlite_format, ole2_format, pe_format, elf_format, mp3_format,
    };
    return formats;
}

std::set<std::string> builtin_type_names() {
    std::set<std::string> names;
    for (const format_descriptor_s& format : builtin_formats()) {
        names.insert(std::string(format.type));
        std::string_view rest = format.other_types;
        while (!rest.empty()) {
            size_t space = rest.find(' ');
            if (space != 0) names.insert(std::string(rest.substr(0, space)));
            rest = space == std::string_view::npos ? std::string_view() : rest.substr(space + 1);
        }
    }
    return names;
}

}  // namespace calloway
