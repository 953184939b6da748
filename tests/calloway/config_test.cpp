// Tarnwell.conf: types turned on and off, custom signatures, malformed lines skipped.
#include <gtest/gtest.h>

#include <fstream>

#include "calloway/config.h"
#include "calloway/formats/registry.h"
#include "platform/test_seam.h"
#include "platform/trace.h"
#include "tests/calloway/carve_harness.h"
#include "tests/calloway/samples.h"
#include "tests/support/test_support.h"

namespace {

using calloway::carve_config_s;
using calloway::custom_signature_s;
using carve_test::found_s;

class config_test : public ::testing::Test {
protected:
    void SetUp() override {
        platform::set_trace_sink([this](const std::string& text) { trace_ += text; });
    }
    void TearDown() override {
        carve_init(dir_.file("absent.conf").c_str());  // back to every type on
        platform::test::remove_memory_disks();
        platform::trace_to_stdout();
    }
    std::string write_config(const std::string& text) {
        std::string path = dir_.file("Tarnwell.conf");
        std::ofstream(path) << text;
        return path;
    }

    test_support::scratch_dir dir_;
    std::string trace_;
};

TEST_F(config_test, parses_switches_and_custom_signatures_and_skips_malformed_lines) {
    std::string text =
        "# comment line\n"
        "jpg = off\n"
        "  PNG=Off   # a trailing comment\n"
        "png = on\n"
        "docx = off\n"
        "custom = dat 44415441 454E44 4K\n"
        "custom = Raw cafebabe 2M\n"
        "jpg = maybe\n"                 // line 8: neither on nor off
        "nosuchtype = off\n"            // 9: no such type
        "custom = x 4\n"                // 10: too few words
        "custom = x ABC 1K\n"           // 11: odd hex
        "custom = x 00 0\n"             // 12: no size
        "just words\n"                  // 13: no "="
        "custom = bad/name AA 1K\n"     // 14: type name
        "custom = x 0102 0304 1T\n"     // 15: size unit
        "custom = x 010203 2\n";        // 16: maximum below the header
    carve_config_s config = calloway::parse_config(text, calloway::builtin_type_names());
    EXPECT_EQ(config.turned_off, (std::set<std::string>{"jpg", "docx"}));
    ASSERT_EQ(config.custom.size(), 2u);
    EXPECT_EQ(config.custom[0].type, "dat");
    EXPECT_EQ(config.custom[0].header, "DATA");
    EXPECT_EQ(config.custom[0].footer, "END");
    EXPECT_EQ(config.custom[0].max_length, 4096u);
    EXPECT_EQ(config.custom[1].type, "raw");
    EXPECT_EQ(config.custom[1].header, "\xCA\xFE\xBA\xBE");
    EXPECT_TRUE(config.custom[1].footer.empty());
    EXPECT_EQ(config.custom[1].max_length, 2u << 20);
    for (int line = 8; line <= 16; ++line)
        EXPECT_NE(trace_.find("line " + std::to_string(line) + " skipped"), std::string::npos) << line << trace_;
    EXPECT_EQ(trace_.find("line 7 skipped"), std::string::npos);
}

TEST_F(config_test, the_shipped_default_turns_every_type_on_and_names_only_known_types) {
    std::string path = std::string(TARNWELL_SOURCE_DIR) + "/calloway/Tarnwell.conf";
    carve_config_s config;
    ASSERT_TRUE(calloway::load_config(path, calloway::builtin_type_names(), config));
    EXPECT_TRUE(config.turned_off.empty());
    EXPECT_TRUE(config.custom.empty());
    EXPECT_EQ(trace_.find("skipped"), std::string::npos) << trace_;
    // Every type a format can report has its line, so that a user finds the one to turn off.
    std::vector<uint8_t> bytes = test_support::read_file(path);
    std::string text(bytes.begin(), bytes.end());
    for (const std::string& type : calloway::builtin_type_names())
        EXPECT_NE(text.find("\n" + type + " "), std::string::npos) << type;
}

TEST_F(config_test, all_off_then_one_on_finds_only_that_type) {
    carve_test::volume_image image(1 << 20, 31);
    image.place(64 * 1024, samples::named("jpg").data);
    image.place(256 * 1024, samples::named("png").data);
    std::string path = image.as_memory_disk("switches");

    ASSERT_EQ(carve_init(write_config("all = off\npng = on\n").c_str()), 0);
    std::vector<found_s> only_png = {{"png", 256 * 1024, samples::named("png").data.size()}};
    EXPECT_EQ(carve_test::scan(path).files, only_png);

    ASSERT_EQ(carve_init(dir_.file("missing.conf").c_str()), 0);  // no file: everything on
    EXPECT_EQ(carve_test::scan(path).files.size(), 2u);

    EXPECT_EQ(carve_init(dir_.path().c_str()), -1);  // unreadable: everything on
    EXPECT_EQ(carve_test::scan(path).files.size(), 2u);
}

TEST_F(config_test, custom_signatures_end_at_their_footer_or_their_maximum) {
    carve_test::volume_image image(1 << 20, 32);
    auto text = [](const std::string& s) { return samples::bytes(s.begin(), s.end()); };
    image.place(64 * 1024, text("MYDOC-1 some content ... END-MYDOC"));
    image.place(128 * 1024, text("MYDOC-1 no footer within the maximum"));
    image.place(1024 * 1024 - 1024, text("BLOB"));  // its maximum reaches past the volume's end
    std::string path = image.as_memory_disk("custom");

    ASSERT_EQ(carve_init(write_config("all = off\n"
                                      "custom = mydoc 4D59444F432D31 454E442D4D59444F43 4K\n"
                                      "custom = blob 424C4F42 8K\n")
                             .c_str()),
              0);
    std::vector<found_s> expected = {{"mydoc", 64 * 1024, 34}, {"blob", 1024 * 1024 - 1024, 1024}};
    EXPECT_EQ(carve_test::scan(path).files, expected);
}

}  // namespace
