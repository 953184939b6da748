// Scan and recovery speed of the FAT and NTFS engines against a raw read of what they must
// read, in one run on one machine:
//   engine_scan_bench [WORK_FOLDER [fat|ntfs]]   (default: the current folder, both; needs about 1 GB free)
#include <QCoreApplication>
#include <cstdio>
#include <string>

#include "platform/trace.h"

int run_fat_bench(const std::string& folder);
int run_ntfs_bench(const std::string& folder);

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    platform::trace_off();
    std::string folder = argc > 1 ? argv[1] : ".";
    std::string only = argc > 2 ? argv[2] : "";
    int status = 0;
    if (only.empty() || only == "fat") status |= run_fat_bench(folder);
    if (only.empty()) std::printf("\n");
    if (only.empty() || only == "ntfs") status |= run_ntfs_bench(folder);
    return status;
}
