// tarnwell recover VOL --to DIR: every file row (or the given ids) written through the engine.
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <set>

#include "cli/command.h"
#include "cli/interrupt.h"
#include "cli/scan_run.h"
#include "platform/volumes.h"
#include "results/target_names.h"

int prepare_and_scan(const arguments_s& arguments, scan_run_s& run);

namespace {

struct recover_totals_s {
    unsigned written = 0;
    unsigned failed = 0;
    uint64_t bytes = 0;
};

// The target must not lie on the volume being recovered: writing there overwrites what is lost.
int check_target(const arguments_s& arguments, const scan_run_s& run, const QString& target) {
    platform::volume_info_s info;
    if (!platform::find_volume(run.volume.volume_name.toStdString(), info)) return exit_ok;
    if (!platform::path_is_on_volume(target.toStdString(), info)) return exit_ok;
    if (!arguments.flag("--force"))
        return fail(exit_usage, "the target folder lies on the volume being recovered; writing there "
                                "overwrites the deleted files (use --force to do it anyway)");
    std::fprintf(stderr, "tarnwell: warning: writing onto the volume being recovered (--force)\n");
    return exit_ok;
}

bool parse_ids(const arguments_s& arguments, std::set<uint64_t>& ids, std::string& error) {
    for (const auto& text : arguments.all_values("--id")) {
        char* end = nullptr;
        errno = 0;
        unsigned long long id = std::strtoull(text.c_str(), &end, 10);
        if (text.empty() || *end != 0 || errno != 0 || text[0] == '-') {
            error = "--id takes a number, not '" + text + "'";
            return false;
        }
        ids.insert(id);
    }
    return true;
}

// Writes every chosen row; false when Ctrl-C interrupted the writing.
bool write_rows(scan_run_s& run, const QString& target, const std::set<uint64_t>& ids, recover_totals_s& totals) {
    target_names_c names;
    const auto& nodes = run.tree.nodes;
    for (size_t i = 0; i < nodes.size(); ++i) {
        auto rows = folder_rows(run.kind, run.engine.get(), nodes[i].record);
        QStringList components = run.tree.path_of(static_cast<int>(i)).split('/', Qt::SkipEmptyParts);
        QString folder;
        bool folder_made = false;
        for (const auto& row : rows) {
            if (!ids.empty() && !ids.count(row.id)) continue;
            QString error;
            if (!folder_made && !make_target_folders(target, components, folder, error)) {
                std::fprintf(stderr, "tarnwell: %s\n", error.toLocal8Bit().constData());
                ++totals.failed;
                continue;
            }
            folder_made = true;
            QString path = names.claim(join_target_path(folder, row.name));
            int result = run.engine->extract(row.id, path);
            if (interrupted()) {
                QFile::remove(path);  // the file being written when Ctrl-C came is not kept
                return false;
            }
            if (result == 0) {
                ++totals.written;
                totals.bytes += row.size;
            } else {
                ++totals.failed;
                std::fprintf(stderr, "tarnwell: could not recover %s\n", path.toLocal8Bit().constData());
            }
        }
    }
    return true;
}

}  // namespace

int run_recover_command(const arguments_s& arguments) {
    auto to = arguments.value("--to");
    if (!to) return fail(exit_usage, "recover needs --to DIR");
    std::set<uint64_t> ids;
    std::string error;
    if (!parse_ids(arguments, ids, error)) return fail(exit_usage, error);
    QString target = QFileInfo(QString::fromStdString(*to)).absoluteFilePath();
    if (!QDir().mkpath(target)) return fail(exit_failed, "cannot create " + target.toStdString());

    scan_run_s run;
    if (int status = prepare_and_scan(arguments, run); status != exit_ok) return status;
    if (int status = check_target(arguments, run, target); status != exit_ok) return status;
    if (run.interrupted) return fail(exit_interrupted, "interrupted during the scan; nothing written");

    recover_totals_s totals;
    bool finished = write_rows(run, target, ids, totals);
    std::printf("%u files written, %u failed, %llu bytes\n", totals.written, totals.failed,
                static_cast<unsigned long long>(totals.bytes));
    if (!finished) return fail(exit_interrupted, "interrupted; the file being written was removed");
    return totals.failed ? exit_failed : exit_ok;
}
