#pragma once
// Helpers shared by the tests: scratch folders, the real images of the shared test data,
// running the fixture tools, and file hashes.
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace test_support {

// A fresh folder under the build tree, removed when the object goes away.
class scratch_dir {
public:
    scratch_dir();
    ~scratch_dir();
    scratch_dir(const scratch_dir&) = delete;
    scratch_dir& operator=(const scratch_dir&) = delete;
    const std::string& path() const { return path_; }
    std::string file(const std::string& name) const { return path_ + "/" + name; }

private:
    std::string path_;
};

// The folder of the shared test data, or "" when it is absent.
std::string shared_testdata_dir();

// Unpacks one image of the shared test data (".gz", ".tgz" or ".tar.gz") once per build into
// a cache folder and returns the path of the unpacked disk image; nullopt when the shared
// data is absent. The cached copy is read-only; tests that must write copy it first.
std::optional<std::string> unpack_testdata(const std::string& archive_name);

// Runs a shell command; returns its exit status (-1 when it could not run). Output is captured
// into *output when given.
int run_command(const std::string& command, std::string* output = nullptr);
// True when the command exists on PATH.
bool have_tool(const std::string& tool);

std::vector<uint8_t> read_file(const std::string& path);
// Up to length bytes at offset (fewer at the end of the file).
std::vector<uint8_t> read_file_range(const std::string& path, uint64_t offset, size_t length);
bool write_file(const std::string& path, const std::vector<uint8_t>& data);
std::string sha256_file(const std::string& path);
std::string sha256_bytes(const std::vector<uint8_t>& data);

// A file of the given size filled with zeros (sparse).
bool make_sparse_file(const std::string& path, uint64_t size);

}  // namespace test_support

// Skips the current test with a message when the shared image cannot be had.
#define TARNWELL_TESTDATA_OR_SKIP(var, archive)                                   \
    auto var##_opt = ::test_support::unpack_testdata(archive);                    \
    if (!var##_opt) GTEST_SKIP() << "shared test data absent: " << (archive);     \
    const std::string var = *var##_opt
