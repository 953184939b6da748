// The deep-scan engine's store as folders and rows: one folder per type below "/", in the type
// map's order; a row per entry of the type.
#include "engines/raw_recovery.h"
#include "results/engine_results.h"
#include "results/folder_walk.h"

result_tree_s build_deep_folders(recovery_base_c* engine) {
    auto* deep = dynamic_cast<raw_recovery_c*>(engine);
    if (!deep) return {};
    result_tree_s tree = tree_with_root(nullptr);
    for (const auto& [type, ordinals] : deep->type_map().types()) {
        result_tree_s::node_s node;
        node.name = QString::fromLatin1(type.c_str());
        node.record = &ordinals;
        node.parent = 0;
        tree.nodes[0].children.push_back(static_cast<int>(tree.nodes.size()));
        tree.nodes.push_back(std::move(node));
    }
    return tree;
}

QList<recovery_item_s> deep_rows(recovery_base_c* engine, const void* record) {
    auto* deep = dynamic_cast<raw_recovery_c*>(engine);
    QList<recovery_item_s> rows;
    if (!deep) return rows;
    const auto& entries = deep->entries();
    for (uint64_t index : *static_cast<const std::vector<uint64_t>*>(record)) {
        if (index >= entries.size()) continue;
        recovery_item_s row;
        row.name = raw_recovery_c::row_name(entries[index]);
        row.size = entries[index].length;
        row.id = index;
        rows.append(row);
    }
    return rows;
}
