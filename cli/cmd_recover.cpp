// tarnwell recover VOL --to DIR: every file row (or the given ids) written through the engine.
#include "cli/command.h"
#include "cli/recover_rows.h"
#include "cli/scan_run.h"

int prepare_and_scan(const arguments_s& arguments, scan_run_s& run);

int run_recover_command(const arguments_s& arguments) {
    auto to = arguments.value("--to");
    if (!to) return fail(exit_usage, "recover needs --to DIR");
    std::set<uint64_t> ids;
    if (int status = parse_ids(arguments, ids); status != exit_ok) return status;
    QString target;
    if (int status = prepare_target(*to, target); status != exit_ok) return status;

    scan_run_s run;
    if (int status = prepare_and_scan(arguments, run); status != exit_ok) return status;
    if (int status = check_target(arguments, run, target); status != exit_ok) return status;
    if (run.interrupted) return fail(exit_interrupted, "interrupted during the scan; nothing written");
    return write_rows(run, target, ids);
}
