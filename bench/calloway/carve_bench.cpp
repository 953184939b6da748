// carve_bench IMAGE [MANIFEST.tsv] [--cold] [--list]
//
// Scans IMAGE with the carving library and times it against `dd bs=8M` of the same image in
// the same run; --cold drops the page cache before each of the two (needs root). With a
// manifest (a TSV whose header names the columns sha256, size and type, as the corpus builder
// writes them), every reported file is read back and hashed: recall is the share of planted
// files recovered byte-exact, per type, and outputs matching no planted file are counted.
// --list prints each file found (type, offset, length).
#include <QCryptographicHash>

#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "calloway/calloway.h"

namespace {

struct found_s {
    std::string type;
    int64_t offset;
    uint64_t length;
};

struct planted_s {
    std::string sha256;
    std::string type;
};

double seconds_since(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

bool drop_caches() {
    std::ofstream control("/proc/sys/vm/drop_caches");
    if (!control) return false;
    std::system("sync");
    control << "3\n";
    return static_cast<bool>(control);
}

double time_dd(const std::string& image) {
    auto start = std::chrono::steady_clock::now();
    std::string command = "dd if='" + image + "' of=/dev/null bs=8M status=none";
    if (std::system(command.c_str()) != 0) return -1;
    return seconds_since(start);
}

std::vector<planted_s> read_manifest(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    std::map<std::string, size_t> column;
    std::istringstream header(line);
    for (std::string name; std::getline(header, name, '\t');) column[name] = column.size();
    std::vector<planted_s> planted;
    while (std::getline(in, line)) {
        std::vector<std::string> cells;
        std::istringstream row(line);
        for (std::string cell; std::getline(row, cell, '\t');) cells.push_back(cell);
        if (cells.size() < column.size()) continue;
        planted.push_back({cells[column["sha256"]], cells[column["type"]]});
    }
    return planted;
}

std::string sha256_of(carve_handle volume, const found_s& file, std::vector<char>& buffer) {
    QCryptographicHash hash(QCryptographicHash::Sha256);
    if (carve_seek(volume, file.offset, 0) != 0) return {};
    for (uint64_t left = file.length; left > 0;) {
        int want = static_cast<int>(std::min<uint64_t>(left, buffer.size()));
        int n = carve_read(volume, buffer.data(), want);
        if (n <= 0) return {};
        hash.addData(QByteArrayView(buffer.data(), n));
        left -= static_cast<uint64_t>(n);
    }
    return hash.result().toHex().toStdString();
}

void report_recall(const std::string& image, const std::vector<found_s>& found, const std::vector<planted_s>& planted) {
    carve_handle volume = carve_open(image.c_str());
    if (!volume) return;
    std::vector<char> buffer(1 << 20);
    std::set<std::string> recovered;
    std::set<std::string> planted_hashes;
    for (const planted_s& p : planted) planted_hashes.insert(p.sha256);
    int unmatched = 0;
    std::map<std::string, int> unmatched_by_type;
    for (const found_s& file : found) {
        std::string hash = sha256_of(volume, file, buffer);
        if (planted_hashes.count(hash)) {
            recovered.insert(hash);
        } else {
            ++unmatched;
            ++unmatched_by_type[file.type];
        }
    }
    carve_close(volume);
    std::map<std::string, std::pair<int, int>> by_type;
    for (const planted_s& p : planted) {
        auto& [got, all] = by_type[p.type];
        ++all;
        if (recovered.count(p.sha256)) ++got;
    }
    int got_total = 0;
    for (const auto& [type, counts] : by_type) {
        std::printf("  %-8s %4d / %4d  %6.2f %%\n", type.c_str(), counts.first, counts.second,
                    100.0 * counts.first / counts.second);
        got_total += counts.first;
    }
    std::printf("recall      %d / %zu  %.2f %%\n", got_total, planted.size(), 100.0 * got_total / planted.size());
    std::printf("unmatched outputs %d", unmatched);
    for (const auto& [type, count] : unmatched_by_type) std::printf("  %s:%d", type.c_str(), count);
    std::printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
    std::string image, manifest;
    bool cold = false, list = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg == "--cold")
            cold = true;
        else if (arg == "--list")
            list = true;
        else if (image.empty())
            image = arg;
        else
            manifest = arg;
    }
    if (image.empty()) {
        std::fprintf(stderr, "usage: carve_bench IMAGE [MANIFEST.tsv] [--cold] [--list]\n");
        return 2;
    }
    if (cold && !drop_caches()) {
        std::fprintf(stderr, "cannot drop the page cache (root needed)\n");
        return 1;
    }
    double dd_seconds = time_dd(image);
    if (cold) drop_caches();

    std::vector<found_s> found;
    carve_params params;
    params.context = &found;
    params.found = [](void* context, const char* type, int64_t offset, uint64_t length) {
        static_cast<std::vector<found_s>*>(context)->push_back({type, offset, length});
    };
    carve_report_s report;
    carve_init("./Tarnwell.conf");
    auto start = std::chrono::steady_clock::now();
    if (carve_scan_with_report(&params, image.c_str(), &report) != 0) {
        std::fprintf(stderr, "cannot open %s\n", image.c_str());
        return 1;
    }
    double scan_seconds = seconds_since(start);
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);

    double mib = static_cast<double>(report.bytes_scanned) / (1 << 20);
    std::printf("image       %s (%.0f MiB, %s cache)\n", image.c_str(), mib, cold ? "cold" : "warm");
    std::printf("dd bs=8M    %.2f s  %.0f MiB/s\n", dd_seconds, mib / dd_seconds);
    std::printf("deep scan   %.2f s  %.0f MiB/s  (%.2f of dd)\n", scan_seconds, mib / scan_seconds,
                dd_seconds / scan_seconds);
    std::printf("peak memory %ld MiB (whole process)\n", usage.ru_maxrss / 1024);
    std::printf("files found %llu, unreadable blocks %llu\n", static_cast<unsigned long long>(report.files_found),
                static_cast<unsigned long long>(report.unreadable_blocks));
    if (list)
        for (const found_s& file : found)
            std::printf("%s\t%lld\t%llu\n", file.type.c_str(), static_cast<long long>(file.offset),
                        static_cast<unsigned long long>(file.length));
    if (!manifest.empty()) report_recall(image, found, read_manifest(manifest));
    return 0;
}
