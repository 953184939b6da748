// tarnwell open FILE.sav: the deep-scan result saved earlier, on the volume it belongs to.
#include "cli/command.h"
#include "cli/recover_rows.h"
#include "cli/scan_output.h"
#include "cli/scan_run.h"
#include "engines/raw_recovery.h"
#include "results/scan_file_volume.h"

int run_open_command(const arguments_s& arguments) {
    if (arguments.positional.size() != 1) return fail(exit_usage, "expected one FILE.sav argument");
    QString target;
    if (auto to = arguments.value("--recover-to")) {
        if (int status = prepare_target(*to, target); status != exit_ok) return status;
    }
    auto engine = std::make_unique<raw_recovery_c>();
    const std::string header = engine->read_scan_file(arguments.positional[0]);
    if (header.empty()) return fail(exit_failed, arguments.positional[0] + " is not a readable scan file");

    enumerate_volumes();
    int index = find_scan_file_volume(QString::fromLatin1(header.c_str()), volume_list());
    if (index < 0) return fail(exit_failed, "the volume of this scan file is not present: " + header);

    scan_run_s run;
    run.volume = volume_list()[index];
    run.kind = engine_deep;
    engine->set_volume(run.volume);
    run.engine = std::move(engine);
    run.tree = build_result_folders(run.kind, run.engine.get());
    if (target.isEmpty()) {
        print_scan(run, arguments.flag("--json"));
        return exit_ok;
    }
    if (int status = check_target(arguments, run, target); status != exit_ok) return status;
    return write_rows(run, target, {});
}
