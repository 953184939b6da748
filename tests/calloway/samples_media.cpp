// Audio and video: WAV, AVI (with an OpenDML extension), MP3, Ogg, FLAC, MP4/MOV/M4A.
#include <array>
#include <functional>

#include "tests/calloway/samples.h"

namespace samples {

namespace {

void chunk(byte_writer& out, const char* id, const bytes& data) {
    out.text(id).le32(data.size()).raw(data);
    if (data.size() & 1) out.u8(0);
}

bytes riff(const char* form, const bytes& chunks) {
    byte_writer out;
    out.text("RIFF").le32(4 + chunks.size()).text(form).raw(chunks);
    return out.data;
}

bytes wave() {
    byte_writer fmt;
    fmt.le16(1).le16(1).le32(8000).le32(16000).le16(2).le16(16);
    byte_writer chunks;
    chunk(chunks, "fmt ", fmt.data);
    chunk(chunks, "data", noise(3001, 11));  // odd: a pad byte follows
    byte_writer info;
    info.text("INFO").text("INAM").le32(6).text("tones").u8(0);
    chunk(chunks, "LIST", info.data);
    return riff("WAVE", chunks.data);
}

// Its last chunk has an odd size; the pad byte after it is written but left out of the RIFF size.
bytes wave_with_uncounted_pad() {
    byte_writer fmt;
    fmt.le16(1).le16(1).le32(11025).le32(11025).le16(1).le16(8);
    byte_writer chunks;
    chunk(chunks, "fmt ", fmt.data);
    chunk(chunks, "data", noise(2001, 15));
    bytes file = riff("WAVE", chunks.data);
    byte_writer size;
    size.le32(file.size() - 8 - 1);
    std::copy(size.data.begin(), size.data.end(), file.begin() + 4);
    return file;
}

bytes list(const char* type, const bytes& content) {
    byte_writer out;
    out.text(type).raw(content);
    return out.data;
}

bytes avi_movie() {
    byte_writer header;
    chunk(header, "avih", bytes(56, 0));
    byte_writer movie;
    chunk(movie, "00dc", noise(1200, 12));
    chunk(movie, "00dc", noise(901, 13));
    byte_writer chunks;
    chunk(chunks, "LIST", list("hdrl", header.data));
    chunk(chunks, "LIST", list("movi", movie.data));
    chunk(chunks, "idx1", bytes(32, 0));
    bytes file = riff("AVI ", chunks.data);
    byte_writer extension_movie;
    chunk(extension_movie, "00dc", noise(700, 14));
    byte_writer extension;
    chunk(extension, "LIST", list("movi", extension_movie.data));
    bytes avix = riff("AVIX", extension.data);
    file.insert(file.end(), avix.begin(), avix.end());
    return file;
}

// MPEG-1 layer III frames at 44.1 kHz: 128 kbit/s frames are 417 or 418 bytes long, 320 kbit/s
// ones 1044 or 1045 (more than a sector: their header test looks past the sector).
bytes mpeg_frames(int count, bool high_rate) {
    byte_writer out;
    uint32_t length = high_rate ? 1044 : 417;
    for (int i = 0; i < count; ++i) {
        bool padded = i % 3 == 1;
        out.be32((high_rate ? 0xFFFBE000 : 0xFFFB9000) | (padded ? 0x200 : 0));
        out.raw(noise(length - 4 + (padded ? 1 : 0), 100 + i));
    }
    return out.data;
}

// An ID3v2.3 tag (with padding when asked), optionally a second ID3v2.4 tag, frames, ID3v1.
bytes mp3_tagged(size_t padding, bool second_tag) {
    byte_writer out;
    std::string title = "A test tone";
    uint32_t size = static_cast<uint32_t>(10 + 1 + title.size() + padding);
    out.text("ID3").u8(3).u8(0).u8(0);
    out.u8((size >> 21) & 0x7F).u8((size >> 14) & 0x7F).u8((size >> 7) & 0x7F).u8(size & 0x7F);
    out.text("TIT2").be32(1 + title.size()).le16(0).u8(0).text(title).fill(padding);
    if (second_tag) out.text("ID3").u8(4).u8(0).u8(0).be32(12).text("TCON").be32(2).le16(0).u8(0).text("x");
    out.raw(mpeg_frames(12, false));
    out.text("TAG").fill(125, ' ');
    return out.data;
}

uint32_t ogg_crc(const bytes& data) {
    uint32_t crc = 0;
    for (uint8_t byte : data) {
        crc ^= static_cast<uint32_t>(byte) << 24;
        for (int bit = 0; bit < 8; ++bit) crc = (crc & 0x80000000u) ? (crc << 1) ^ 0x04C11DB7u : crc << 1;
    }
    return crc;
}

void ogg_page(byte_writer& out, uint8_t flags, uint64_t granule, uint32_t sequence, const std::vector<bytes>& packets) {
    byte_writer page;
    std::vector<uint8_t> lacing;
    bytes body;
    for (const bytes& packet : packets) {
        size_t left = packet.size();
        while (left >= 255) lacing.push_back(255), left -= 255;
        lacing.push_back(static_cast<uint8_t>(left));
        body.insert(body.end(), packet.begin(), packet.end());
    }
    page.text("OggS").u8(0).u8(flags).le64(granule).le32(0x1234ABCD).le32(sequence).le32(0);
    page.u8(lacing.size()).raw(lacing).raw(body);
    page.patch_le(22, ogg_crc(page.data), 4);
    out.raw(page.data);
}

bytes ogg_stream() {
    byte_writer out;
    bytes identification = {0x01, 'v', 'o', 'r', 'b', 'i', 's'};
    identification.resize(30, 0);
    ogg_page(out, 0x02, 0, 0, {identification});
    ogg_page(out, 0x00, 0, 1, {noise(600, 21), noise(90, 22)});
    ogg_page(out, 0x00, 4096, 2, {noise(2000, 23)});
    ogg_page(out, 0x04, 8192, 3, {noise(333, 24)});
    return out.data;
}

uint32_t crc_msb(const bytes& data, size_t begin, size_t end, unsigned width, uint32_t polynomial) {
    uint32_t crc = 0, top = 1u << (width - 1), mask = (1u << width) - 1;
    for (size_t i = begin; i < end; ++i) {
        crc ^= static_cast<uint32_t>(data[i]) << (width - 8);
        for (int bit = 0; bit < 8; ++bit) crc = ((crc & top) ? (crc << 1) ^ polynomial : crc << 1) & mask;
    }
    return crc;
}

// One mono 16-bit FLAC frame: header (block size code, frame number), then the subframe.
bytes flac_frame(uint32_t number, uint32_t block_size, const std::function<void(bit_writer&)>& subframe) {
    bit_writer bits;
    bits.put(0xFFF8, 16);
    bool explicit_size = block_size != 4096;
    bits.put(explicit_size ? 7 : 12, 4).put(9, 4);  // block size code, 44.1 kHz
    bits.put(0, 4).put(4, 3).put(0, 1);            // mono, 16 bits
    bits.put(number, 8);
    if (explicit_size) bits.put(block_size - 1, 16);
    bytes header = bits.data();
    bits.put(crc_msb(header, 0, header.size(), 8, 0x07), 8);
    subframe(bits);
    bits.align();
    bytes frame = bits.data();
    uint32_t crc = crc_msb(frame, 0, frame.size(), 16, 0x8005);
    frame.push_back(static_cast<uint8_t>(crc >> 8));
    frame.push_back(static_cast<uint8_t>(crc));
    return frame;
}

bytes flac_stream() {
    byte_writer out;
    out.text("fLaC");
    out.u8(0x00).be24(34).be16(4096).be16(4096).be24(0).be24(0);
    uint64_t total = 4096 + 4096 + 1000;
    bit_writer stream_info;
    stream_info.put(44100, 20).put(0, 3).put(15, 5).put(total, 36);  // rate, channels - 1, bits - 1, samples
    out.raw(stream_info.data()).fill(16, 0x11);                       // and the MD5 signature
    out.u8(0x81).be24(100).fill(100);  // padding, the last metadata block
    out.raw(flac_frame(0, 4096, [](bit_writer& bits) {  // verbatim
        bits.put(0x02, 8);
        for (int i = 0; i < 4096; ++i) bits.put((i * 37) & 0xFFFF, 16);
    }));
    out.raw(flac_frame(1, 4096, [](bit_writer& bits) {  // fixed order 1, Rice residual
        bits.put(0x12, 8).put(1000, 16);
        bits.put(0, 2).put(0, 4).put(3, 4);
        for (int i = 1; i < 4096; ++i) {
            uint32_t folded = static_cast<uint32_t>((i * 13) % 40);
            bits.unary(folded >> 3);
            bits.put(folded & 7, 3);
        }
    }));
    out.raw(flac_frame(2, 1000, [](bit_writer& bits) {  // constant
        bits.put(0x00, 8).put(0x1234, 16);
    }));
    return out.data;
}

void box(byte_writer& out, const char* type, const bytes& content) {
    out.be32(8 + content.size()).text(type).raw(content);
}

bytes iso_media(const char* brand, bool with_ftyp) {
    byte_writer out;
    if (with_ftyp) {
        byte_writer ftyp;
        ftyp.text(brand).be32(0x200).text(brand).text("isom");
        box(out, "ftyp", ftyp.data);
    }
    byte_writer movie;
    box(movie, "mvhd", bytes(100, 0));
    box(movie, "trak", noise(300, 31));
    box(out, "mdat", noise(5000, 32));
    box(out, "moov", movie.data);
    box(out, "free", bytes(64, 0));
    return out.data;
}

}  // namespace

void add_media(std::vector<sample_s>& out) {
    out.push_back({"wav", "wav", wave()});
    out.push_back({"wav_uncounted_pad", "wav", wave_with_uncounted_pad()});
    out.push_back({"avi", "avi", avi_movie()});
    out.push_back({"mp3", "mp3", mp3_tagged(0, false)});
    out.push_back({"mp3_two_tags", "mp3", mp3_tagged(4000, true)});
    out.push_back({"mp3_untagged", "mp3", mpeg_frames(20, true)});
    out.push_back({"ogg", "ogg", ogg_stream()});
    out.push_back({"flac", "flac", flac_stream()});
    out.push_back({"mp4", "mp4", iso_media("isom", true)});
    out.push_back({"mov", "mov", iso_media("qt  ", true)});
    out.push_back({"mov_without_ftyp", "mov", iso_media("", false)});
    out.push_back({"m4a", "m4a", iso_media("M4A ", true)});
}

}  // namespace samples
