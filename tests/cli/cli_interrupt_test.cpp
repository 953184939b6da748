// Ctrl-C during a long deep scan: scan prints what it found and exits 130; recover writes
// nothing and exits 130.
#include <gtest/gtest.h>

#include <filesystem>

#include "tests/support/test_support.h"

namespace {

// Runs tarnwell in the background, interrupts it after a second and returns its exit status.
int interrupted_run(const std::string& arguments, std::string* out) {
    std::string script = "( " + std::string(TARNWELL_CLI) + " " + arguments +
                         " & pid=$!; sleep 1; kill -INT $pid; wait $pid; echo \"exit=$?\" )";
    test_support::run_command(script, out);
    auto at = out->rfind("exit=");
    return at == std::string::npos ? -1 : std::stoi(out->substr(at + 5));
}

}  // namespace

TEST(cli_interrupt, ctrl_c_stops_a_scan_and_recovers_nothing) {
    test_support::scratch_dir dir;
    const std::string image = dir.file("huge.img");
    // Holes read fast, but not this many: the scan is still running after a second.
    ASSERT_TRUE(test_support::make_sparse_file(image, 512ULL << 30));
    std::string out;
    EXPECT_EQ(interrupted_run("scan 1 --deep --json --disks '" + image + "' 2>/dev/null", &out), 130) << out;
    EXPECT_NE(out.find("\"stop_code\": 3"), std::string::npos) << out;

    const std::string target = dir.file("out");
    EXPECT_EQ(interrupted_run("recover 1 --deep --to '" + target + "' --disks '" + image + "' 2>&1", &out), 130)
        << out;
    EXPECT_TRUE(std::filesystem::is_empty(target)) << out;
}
