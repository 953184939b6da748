// ZIP and the documents built on it: local entries one after the other (an entry written
// without its sizes is measured by inflating it), then the central directory, whose end record
// must agree with what was walked. The entries' names tell a docx from an odt or an apk.
#include <string>
#include <string_view>

#include "calloway/formats/registry.h"
#include "calloway/inflate_stream.h"

namespace calloway {

using namespace std::literals;

namespace {

constexpr uint32_t local_signature = 0x04034B50;
constexpr uint32_t central_signature = 0x02014B50;
constexpr uint32_t end_signature = 0x06054B50;
constexpr uint32_t zip64_end_signature = 0x06064B50;
constexpr uint32_t zip64_locator_signature = 0x07064B50;
constexpr uint32_t descriptor_signature = 0x08074B50;
constexpr uint32_t signature_block_signature = 0x05054B50;
constexpr uint64_t max_entries = 1u << 20;

// Guesses the document type from the names and the "mimetype" entry.
class content_namer_c {
public:
    void entry(std::string_view name, std::string_view stored_text, bool first) {
        if (first && name == "mimetype") mimetype_ = stored_text;
        if (name == "[Content_Types].xml") content_types_ = true;
        if (name.starts_with("word/")) word_ = true;
        if (name.starts_with("xl/")) excel_ = true;
        if (name.starts_with("ppt/")) powerpoint_ = true;
        if (name == "AndroidManifest.xml" || name == "classes.dex") android_ = true;
        if (name == "META-INF/MANIFEST.MF") java_ = true;
    }

