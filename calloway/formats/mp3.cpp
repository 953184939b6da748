// MP3: an optional ID3v2 tag, then MPEG audio frames of one version, layer and sample rate one
// after the other (each frame's length follows from its header), then optional APE and ID3v1
// tags. A run of frames too short to be chance is no file.
#include <string_view>

#include "calloway/formats/registry.h"

namespace calloway {

using namespace std::literals;

namespace {

constexpr int min_frames_after_tag = 2;
constexpr int min_frames_bare = 6;
constexpr uint64_t max_tag_padding = 64 * KiB;
constexpr int max_tags = 4;

struct frame_s {
    uint32_t length = 0;
    uint32_t kind = 0;  // version, layer and sample rate bits: must stay the same
};

// The frame whose header is at the start of bytes; length 0 when it is no frame header.
frame_s parse_frame(const platform::byte_reader& bytes) {
    static constexpr uint16_t bitrates[2][3][15] = {
        {{0, 32, 64, 96, 128, 160, 192, 224, 256, 288, 320, 352, 384, 416, 448},  // MPEG-1 layer I
         {0, 32, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320, 384},     // layer II
         {0, 32, 40, 48, 56, 64, 80, 96, 112, 128, 160, 192, 224, 256, 320}},     // layer III
        {{0, 32, 48, 56, 64, 80, 96, 112, 128, 144, 160, 176, 192, 224, 256},     // MPEG-2/2.5 layer I
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160},          // layers II and III
         {0, 8, 16, 24, 32, 40, 48, 56, 64, 80, 96, 112, 128, 144, 160}}};
    static constexpr uint32_t sample_rates[3] = {44100, 48000, 32000};
    if (!bytes.has(0, 4)) return {};
    uint32_t header = bytes.be32(0);
    if ((header & 0xFFE00000) != 0xFFE00000) return {};
    uint32_t version = (header >> 19) & 3;  // 0 MPEG-2.5, 2 MPEG-2, 3 MPEG-1
    uint32_t layer = (header >> 17) & 3;    // 1 III, 2 II, 3 I
    uint32_t bitrate_index = (header >> 12) & 15;
    uint32_t rate_index = (header >> 10) & 3;
    if (version == 1 || layer == 0 || bitrate_index == 0 || bitrate_index == 15 || rate_index == 3 ||
        (header & 3) == 2)
        return {};
    bool mpeg1 = version == 3;
    uint32_t bitrate = bitrates[mpeg1 ? 0 : 1][3 - layer] [bitrate_index] * 1000u;
    uint32_t rate = sample_rates[rate_index] >> (mpeg1 ? 0 : version == 2 ? 1 : 2);
    uint32_t padding = (header >> 9) & 1;
    frame_s frame;
    if (layer == 3)
        frame.length = (12 * bitrate / rate + padding) * 4;
    else if (layer == 1 && !mpeg1)
        frame.length = 72 * bitrate / rate + padding;
    else
        frame.length = 144 * bitrate / rate + padding;
    frame.kind = header & 0xFFFE0C00;
    return frame;
}

// ID3v2: "ID3", version 2 to 4, flags, a 28-bit size in four 7-bit bytes.
uint64_t id3_tag_length(const platform::byte_reader& bytes) {
    if (!bytes.has(0, 10) || !bytes.matches(0, "ID3") || bytes.u8(3) < 2 || bytes.u8(3) > 4 || bytes.u8(4) == 0xFF)
        return 0;
    uint64_t size = 0;
    for (size_t i = 6; i < 10; ++i) {
        if (bytes.u8(i) & 0x80) return 0;
        size = (size << 7) | bytes.u8(i);
    }
    bool footer = bytes.u8(3) == 4 && (bytes.u8(5) & 0x10);
    return 10 + size + (footer ? 10 : 0);
}

bool header_matches(const platform::byte_reader& head) {
    if (id3_tag_length(head) > 0) return true;
    frame_s first = parse_frame(head);
    if (first.length == 0) return false;
    frame_s second = parse_frame(head.sub(first.length, 4));
    return second.length > 0 && second.kind == first.kind;
}

// The first frame after a tag, past any zero padding the tag left out of its size.
uint64_t first_frame_after(source_c& file, uint64_t offset) {
    for (uint64_t end = offset + max_tag_padding; offset < end;) {
        platform::byte_reader bytes = file.view(offset, 4 * KiB);
        if (bytes.size() == 0) return offset;
        size_t at = 0;
        while (at < bytes.size() && bytes.u8(at) == 0) ++at;
        offset += at;
        if (at < bytes.size()) return offset;
    }
    return offset;
}

// Trailing tags: an APEv2 tag with its header, then the 128-byte ID3v1 tag.
uint64_t skip_trailing_tags(source_c& file, uint64_t offset) {
    platform::byte_reader ape = file.view(offset, 32);
    if (ape.matches(0, "APETAGEX") && ape.has(0, 32) && (ape.u32(20) & 0x80000000u)) {
        uint64_t end = offset + 32 + ape.u32(12);
        if (end <= file.limit()) offset = end;
    }
    platform::byte_reader id3v1 = file.view(offset, 128);
    if (id3v1.has(0, 128) && id3v1.matches(0, "TAG")) offset += 128;
    return offset;
}

carve_result_s measure(source_c& file) {
    // Some taggers add a second tag in front of the frames instead of rewriting the first.
    uint64_t position = 0;
    bool tagged = false;
    for (int tags = 0; tags < max_tags; ++tags) {
        uint64_t tag = id3_tag_length(file.view(position, 10));
        if (tag == 0) break;
        tagged = true;
        position = first_frame_after(file, position + tag);
    }
    uint32_t kind = 0;
    int frames = 0;
    for (;;) {
        frame_s frame = parse_frame(file.view(position, 4));
        if (frame.length == 0 || (frames > 0 && frame.kind != kind) || position + frame.length > file.limit()) break;
        kind = frame.kind;
        position += frame.length;
        ++frames;
    }
    if (frames < (tagged ? min_frames_after_tag : min_frames_bare)) return {};
    return {skip_trailing_tags(file, position), {}};
}

}  // namespace

const format_descriptor_s mp3_format = {
    .type = "mp3",
    .other_types = "",
    .first_bytes = "\xFFI"sv,
    .max_length = 1 * GiB,
    .header_matches = header_matches,
    .measure = measure,
};

}  // namespace calloway
