// The NTFS scan engine over a disk that is the input: the volume list probed from it, a scan
// of each of its volumes, the folders and rows the result rules make of the records (whose
// parent references may form any graph), full paths, and the recovery of the rows shown.
#include <unistd.h>

#include <QString>

#include "devices/volume_list.h"
#include "engines/ntfs_recovery.h"
#include "results/result_rules.h"
#include "tests/fuzz/fuzz_support.h"

namespace {

constexpr int volume_limit = 4;
constexpr int extract_limit = 8;

void scan_and_recover(ntfs_recovery_c& engine, const volume_item_s& volume) {
    engine.reset();
    engine.set_volume(volume);
    engine.start();
    engine.wait();
    result_tree_s tree = build_result_folders(engine_ntfs, &engine);
    int extracted = 0;
    for (size_t node = 0; node < tree.nodes.size(); ++node) {
        tree.path_of(static_cast<int>(node));
        for (const recovery_item_s& row : folder_rows(engine_ntfs, &engine, tree.nodes[node].record)) {
            QString path;
            engine.full_path(row.id, path);
            if (extracted >= extract_limit) continue;
            QString target = QString::fromStdString(fuzz::scratch_folder()) + "/" + QString::number(extracted++);
            engine.extract(row.id, target);
        }
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::prepare_memory_disk();
    fuzz::load_disk(data, size);
    enumerate_volumes();
    static auto* engine = new ntfs_recovery_c;
    int scanned = 0;
    for (const volume_item_s& volume : volume_list()) {
        if (volume.device_name.isEmpty()) continue;  // the heading record
        if (scanned++ == volume_limit) break;
        scan_and_recover(*engine, volume);
    }
    fuzz::clear_scratch();
    // The engine logs each failed start to this file in the current folder (scripts/fuzz.sh
    // runs the fuzzers in a folder of their own): it must not grow with every input.
    ::unlink("Ostrel.log");
    fuzz::require_disk_unchanged();
    return 0;
}
