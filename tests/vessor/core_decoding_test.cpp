// The library's decoders on their own: LZNT1 chunks, run lists, update-sequence fix-ups.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <string>

#include "tests/fixtures/lznt1_compress.h"
#include "tests/fixtures/ntfs_record_encoder.h"
#include "tests/vessor/vessor_test_support.h"
#include "vessor/file_record.h"
#include "vessor/lznt1.h"
#include "vessor/run_list.h"

namespace {

using bytes_t = std::vector<uint8_t>;

bytes_t text_bytes(const std::string& s) { return bytes_t(s.begin(), s.end()); }

bool decompress(const bytes_t& input, bytes_t& output) {
    return vessor::lznt1_decompress(platform::byte_reader(input.data(), input.size()), output.data(), output.size());
}

// Streams written out by hand from the format's definition, so the decoder is not only checked
// against our own compressor.
TEST(lznt1_test, known_streams_decode) {
    struct case_s {
        const char* what;
        bytes_t stream;
        std::string expected;
    };
    const bytes_t far_body = {0x00, 'a', 'b', 'c', 'd', 'e', 'f', 'g', 'h', 0x00, 'i', 'j', 'k', 'l', 'm', 'n',
                              'o', 'p', 0x02, 'q', 0x00, 0x80};
    bytes_t far = {static_cast<uint8_t>(far_body.size() - 1), 0xB0};
    far.insert(far.end(), far_body.begin(), far_body.end());
    const case_s cases[] = {
        // three literals, then 9 bytes from 3 back (4 displacement bits at position 3)
        {"short back-reference", {0x05, 0xB0, 0x08, 'a', 'b', 'c', 0x06, 0x20}, "abcabcabcabc"},
        // at position 17 the displacement takes 5 bits: 17 back, 3 long
        {"displacement widens", far, "abcdefghijklmnopqabc"},
        {"stored chunk", {0x02, 0x30, 'x', 'y', 'z'}, "xyz"},
        {"ends at a zero header", {0x02, 0x30, 'x', 'y', 'z', 0x00, 0x00, 0x02, 0x30, 'q', 'q', 'q'}, "xyz"},
    };
    for (const case_s& c : cases) {
        SCOPED_TRACE(c.what);
        bytes_t out(64, 0);
        ASSERT_TRUE(decompress(c.stream, out));
        EXPECT_EQ(std::string(out.begin(), out.begin() + c.expected.size()), c.expected);
        EXPECT_TRUE(std::all_of(out.begin() + c.expected.size(), out.end(), [](uint8_t b) { return b == 0; }));
    }
}

TEST(lznt1_test, malformed_streams_are_refused) {
    const std::pair<const char*, bytes_t> cases[] = {
        {"not an LZNT1 header", {0x02, 0x40, 'x', 'y', 'z'}},
        {"chunk beyond the input", {0x10, 0xB0, 0x00, 'a'}},
        {"reference before anything was written", {0x03, 0xB0, 0x01, 0x00, 0x00}},
        {"reference before the chunk's start", {0x04, 0xB0, 0x02, 'a', 0x00, 0x50}},
        {"token cut short", {0x03, 0xB0, 0x02, 'a', 0x00}},
    };
    for (const auto& [what, stream] : cases) {
        SCOPED_TRACE(what);
        bytes_t out(64, 0);
        EXPECT_FALSE(decompress(stream, out));
    }
}

TEST(lznt1_test, compressed_data_round_trips_and_never_overruns) {
    std::string text;
    for (int i = 0; i < 700; ++i) text += "record " + std::to_string(i % 13) + " of the table; ";
    const std::pair<const char*, bytes_t> cases[] = {
        {"text", text_bytes(text)},
        {"noise", vessor_test::pattern_bytes(9000, 7)},
        {"one byte", {42}},
        {"long runs", bytes_t(12345, 'r')},
        {"zeros", bytes_t(8192, 0)},
    };
    for (const auto& [what, data] : cases) {
        SCOPED_TRACE(what);
        bytes_t packed = ntfs_fixture::lznt1_compress(data.data(), data.size());
        bytes_t out(65536, 0);
        ASSERT_TRUE(decompress(packed, out));
        EXPECT_TRUE(std::equal(data.begin(), data.end(), out.begin()));
        bytes_t small(100, 0);  // a unit shorter than the stream: filled, not overrun
        ASSERT_TRUE(decompress(packed, small));
        size_t common = std::min(small.size(), data.size());
        EXPECT_TRUE(std::equal(small.begin(), small.begin() + common, data.begin()));
    }
}

TEST(ntfs_run_list_test, mapping_pairs_decode_or_are_refused) {
    struct case_s {
        const char* what;
        bytes_t pairs;
        bool ok;
        std::vector<vessor::extent_s> extents;  // vcn, lcn, length, hole
    };
    const case_s cases[] = {
        {"one run", {0x11, 0x04, 0x10, 0x00}, true, {{100, 16, 4, false}}},
        {"backwards", {0x11, 0x02, 0x20, 0x11, 0x03, 0xF0, 0x00}, true, {{100, 32, 2, false}, {102, 16, 3, false}}},
        {"hole between", {0x01, 0x05, 0x11, 0x01, 0x08, 0x00}, true, {{100, 0, 5, true}, {105, 8, 1, false}}},
        {"two-byte length", {0x12, 0x80, 0x00, 0x10, 0x00}, true, {{100, 16, 128, false}}},
        {"no closing zero", {0x11, 0x01, 0x01}, true, {{100, 1, 1, false}}},
        {"zero length", {0x11, 0x00, 0x10, 0x00}, false, {}},
        {"negative length", {0x11, 0xFF, 0x10, 0x00}, false, {}},
        {"cluster below zero", {0x11, 0x01, 0xF0, 0x00}, false, {}},
        {"cut short", {0x31, 0x01, 0x10}, false, {}},
        {"no length field", {0x10, 0x05, 0x00}, false, {}},
        {"nine-byte offset", {0x91, 0x01, 1, 2, 3, 4, 5, 6, 7, 8, 9, 0x00}, false, {}},
        {"absurd length", {0x18, 0, 0, 0, 0, 0, 0, 0, 0x40, 0x01, 0x00}, false, {}},
    };
    for (const case_s& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<vessor::extent_s> out;
        ASSERT_EQ(vessor::decode_runs(platform::byte_reader(c.pairs.data(), c.pairs.size()), 100, out), c.ok);
        if (!c.ok) continue;
        ASSERT_EQ(out.size(), c.extents.size());
        for (size_t i = 0; i < out.size(); ++i) {
            EXPECT_EQ(out[i].vcn, c.extents[i].vcn);
            EXPECT_EQ(out[i].hole, c.extents[i].hole);
            EXPECT_EQ(out[i].length, c.extents[i].length);
            if (!out[i].hole) {
                EXPECT_EQ(out[i].lcn, c.extents[i].lcn);
            }
        }
    }
}

TEST(ntfs_fixup_test, update_sequence_arrays_are_checked_before_use) {
    ntfs_fixture::detail::record_encoder_c encoder(1024, 40, 1, 1, 0, 1);
    encoder.add_resident(0x80, {}, bytes_t(700, 0x77));  // data across the first sector's end
    const bytes_t protected_record = encoder.finish();

    bytes_t good = protected_record;
    ASSERT_TRUE(vessor::apply_fixups(good.data(), good.size()));
    EXPECT_EQ(good[510], 0x77);
    EXPECT_EQ(good[511], 0x77);

    const std::pair<const char*, std::function<void(bytes_t&)>> cases[] = {
        {"sector end torn", [](bytes_t& r) { r[1022] ^= 1; }},
        {"array beyond the record", [](bytes_t& r) { platform::put_le(r.data() + 4, 1020, 2); }},
        {"array of one entry", [](bytes_t& r) { platform::put_le(r.data() + 6, 1, 2); }},
        {"strides not dividing the record", [](bytes_t& r) { platform::put_le(r.data() + 6, 4, 2); }},
    };
    for (const auto& [what, damage] : cases) {
        SCOPED_TRACE(what);
        bytes_t record = protected_record;
        damage(record);
        EXPECT_FALSE(vessor::apply_fixups(record.data(), record.size()));
    }
}

}  // namespace
