// The code page 936 table: the committed one is what the generator makes from iconv, and it
// holds the published mappings.
#include <gtest/gtest.h>

#include "disk/cp936.h"
#include "tests/support/test_support.h"

namespace {

TEST(Cp936, CommittedTableIsWhatTheGeneratorMakes) {
#ifndef CP936_TABLE_GEN
    GTEST_SKIP() << "table generator not built";
#else
    test_support::scratch_dir scratch;
    std::string output;
    ASSERT_EQ(test_support::run_command(std::string("'") + CP936_TABLE_GEN + "' '" + scratch.file("table.cpp") + "'", &output),
              0)
        << output;
    EXPECT_EQ(test_support::sha256_file(scratch.file("table.cpp")),
              test_support::sha256_file(std::string(TARNWELL_SOURCE_DIR) + "/disk/cp936_table.cpp"))
        << "regenerate with the update_cp936_table target";
#endif
}

TEST(Cp936, Mappings) {
    unsigned mapped = 0;
    for (unsigned code = 0x80; code <= 0xFFFF; ++code) mapped += cp936_to_utf16(static_cast<uint16_t>(code)) != 0;
    EXPECT_EQ(mapped, 21792u);

    struct mapping {
        uint16_t code;
        char16_t unit;
    };
    for (const mapping& m : {mapping{0x41, u'A'}, mapping{0x80, u'\u20AC'}, mapping{0xB0A1, u'\u554A'},
                             mapping{0xC4E3, u'\u4F60'}, mapping{0xE558, u'\u9322'}, mapping{0x8140, u'\u4E02'},
                             mapping{0xA1A1, u'\u3000'}, mapping{0xFE4F, u'\uFA29'}, mapping{0x81, 0}, mapping{0xFF, 0},
                             mapping{0x817F, 0}, mapping{0x81FF, 0}, mapping{0xFF40, 0}, mapping{0xA2A0, 0}}) {
        SCOPED_TRACE(m.code);
        EXPECT_EQ(cp936_to_utf16(m.code), m.unit);
    }
}

}  // namespace
