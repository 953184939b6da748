#include "results/result_rules.h"

#include <QStringList>

#include "results/engine_results.h"

QString result_tree_s::path_of(int node) const {
    QStringList parts;
    for (int at = node; at > 0; at = nodes[static_cast<size_t>(at)].parent)
        parts.prepend(nodes[static_cast<size_t>(at)].name);
    return "/" + parts.join('/');
}

result_tree_s build_result_folders(engine_kind_e kind, recovery_base_c* engine) {
    result_tree_s tree;
    switch (kind) {
    case engine_fat:
        tree = build_fat_folders(engine);
        break;
    case engine_ntfs:
        tree = build_ntfs_folders(engine);
        break;
    case engine_deep:
        tree = build_deep_folders(engine);
        break;
    }
    if (tree.nodes.empty()) return {};
    bool shown = !tree.nodes[0].children.empty() || !folder_rows(kind, engine, tree.nodes[0].record).isEmpty();
    return shown ? tree : result_tree_s{};
}

QList<recovery_item_s> folder_rows(engine_kind_e kind, recovery_base_c* engine, const void* record) {
    if (!record) return {};
    switch (kind) {
    case engine_fat:
        return fat_rows(record);
    case engine_ntfs:
        return ntfs_rows(record);
    case engine_deep:
        return deep_rows(engine, record);
    }
    return {};
}
