#pragma once
// Every built-in format, in the order a scan tries them when several share a first byte.
#include <set>
#include <span>
#include <string>

#include "calloway/format.h"

namespace calloway {

extern const format_descriptor_s jpg_format;
extern const format_descriptor_s png_format;
extern const format_descriptor_s gif_format;
extern const format_descriptor_s bmp_format;
extern const format_descriptor_s tif_format;
extern const format_descriptor_s webp_format;
extern const format_descriptor_s wav_format;
extern const format_descriptor_s avi_format;
extern const format_descriptor_s pdf_format;
extern const format_descriptor_s zip_format;
extern const format_descriptor_s rar_format;
extern const format_descriptor_s sevenzip_format;
extern const format_descriptor_s gz_format;
extern const format_descriptor_s bz2_format;
extern const format_descriptor_s mp3_format;
extern const format_descriptor_s ogg_format;
extern const format_descriptor_s flac_format;
extern const format_descriptor_s mp4_format;
extern const format_descriptor_s sqlite_format;
extern const format_descriptor_s ole2_format;
extern const format_descriptor_s pe_format;
extern const format_descriptor_s elf_format;

std::span<const format_descriptor_s> builtin_formats();

// Every type name a built-in format can report (the keys Tarnwell.conf may turn on and off).
std::set<std::string> builtin_type_names();

}  // namespace calloway
