#include "tests/support/mtools_volume.h"

#include <algorithm>
#include <filesystem>

#include "tests/support/test_support.h"

namespace fs = std::filesystem;

namespace test_support {

bool have_fat_tools() {
    return have_tool("mkfs.fat") && have_tool("mcopy") && have_tool("mdel") && have_tool("mdeltree") &&
           have_tool("mmd");
}

std::vector<uint8_t> byte_pattern(size_t size, uint32_t seed) {
    std::vector<uint8_t> data(size);
    uint32_t state = seed * 2654435761u + 12345;
    for (auto& byte : data) {
        state = state * 1103515245u + 12345u;
        byte = static_cast<uint8_t>(state >> 16);
    }
    return data;
}

bool make_mtools_volume(const std::string& image, unsigned size_kib, unsigned fat_bits, unsigned cluster_sectors,
                        const std::vector<mtools_file_s>& files, const std::vector<std::string>& deleted_files,
                        const std::vector<std::string>& deleted_folders, std::string& error) {
    auto run = [&](const std::string& command) {
        std::string output;
        if (run_command(command, &output) == 0) return true;
        error = command + ": " + output;
        return false;
    };
    fs::remove(image);
    std::string mkfs = "mkfs.fat -C -F " + std::to_string(fat_bits) +
                       (cluster_sectors ? " -s " + std::to_string(cluster_sectors) : std::string()) + " '" + image +
                       "' " + std::to_string(size_kib) + " >/dev/null";
    if (!run(mkfs)) return false;
    const std::string m = "MTOOLS_SKIP_CHECK=1 ";
    std::string staging = image + ".files";
    fs::remove_all(staging);
    for (const auto& file : files) {
        fs::path local = fs::path(staging) / file.path.substr(1);
        fs::create_directories(local.parent_path());
        if (!write_file(local.string(), file.content)) {
            error = "cannot write " + local.string();
            return false;
        }
    }
    // Folders first, then files in the order given, so their clusters follow that order.
    std::vector<std::string> made;
    for (const auto& file : files) {
        fs::path folder = fs::path(file.path).parent_path();
        std::vector<std::string> chain;
        for (fs::path p = folder; p != "/" && !p.empty(); p = p.parent_path()) chain.insert(chain.begin(), p.string());
        for (const auto& f : chain) {
            if (std::find(made.begin(), made.end(), f) != made.end()) continue;
            if (!run(m + "mmd -i '" + image + "' '::" + f + "'")) return false;
            made.push_back(f);
        }
        if (!run(m + "mcopy -i '" + image + "' '" + (fs::path(staging) / file.path.substr(1)).string() + "' '::" +
                 file.path + "'"))
            return false;
    }
    fs::remove_all(staging);
    for (const auto& path : deleted_files)
        if (!run(m + "mdel -i '" + image + "' '::" + path + "'")) return false;
    for (const auto& path : deleted_folders)
        if (!run(m + "mdeltree -i '" + image + "' '::" + path + "'")) return false;
    return true;
}

}  // namespace test_support
