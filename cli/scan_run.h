#pragma once
// One scan from the command line: the engine chosen as the recovery page chooses it, a check
// that the volume can be read at all, the scan on the engine's thread with progress on
// standard error, and the folders and rows of the result.
#include <memory>
#include <string>

#include "devices/volume_list.h"
#include "engines/recovery_base.h"
#include "results/result_rules.h"

struct scan_run_s {
    volume_item_s volume;
    engine_kind_e kind = engine_fat;
    std::unique_ptr<recovery_base_c> engine;
    result_tree_s tree;
    int stop_code = 0;
    bool interrupted = false;
};

// Chooses the engine for the volume; false with a reason when none fits.
bool choose_engine(scan_run_s& run, bool deep, std::string& error);
// Checks with the engine's own reader that the volume can be read and mounted.
bool check_volume_readable(const scan_run_s& run, std::string& error);
// Runs the scan to its end (or to Ctrl-C, which stops it with code 3) and builds the folders.
void run_scan(scan_run_s& run);
// Short name of the engine kind: "fat", "ntfs" or "deep".
const char* engine_name(engine_kind_e kind);
