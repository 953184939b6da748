#include "cli/recover_rows.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "cli/command.h"
#include "cli/interrupt.h"
#include "platform/volumes.h"
#include "results/target_names.h"

namespace {

struct recover_totals_s {
    unsigned written = 0;
    unsigned failed = 0;
    uint64_t bytes = 0;
};

// Writes the chosen rows of one folder; false when Ctrl-C interrupted the writing.
bool write_folder(scan_run_s& run, size_t node, const QString& target, const std::set<uint64_t>& ids,
                  target_names_c& names, recover_totals_s& totals) {
    auto rows = folder_rows(run.kind, run.engine.get(), run.tree.nodes[node].record);
    QStringList components = run.tree.path_of(static_cast<int>(node)).split('/', Qt::SkipEmptyParts);
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
    return true;
}

}  // namespace

int prepare_target(const std::string& argument, QString& target) {
    target = QFileInfo(QString::fromStdString(argument)).absoluteFilePath();
    if (!QDir().mkpath(target)) return fail(exit_failed, "cannot create " + target.toStdString());
    return exit_ok;
}

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

int parse_ids(const arguments_s& arguments, std::set<uint64_t>& ids) {
    for (const auto& text : arguments.all_values("--id")) {
        char* end = nullptr;
        errno = 0;
        unsigned long long id = std::strtoull(text.c_str(), &end, 10);
        if (text.empty() || *end != 0 || errno != 0 || text[0] == '-')
            return fail(exit_usage, "--id takes a number, not '" + text + "'");
        ids.insert(id);
    }
    return exit_ok;
}

int write_rows(scan_run_s& run, const QString& target, const std::set<uint64_t>& ids) {
    target_names_c names;
    recover_totals_s totals;
    bool finished = true;
    for (size_t i = 0; i < run.tree.nodes.size() && finished; ++i)
        finished = write_folder(run, i, target, ids, names, totals);
    std::printf("%u files written, %u failed, %llu bytes\n", totals.written, totals.failed,
                static_cast<unsigned long long>(totals.bytes));
    if (!finished) return fail(exit_interrupted, "interrupted; the file being written was removed");
    return totals.failed ? exit_failed : exit_ok;
}
