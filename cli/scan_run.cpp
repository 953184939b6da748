#include "cli/scan_run.h"

#include "cli/interrupt.h"
#include "cli/progress_bar.h"
#include "cli/volume_checks.h"
#include "engines/fat_recovery.h"
#include "engines/ntfs_recovery.h"
#include "engines/raw_recovery.h"

bool choose_engine(scan_run_s& run, bool deep, std::string& error) {
    const QString& file_system = run.volume.file_system;
    if (deep) {
        static const bool configured = (carve_init("./Tarnwell.conf"), true);
        (void)configured;
        run.kind = engine_deep;
        run.engine = std::make_unique<raw_recovery_c>();
        return true;
    }
    if (file_system.startsWith("FAT")) {
        run.kind = engine_fat;
        run.engine = std::make_unique<fat_recovery_c>();
        return true;
    }
    if (file_system == "NTFS") {
        run.kind = engine_ntfs;
        run.engine = std::make_unique<ntfs_recovery_c>();
        return true;
    }
    error = "not a FAT or NTFS volume; try --deep";
    return false;
}

bool check_volume_readable(const scan_run_s& run, std::string& error) {
    switch (run.kind) {
    case engine_fat:
        return check_fat_volume(run.volume, error);
    case engine_ntfs:
        return check_ntfs_volume(run.volume, error);
    case engine_deep:
        return check_carving_volume(run.volume, error);
    }
    return false;
}

void run_scan(scan_run_s& run) {
    run.engine->reset();
    run.engine->set_volume(run.volume);
    run.engine->start();
    progress_bar_c bar("Scanning");
    while (!run.engine->wait(100)) {
        if (interrupted() && !run.interrupted) {
            run.interrupted = true;
            run.engine->set_stop(3);
        }
        bar.update(run.engine->progress(), std::to_string(run.engine->scanned_count()) + " read, " +
                                               std::to_string(run.engine->found_count()) + " found");
    }
    run.engine->set_progress(1.0);
    bar.update(1.0);
    bar.finish();
    run.stop_code = run.engine->stop();
    run.tree = build_result_folders(run.kind, run.engine.get());
}

const char* engine_name(engine_kind_e kind) {
    switch (kind) {
    case engine_fat:
        return "fat";
    case engine_ntfs:
        return "ntfs";
    case engine_deep:
        return "deep";
    }
    return "?";
}
