#include "tests/support/test_support.h"

#include <QCryptographicHash>
#include <QFile>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstring>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <mutex>

namespace fs = std::filesystem;

namespace test_support {

namespace {
std::string work_root() {
    std::string root = TARNWELL_TEST_WORK_DIR;
    fs::create_directories(root);
    return root;
}
}  // namespace

scratch_dir::scratch_dir() {
    static std::atomic<unsigned> counter{0};
    std::string base = work_root() + "/scratch";
    fs::create_directories(base);
    for (;;) {
        std::string candidate = base + "/" + std::to_string(getpid()) + "-" + std::to_string(counter++);
        if (::mkdir(candidate.c_str(), 0700) == 0) {
            path_ = candidate;
            return;
        }
    }
}

scratch_dir::~scratch_dir() {
    std::error_code ec;
    fs::remove_all(path_, ec);
}

std::string shared_testdata_dir() {
    std::string dir = std::string(TARNWELL_SHARED_DIR) + "/testdata";
    return fs::is_directory(dir) ? dir : std::string();
}

std::optional<std::string> unpack_testdata(const std::string& archive_name) {
    static std::mutex lock;
    std::lock_guard guard(lock);
    std::string dir = shared_testdata_dir();
    if (dir.empty()) return std::nullopt;
    std::string archive = dir + "/" + archive_name;
    if (!fs::exists(archive)) return std::nullopt;

    std::string stem = archive_name;
    bool tar = false;
    for (const char* suffix : {".tar.gz", ".tgz"}) {
        if (stem.size() > strlen(suffix) && stem.ends_with(suffix)) {
            stem.resize(stem.size() - strlen(suffix));
            tar = true;
        }
    }
    if (!tar && stem.ends_with(".gz")) stem.resize(stem.size() - 3);

    std::string cache = work_root() + "/testdata/" + stem;
    std::string done = cache + "/.done";
    if (!fs::exists(done)) {
        // Several test processes may unpack at once: each unpacks into its own folder, then renames.
        std::string tmp = cache + ".tmp" + std::to_string(getpid());
        fs::remove_all(tmp);
        fs::create_directories(tmp);
        std::string cmd = tar ? "tar -xSf '" + archive + "' -C '" + tmp + "'"
                              : "gunzip -c '" + archive + "' > '" + tmp + "/" + stem + "'";
        if (run_command(cmd) != 0) return std::nullopt;
        std::ofstream(tmp + "/.done") << "ok";
        std::error_code ec;
        fs::create_directories(fs::path(cache).parent_path());
        fs::rename(tmp, cache, ec);
        if (ec) fs::remove_all(tmp);  // another process won the race
    }
    // The image is the one regular file in the folder (tar archives may nest it).
    for (const auto& entry : fs::recursive_directory_iterator(cache)) {
        if (entry.is_regular_file() && entry.path().filename() != ".done") {
            ::chmod(entry.path().c_str(), 0444);
            return entry.path().string();
        }
    }
    return std::nullopt;
}

int run_command(const std::string& command, std::string* output) {
    std::string full = "{ " + command + "\n} 2>&1";  // the command's own redirections win
    FILE* pipe = ::popen(full.c_str(), "r");
    if (!pipe) return -1;
    std::array<char, 4096> chunk{};
    std::string text;
    size_t n;
    while ((n = fread(chunk.data(), 1, chunk.size(), pipe)) > 0) text.append(chunk.data(), n);
    int status = ::pclose(pipe);
    if (output) *output = text;
    if (status == -1) return -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

bool have_tool(const std::string& tool) {
    return run_command("command -v " + tool + " >/dev/null") == 0;
}

std::vector<uint8_t> read_file(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::vector<uint8_t> read_file_range(const std::string& path, uint64_t offset, size_t length) {
    std::ifstream in(path, std::ios::binary);
    in.seekg(static_cast<std::streamoff>(offset));
    std::vector<uint8_t> data(length);
    in.read(reinterpret_cast<char*>(data.data()), static_cast<std::streamsize>(length));
    data.resize(static_cast<size_t>(in.gcount()));
    return data;
}

bool write_file(const std::string& path, const std::vector<uint8_t>& data) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
    return static_cast<bool>(out);
}

std::string sha256_file(const std::string& path) {
    QFile file(QString::fromStdString(path));
    if (!file.open(QIODevice::ReadOnly)) return {};
    QCryptographicHash hash(QCryptographicHash::Sha256);
    hash.addData(&file);
    return hash.result().toHex().toStdString();
}

std::string sha256_bytes(const std::vector<uint8_t>& data) {
    return QCryptographicHash::hash(
               QByteArrayView(reinterpret_cast<const char*>(data.data()), static_cast<qsizetype>(data.size())),
               QCryptographicHash::Sha256)
        .toHex()
        .toStdString();
}

bool make_sparse_file(const std::string& path, uint64_t size) {
    std::ofstream(path, std::ios::binary | std::ios::trunc);
    return ::truncate(path.c_str(), static_cast<off_t>(size)) == 0;
}

}  // namespace test_support
