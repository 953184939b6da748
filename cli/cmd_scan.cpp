// tarnwell scan VOL: the deleted files of a volume inside the folders that lead to them.
#include "cli/command.h"
#include "cli/interrupt.h"
#include "cli/scan_output.h"
#include "cli/scan_run.h"
#include "cli/volume_choice.h"
#include "engines/raw_recovery.h"

#include <cstdio>

// Shared by scan and recover: VOL chosen, engine chosen, volume checked, scan run.
int prepare_and_scan(const arguments_s& arguments, scan_run_s& run) {
    if (arguments.positional.size() != 1) return fail(exit_usage, "expected one VOL argument");
    std::string error;
    if (!choose_volume(arguments.positional[0], run.volume, error)) return fail(exit_usage, error);
    if (!choose_engine(run, arguments.flag("--deep"), error)) return fail(exit_failed, error);
    if (!check_volume_readable(run, error)) return fail(exit_failed, error);
    install_interrupt_handler();
    run_scan(run);
    return exit_ok;
}

int run_scan_command(const arguments_s& arguments) {
    auto save = arguments.value("--save");
    if (save && !arguments.flag("--deep")) return fail(exit_usage, "--save goes with --deep");
    scan_run_s run;
    if (int status = prepare_and_scan(arguments, run); status != exit_ok) return status;
    print_scan(run, arguments.flag("--json"));
    if (save) {
        auto* deep = static_cast<raw_recovery_c*>(run.engine.get());
        if (deep->entries().empty())
            std::fprintf(stderr, "tarnwell: nothing found, so no scan file was written\n");
        else if (deep->write_scan_file(*save) != 0)
            return fail(exit_failed, "cannot write the scan file " + *save);
    }
    return run.interrupted ? exit_interrupted : exit_ok;
}