    std::string_view type() const {
        if (!mimetype_.empty()) {
            static constexpr std::pair<std::string_view, std::string_view> by_mimetype[] = {
                {"application/vnd.oasis.opendocument.text", "odt"},
                {"application/vnd.oasis.opendocument.spreadsheet", "ods"},
                {"application/vnd.oasis.opendocument.presentation", "odp"},
                {"application/vnd.oasis.opendocument.graphics", "odg"},
                {"application/vnd.oasis.opendocument.text-template", "ott"},
                {"application/vnd.oasis.opendocument.spreadsheet-template", "ots"},
                {"application/vnd.oasis.opendocument.presentation-template", "otp"},
                {"application/vnd.oasis.opendocument.graphics-template", "otg"},
                {"application/epub+zip", "epub"},
            };
            for (auto [mime, type] : by_mimetype)
                if (mimetype_ == mime) return type;
        }
        if (content_types_ && word_) return "docx";
        if (content_types_ && excel_) return "xlsx";
        if (content_types_ && powerpoint_) return "pptx";
        if (android_) return "apk";
        if (java_) return "jar";
        return "zip";
    }

private:
    std::string mimetype_;
    bool content_types_ = false, word_ = false, excel_ = false, powerpoint_ = false, android_ = false, java_ = false;
};

struct local_entry_s {
    uint16_t flags = 0;
    uint16_t method = 0;
    uint64_t compressed = 0;
    uint64_t data_offset = 0;
    bool zip64 = false;
};

// Sizes of 0xFFFFFFFF are in the zip64 extra field, original size first.
void apply_zip64_extra(const platform::byte_reader& extra, uint32_t original32, local_entry_s& entry) {
    for (size_t at = 0; extra.has(at, 4);) {
        uint16_t id = extra.u16(at);
        uint16_t size = extra.u16(at + 2);
        if (id == 0x0001) {
            entry.zip64 = true;
            size_t field = at + 4;
            if (original32 == 0xFFFFFFFF) field += 8;
            if (entry.compressed == 0xFFFFFFFF && extra.has(field, 8)) entry.compressed = extra.u64(field);
            return;
        }
        at += 4 + size;
    }
}

// The end of the data descriptor after data_end; 0 when it does not agree with the data.
uint64_t skip_descriptor(source_c& file, uint64_t data_end, uint64_t compressed, bool zip64) {
    platform::byte_reader bytes = file.view(data_end, 24);
    size_t at = bytes.u32(0) == descriptor_signature ? 4 : 0;
    size_t size_width = zip64 ? 8 : 4;
    if (!bytes.has(at, 4 + 2 * size_width)) return 0;
    uint64_t recorded = zip64 ? bytes.u64(at + 4) : bytes.u32(at + 4);
    if (recorded != (zip64 ? compressed : (compressed & 0xFFFFFFFF))) return 0;
    return data_end + at + 4 + 2 * size_width;
}

// A stored entry without sizes: the descriptor whose size field matches its distance.
uint64_t find_stored_descriptor(source_c& file, uint64_t data, bool zip64) {
    for (uint64_t from = data; from < file.limit();) {
        auto hit = file.find("PK\x07\x08"sv, from, file.limit());
        if (!hit) return 0;
        uint64_t end = skip_descriptor(file, *hit, *hit - data, zip64);
        if (end) return end;
        from = *hit + 1;
    }
    return 0;
}

// The offset after the local entry at offset; 0 when it does not hold up.
uint64_t walk_local_entry(source_c& file, uint64_t offset, content_namer_c& namer, bool first) {
    platform::byte_reader header = file.view(offset, 30);
    if (!header.has(0, 30) || header.u32(0) != local_signature) return 0;
    local_entry_s entry;
    entry.flags = header.u16(6);
    entry.method = header.u16(8);
    entry.compressed = header.u32(18);
    uint32_t original32 = header.u32(22);
    uint16_t name_length = header.u16(26);
    uint16_t extra_length = header.u16(28);
    entry.data_offset = offset + 30 + name_length + extra_length;
    platform::byte_reader names = file.view(offset + 30, name_length + extra_length);
    if (!names.has(0, name_length + extra_length)) return 0;
    std::string name(reinterpret_cast<const char*>(names.data()), name_length);
    apply_zip64_extra(names.sub(name_length, extra_length), original32, entry);

    std::string stored_text;
    if (entry.method == 0 && entry.compressed > 0 && entry.compressed <= 128 && name == "mimetype") {
        platform::byte_reader text = file.view(entry.data_offset, entry.compressed);
        if (text.has(0, entry.compressed)) stored_text.assign(reinterpret_cast<const char*>(text.data()), text.size());
    }
    namer.entry(name, stored_text, first);

    if (!(entry.flags & 0x0008)) return entry.data_offset + entry.compressed;
    if (entry.method == 8) {  // sizes follow the data: inflate to find where it ends
        inflate_extent_s extent = inflate_extent(file, entry.data_offset, false);
        if (!extent.complete) return 0;
        return skip_descriptor(file, entry.data_offset + extent.consumed, extent.consumed, entry.zip64);
    }
    if (entry.compressed > 0)
        return skip_descriptor(file, entry.data_offset + entry.compressed, entry.compressed, entry.zip64);
    return find_stored_descriptor(file, entry.data_offset, entry.zip64);
}

// The APK signing block that may sit between the entries and the central directory.
uint64_t skip_signing_block(source_c& file, uint64_t offset) {
    platform::byte_reader size_field = file.view(offset, 8);
    if (!size_field.has(0, 8)) return offset;
    uint64_t size = size_field.u64(0);
    if (size < 24 || size > file.limit() - offset - 8) return offset;
    platform::byte_reader tail = file.view(offset + 8 + size - 24, 24);
    if (!tail.has(0, 24) || tail.u64(0) != size || !tail.matches(8, "APK Sig Block 42")) return offset;
    return offset + 8 + size;
}

struct central_directory_s {
    uint64_t start = 0;
    uint64_t entries = 0;
    uint64_t end = 0;
};

bool walk_central_directory(source_c& file, central_directory_s& directory) {
    uint64_t position = directory.start;
    for (;;) {
        platform::byte_reader header = file.view(position, 46);
        if (header.u32(0) != central_signature) break;
        if (!header.has(0, 46) || ++directory.entries > max_entries) return false;
        position += 46 + static_cast<uint64_t>(header.u16(28)) + header.u16(30) + header.u16(32);
    }
    platform::byte_reader signature = file.view(position, 6);
    if (signature.u32(0) == signature_block_signature && signature.has(0, 6)) position += 6 + signature.u16(4);
    directory.end = position;
    return directory.entries > 0;
}

// The end of the end-of-central-directory record (and its zip64 forerunners) at offset, when
// it describes the directory that was walked; 0 otherwise.
uint64_t end_of_archive(source_c& file, uint64_t offset, const central_directory_s& directory) {
    platform::byte_reader record = file.view(offset, 12);
    if (record.u32(0) == zip64_end_signature && record.has(0, 12)) {
        offset += 12 + record.u64(4);
        record = file.view(offset, 20);
        if (record.u32(0) != zip64_locator_signature || !record.has(0, 20)) return 0;
        offset += 20;
    }
    record = file.view(offset, 22);
    if (!record.has(0, 22) || record.u32(0) != end_signature) return 0;
    uint64_t entries = record.u16(10);
    uint64_t size = record.u32(12);
    uint64_t start = record.u32(16);
    if (entries != 0xFFFF && entries != (directory.entries & 0xFFFF)) return 0;
    if (size != 0xFFFFFFFF && size != ((directory.end - directory.start) & 0xFFFFFFFF)) return 0;
    if (start != 0xFFFFFFFF && start != (directory.start & 0xFFFFFFFF)) return 0;
    return offset + 22 + record.u16(20);
}

bool header_matches(const platform::byte_reader& head) {
    if (head.u32(0) != local_signature) return false;
    uint16_t version = head.u16(4);
    uint16_t method = head.u16(8);
    bool known_method = method == 0 || method == 8 || method == 9 || method == 12 || method == 14 || method == 93 ||
                        method == 95 || method == 98 || method == 99;
    return version < 100 && known_method && head.u16(26) > 0;
}

carve_result_s measure(source_c& file) {
    content_namer_c namer;
    uint64_t position = 0;
    uint64_t entries = 0;
    while (file.view(position, 4).u32(0) == local_signature) {
        position = walk_local_entry(file, position, namer, entries == 0);
        if (position == 0 || ++entries > max_entries) return {};
    }
    central_directory_s directory;
    directory.start = skip_signing_block(file, position);
    if (!walk_central_directory(file, directory)) return {};
    uint64_t end = end_of_archive(file, directory.end, directory);
    if (end == 0 || end > file.limit()) return {};
    return {end, namer.type()};
}

}  // namespace

const format_descriptor_s zip_format = {
    .type = "zip",
    .other_types = "docx xlsx pptx odt ods odp odg ott ots otp otg epub jar apk",
    .first_bytes = "P"sv,
    .max_length = 16 * GiB,
    .header_matches = header_matches,
    .measure = measure,
};

}  // namespace calloway
