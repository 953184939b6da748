// Each format finds its own sample, alone in noise, with its exact length and type; damaged
// copies are refused or cut where their structure ends.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>

#include "platform/test_seam.h"
#include "tests/calloway/carve_harness.h"
#include "tests/calloway/samples.h"

namespace {

using carve_test::found_s;
using carve_test::volume_image;

constexpr uint64_t sample_offset = 64 * 1024;

// The sample (or a damaged copy) at sample_offset in noise, scanned.
std::vector<found_s> scan_alone(const std::string& disk_name, const samples::bytes& file) {
    volume_image image(sample_offset + carve_test::round_up_to_sector(file.size()) + 128 * 1024, 7);
    image.place(sample_offset, file);
    auto outcome = carve_test::scan(image.as_memory_disk(disk_name));
    EXPECT_EQ(outcome.status, 0);
    return outcome.files;
}

}  // namespace

namespace samples {
void PrintTo(const sample_s& sample, std::ostream* out) {
    *out << sample.name << " (" << sample.data.size() << " bytes)";
}
}  // namespace samples

namespace {

class each_sample : public ::testing::TestWithParam<samples::sample_s> {
protected:
    void TearDown() override { platform::test::remove_memory_disks(); }
};

TEST_P(each_sample, is_found_alone_with_its_exact_length) {
    const samples::sample_s& sample = GetParam();
    ASSERT_FALSE(sample.data.empty());
    auto files = scan_alone("alone", sample.data);
    std::vector<found_s> expected = {{sample.type, static_cast<int64_t>(sample_offset), sample.data.size()}};
    EXPECT_EQ(files, expected);
}

INSTANTIATE_TEST_SUITE_P(formats, each_sample, ::testing::ValuesIn(samples::all()),
                         [](const auto& info) { return info.param.name; });

// Damage done to a sample: cut after `keep` bytes (the rest is noise), or one byte changed.
struct damage_s {
    const char* name;
    const char* sample;
    enum { truncate, set_byte } kind;
    int64_t at;  // negative: from the end of the sample
    uint8_t value = 0;
    // What must be found at the sample's offset: nothing (0), exactly this many bytes (> 0),
    // or (-1) something no longer than the damage point.
    int64_t expect = 0;
    // When set: the cut is where the last occurrence of this text before the damage begins.
    const char* cut_at_last = nullptr;
};

void PrintTo(const damage_s& damage, std::ostream* out) {
    *out << damage.name;
}

class damaged_sample : public ::testing::TestWithParam<damage_s> {
protected:
    void TearDown() override { platform::test::remove_memory_disks(); }
};

size_t position_of(const samples::bytes& data, int64_t at) {
    return at < 0 ? data.size() - static_cast<size_t>(-at) : static_cast<size_t>(at);
}

TEST_P(damaged_sample, is_refused_or_cut_where_its_structure_ends) {
    const damage_s& damage = GetParam();
    samples::bytes data = samples::named(damage.sample).data;
    size_t at = position_of(data, damage.at);
    ASSERT_LT(at, data.size());
    if (damage.kind == damage_s::truncate) {
        samples::bytes noise = samples::noise(data.size() - at, 99);
        std::copy(noise.begin(), noise.end(), data.begin() + static_cast<std::ptrdiff_t>(at));
    } else {
        ASSERT_NE(data[at], damage.value);
        data[at] = damage.value;
    }
    auto files = scan_alone("damaged", data);
    std::optional<found_s> at_sample;
    for (const found_s& file : files)
        if (file.offset == static_cast<int64_t>(sample_offset)) at_sample = file;

    if (damage.cut_at_last) {
        std::string needle = damage.cut_at_last;
        auto last = std::find_end(data.begin(), data.begin() + static_cast<std::ptrdiff_t>(at), needle.begin(), needle.end());
        ASSERT_TRUE(at_sample.has_value());
        EXPECT_EQ(at_sample->length, static_cast<uint64_t>(last - data.begin()));
    } else if (damage.expect == 0) {
        EXPECT_FALSE(at_sample.has_value()) << *at_sample;
    } else if (damage.expect > 0) {
        ASSERT_TRUE(at_sample.has_value());
        EXPECT_EQ(at_sample->length, static_cast<uint64_t>(damage.expect));
    } else {
        ASSERT_TRUE(at_sample.has_value());
        EXPECT_LE(at_sample->length, at);
    }
}

const samples::sample_s& sample(const char* name) {
    return samples::named(name);
}

int64_t first_member_size() {
    // The first member of the two-member sample ends where the second's header begins.
    const auto& data = sample("gz_two_members").data;
    for (size_t i = 10; i + 3 < data.size(); ++i)
        if (data[i] == 0x1F && data[i + 1] == 0x8B && data[i + 2] == 0x08) return static_cast<int64_t>(i);
    return -1;
}

int64_t first_pdf_part() {
    std::string text(sample("pdf_updated").data.begin(), sample("pdf_updated").data.end());
    return static_cast<int64_t>(text.find("%%EOF\n") + 6);
}

std::vector<damage_s> damage_cases() {
    using d = damage_s;
    int64_t zip_eocd_offset_field = -static_cast<int64_t>(std::string("made by the tests").size()) - 22 + 16;
    return {
        {"jpg_half", "jpg", d::truncate, static_cast<int64_t>(sample("jpg").data.size() / 2)},
        {"jpg_bad_marker_after_scan", "jpg", d::set_byte, -1, 0x01},
        {"png_half", "png", d::truncate, static_cast<int64_t>(sample("png").data.size() / 2)},
        {"png_header_crc", "png", d::set_byte, 29, 0x00},
        {"gif_without_trailer", "gif", d::truncate, -1},
        {"bmp_bit_count", "bmp", d::set_byte, 28, 7},
        {"tif_directory_beyond_reach", "tif", d::set_byte, 7, 0x7F},
        {"webp_first_chunk", "webp", d::set_byte, 13, 'Q'},
        {"wav_format_chunk_size", "wav", d::set_byte, 18, 0xFF},
        {"avi_half", "avi", d::truncate, static_cast<int64_t>(sample("avi").data.size() / 2)},
        {"pdf_without_eof", "pdf", d::truncate, -7},
        {"pdf_update_cut_off", "pdf_updated", d::truncate, -10, 0, first_pdf_part()},
        {"zip_before_end_record", "zip", d::truncate, -30},
        {"zip_directory_offset", "zip", d::set_byte, zip_eocd_offset_field, 0x55},
        {"docx_half", "docx", d::truncate, static_cast<int64_t>(sample("docx").data.size() / 2)},
        {"rar4_without_end_block", "rar4", d::truncate, -7, 0, static_cast<int64_t>(sample("rar4").data.size() - 7)},
        {"rar4_file_header", "rar4", d::set_byte, 7 + 13 + 30, 'X'},
        {"rar5_without_end_block", "rar5", d::truncate, -8, 0, static_cast<int64_t>(sample("rar5").data.size() - 8)},
        {"7z_end_header", "7z", d::set_byte, -3, 0x5A},
        {"gz_trailer", "gz", d::truncate, -4},
        {"gz_stream", "gz", d::set_byte, 200, 0x00},
        {"gz_second_member_cut", "gz_two_members", d::truncate, -20, 0, first_member_size()},
        {"bz2_half", "bz2", d::truncate, static_cast<int64_t>(sample("bz2").data.size() / 2)},
        // Tag of 32 bytes, frames of 417, 418, 417, 417 bytes, then noise instead of the fifth.
        {"mp3_cut_after_four_frames", "mp3", d::truncate, 1701, 0, 1701},
        {"ogg_cut_in_a_page", "ogg", d::truncate, -100, 0, 0, "OggS"},
        {"ogg_page_crc", "ogg", d::set_byte, -50, 0x00, 0, "OggS"},
        {"flac_last_frame", "flac", d::set_byte, -5, 0xA5, -1},
        {"mp4_movie_box_type", "mp4", d::set_byte, static_cast<int64_t>(sample("mp4").data.size() - 72 - 424 + 4), 'x'},
        {"sqlite_stale_page_count", "sqlite", d::set_byte, 95, 0x06},
        {"ole_byte_order", "doc", d::set_byte, 0x1C, 0x00},
        {"exe_signature", "exe", d::set_byte, 0x81, 'X'},
        {"elf_section_entry_size", "elf64", d::set_byte, 58, 10},
    };
}

INSTANTIATE_TEST_SUITE_P(formats, damaged_sample, ::testing::ValuesIn(damage_cases()),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
