#include "cli/scan_output.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonObject>
#include <cstdio>

#include "cli/output.h"
#include "engines/raw_recovery.h"

namespace {

QJsonObject row_json(const recovery_item_s& row) {
    QJsonObject object;
    object["id"] = static_cast<qint64>(row.id);
    object["name"] = row.name;
    object["size"] = static_cast<qint64>(row.size);
    object["time1"] = static_cast<qint64>(row.time1);
    object["time2"] = static_cast<qint64>(row.time2);
    object["attributes"] = row.attributes;
    return object;
}

QString time_text(int64_t seconds) {
    if (seconds == 0) return "-";
    return QDateTime::fromSecsSinceEpoch(seconds).toString("yyyy-MM-dd HH:mm:ss");
}

}  // namespace

void print_scan(const scan_run_s& run, bool json) {
    const auto& nodes = run.tree.nodes;
    if (json) {
        QJsonArray folders;
        for (size_t i = 0; i < nodes.size(); ++i) {
            auto rows = folder_rows(run.kind, run.engine.get(), nodes[i].record);
            if (i == 0 && run.kind == engine_deep) continue;  // a deep scan's "/" has no rows
            QJsonArray files;
            for (const auto& row : rows) files.append(row_json(row));
            QJsonObject folder;
            folder["path"] = run.tree.path_of(static_cast<int>(i));
            folder["files"] = files;
            folders.append(folder);
        }
        QJsonObject result;
        result["engine"] = engine_name(run.kind);
        result["stop_code"] = run.stop_code;
        result["scanned_count"] = static_cast<qint64>(run.engine->scanned_count());
        result["found_count"] = static_cast<qint64>(run.engine->found_count());
        result["folders"] = folders;
        if (auto* deep = dynamic_cast<const raw_recovery_c*>(run.engine.get()))
            result["unreadable_blocks"] = static_cast<qint64>(deep->report().unreadable_blocks);
        print_json(result);
        return;
    }
    size_t total = 0;
    for (size_t i = 0; i < nodes.size(); ++i) {
        auto rows = folder_rows(run.kind, run.engine.get(), nodes[i].record);
        if (i == 0 && run.kind == engine_deep) continue;
        std::printf("%s\n", run.tree.path_of(static_cast<int>(i)).toLocal8Bit().constData());
        for (const auto& row : rows) {
            std::printf("  %-40s %10s  %s  id %llu\n", row.name.toLocal8Bit().constData(),
                        format_size(row.size).toLocal8Bit().constData(), time_text(row.time1).toLocal8Bit().constData(),
                        static_cast<unsigned long long>(row.id));
        }
        total += static_cast<size_t>(rows.size());
    }
    if (auto* deep = dynamic_cast<const raw_recovery_c*>(run.engine.get())) {
        std::printf("%zu files found by content; %llu unreadable blocks skipped%s\n", total,
                    static_cast<unsigned long long>(deep->report().unreadable_blocks),
                    run.stop_code == 3 ? " (stopped)" : "");
        return;
    }
    std::printf("%zu files found in %zu folders; %llu entries read%s\n", total, nodes.size(),
                static_cast<unsigned long long>(run.engine->scanned_count()),
                run.stop_code == 3 ? " (stopped)" : "");
}
