// Archives: ZIP and the documents on it, RAR 4 and 5, 7z, gzip and bzip2.
#include <bzlib.h>
#include <zlib.h>

#include <cstring>

#include "tests/calloway/samples.h"

namespace samples {

namespace {

bytes text_bytes(const std::string& text) {
    return bytes(text.begin(), text.end());
}

bytes some_text(size_t count) {
    std::string text;
    for (size_t i = 0; text.size() < count; ++i) text += "line " + std::to_string(i * 7919 % 10007) + " of the sample\n";
    text.resize(count);
    return text_bytes(text);
}

std::vector<zip_entry_s> document(const std::string& mimetype, const std::vector<std::string>& names) {
    std::vector<zip_entry_s> entries;
    if (!mimetype.empty()) entries.push_back({"mimetype", text_bytes(mimetype), false});
    for (const std::string& name : names) entries.push_back({name, some_text(3000), true, true});
    return entries;
}

// The signing block an APK carries just before its central directory.
bytes apk_signing_block() {
    byte_writer pairs;
    pairs.le64(4 + 32).le32(0x7109871A).fill(32, 0x5A);
    byte_writer block;
    uint64_t size = pairs.size() + 8 + 16;
    block.le64(size).raw(pairs.data).le64(size).text("APK Sig Block 42");
    return block.data;
}

bytes rar4_archive() {
    byte_writer out;
    out.text(std::string("Rar!\x1A\x07\x00", 7));
    auto block = [&](const bytes& header_without_crc) {
        uint32_t crc = crc32_of(header_without_crc) & 0xFFFF;
        out.le16(crc).raw(header_without_crc);
    };
    byte_writer main;
    main.u8(0x73).le16(0).le16(13).le16(0).le32(0);
    block(main.data);
    bytes content = some_text(1500);
    std::string name = "notes.txt";
    byte_writer file;
    file.u8(0x74).le16(0x8000).le16(32 + name.size());
    file.le32(content.size()).le32(content.size()).u8(3).le32(crc32_of(content)).le32(0x5A2B0000).u8(29).u8(0x30);
    file.le16(name.size()).le32(0x20).text(name);
    block(file.data);
    out.raw(content);
    byte_writer end;
    end.u8(0x7B).le16(0x4000).le16(7);
    block(end.data);
    return out.data;
}

void vint(byte_writer& out, uint64_t value) {
    do {
        uint8_t byte = value & 0x7F;
        value >>= 7;
        out.u8(byte | (value ? 0x80 : 0));
    } while (value);
}

bytes rar5_archive() {
    byte_writer out;
    out.text(std::string("Rar!\x1A\x07\x01\x00", 8));
    auto block = [&](const bytes& header) {
        byte_writer counted;
        vint(counted, header.size());
        counted.raw(header);
        out.le32(crc32_of(counted.data)).raw(counted.data);
    };
    byte_writer main;
    vint(main, 1), vint(main, 0), vint(main, 0);
    block(main.data);
    bytes content = some_text(2100);
    std::string name = "report.txt";
    byte_writer file;
    vint(file, 2), vint(file, 0x0002), vint(file, content.size());  // type, flags (data area), data size
    vint(file, 0x0004), vint(file, content.size()), vint(file, 0x20);  // file flags (CRC), size, attributes
    file.le32(crc32_of(content));
    vint(file, 0), vint(file, 1), vint(file, name.size());  // stored, Unix, name
    file.text(name);
    block(file.data);
    out.raw(content);
    byte_writer end;
    vint(end, 5), vint(end, 0), vint(end, 0);
    block(end.data);
    return out.data;
}

bytes sevenzip_archive() {
    bytes packed = some_text(900);
    bytes header = {0x01, 0x04, 0x06, 0x00, 0x01, 0x09, 0x84, 0x03, 0x00, 0x07, 0x0B, 0x01, 0x00,
                    0x01, 0x00, 0x0C, 0x84, 0x03, 0x00, 0x00, 0x05, 0x01, 0x11, 0x05, 0x00, 0x61,
                    0x00, 0x00, 0x00, 0x00, 0x00};
    byte_writer start;
    start.le64(packed.size()).le64(header.size()).le32(crc32_of(header));
    byte_writer out;
    out.text(std::string("7z\xBC\xAF\x27\x1C", 6)).u8(0).u8(4).le32(crc32_of(start.data)).raw(start.data);
    out.raw(packed).raw(header);
    return out.data;
}

bytes gzip_member(const bytes& content, const char* name) {
    z_stream stream{};
    deflateInit2(&stream, 9, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
    gz_header header{};
    header.name = reinterpret_cast<Bytef*>(const_cast<char*>(name));
    header.time = 1700000000;
    deflateSetHeader(&stream, &header);
    bytes out(deflateBound(&stream, content.size()) + 64 + strlen(name));
    stream.next_in = const_cast<Bytef*>(content.data());
    stream.avail_in = static_cast<uInt>(content.size());
    stream.next_out = out.data();
    stream.avail_out = static_cast<uInt>(out.size());
    deflate(&stream, Z_FINISH);
    out.resize(stream.total_out);
    deflateEnd(&stream);
    return out;
}

bytes bzip2_file(const bytes& content) {
    bytes out(content.size() + content.size() / 50 + 1024);
    auto length = static_cast<unsigned>(out.size());
    BZ2_bzBuffToBuffCompress(reinterpret_cast<char*>(out.data()), &length,
                             const_cast<char*>(reinterpret_cast<const char*>(content.data())),
                             static_cast<unsigned>(content.size()), 1, 0, 0);
    out.resize(length);
    return out;
}

}  // namespace

bytes zip_archive(const std::vector<zip_entry_s>& entries, const bytes& before_directory) {
    byte_writer out, directory;
    for (const zip_entry_s& entry : entries) {
        bytes data = entry.deflate ? deflate_raw(entry.content) : entry.content;
        uint32_t crc = crc32_of(entry.content);
        uint32_t offset = out.size();
        uint16_t flags = entry.descriptor ? 0x0008 : 0;
        out.le32(0x04034B50).le16(20).le16(flags).le16(entry.deflate ? 8 : 0).le32(0);
        out.le32(entry.descriptor ? 0 : crc).le32(entry.descriptor ? 0 : data.size());
        out.le32(entry.descriptor ? 0 : entry.content.size());
        out.le16(entry.name.size()).le16(entry.extra).text(entry.name);
        if (entry.extra) out.le16(0xCAFE).le16(entry.extra - 4).fill(entry.extra - 4);
        out.raw(data);
        if (entry.descriptor) out.le32(0x08074B50).le32(crc).le32(data.size()).le32(entry.content.size());
        directory.le32(0x02014B50).le16(0x031E).le16(20).le16(flags).le16(entry.deflate ? 8 : 0).le32(0);
        directory.le32(crc).le32(data.size()).le32(entry.content.size());
        directory.le16(entry.name.size()).le16(0).le16(0).le16(0).le16(0).le32(0).le32(offset).text(entry.name);
    }
    out.raw(before_directory);
    uint32_t directory_offset = out.size();
    out.raw(directory.data);
    std::string comment = "made by the tests";
    out.le32(0x06054B50).le16(0).le16(0).le16(entries.size()).le16(entries.size());
    out.le32(directory.size()).le32(directory_offset).le16(comment.size()).text(comment);
    return out.data;
}

void add_archives(std::vector<sample_s>& out) {
    out.push_back({"zip", "zip", zip_archive({{"readme.txt", some_text(5000)}, {"raw.bin", noise(700, 3), false}})});
    out.push_back({"zip_descriptors", "zip",
                   zip_archive({{"a.txt", some_text(4000), true, true}, {"b.bin", noise(300, 4), false, true}})});
    out.push_back({"docx", "docx",
                   zip_archive(document("", {"[Content_Types].xml", "_rels/.rels", "word/document.xml"}))});
    out.push_back({"xlsx", "xlsx", zip_archive(document("", {"[Content_Types].xml", "xl/workbook.xml"}))});
    out.push_back({"pptx", "pptx", zip_archive(document("", {"[Content_Types].xml", "ppt/presentation.xml"}))});
    out.push_back({"odt", "odt", zip_archive(document("application/vnd.oasis.opendocument.text", {"content.xml"}))});
    out.push_back(
        {"ods", "ods", zip_archive(document("application/vnd.oasis.opendocument.spreadsheet", {"content.xml"}))});
    out.push_back(
        {"odp", "odp", zip_archive(document("application/vnd.oasis.opendocument.presentation", {"content.xml"}))});
    out.push_back({"epub", "epub", zip_archive(document("application/epub+zip", {"OEBPS/content.opf"}))});
    out.push_back({"jar", "jar", zip_archive(document("", {"META-INF/MANIFEST.MF", "org/example/Main.class"}))});
    out.push_back({"apk", "apk",
                   zip_archive(document("", {"AndroidManifest.xml", "classes.dex", "META-INF/MANIFEST.MF"}),
                               apk_signing_block())});
    out.push_back({"rar4", "rar", rar4_archive()});
    out.push_back({"rar5", "rar", rar5_archive()});
    out.push_back({"7z", "7z", sevenzip_archive()});
    out.push_back({"gz", "gz", gzip_member(some_text(20000), "sample.txt")});
    bytes two_members = gzip_member(some_text(3000), "first.txt");
    bytes second = gzip_member(noise(2000, 9), "second.bin");
    two_members.insert(two_members.end(), second.begin(), second.end());
    out.push_back({"gz_two_members", "gz", two_members});
    out.push_back({"bz2", "bz2", bzip2_file(some_text(250000))});
}

}  // namespace samples
