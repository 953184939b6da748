// The FAT engine's store as folders and rows: root = key 0; folders: directory bit, holding
// files, first cluster not 0; rows: no directory bit, first cluster not 0.
#include "engines/fat_recovery.h"
#include "results/engine_results.h"
#include "results/folder_walk.h"

namespace {

bool shown_folder(const fat_record_s* record) {
    return (record->attributes & fat_attribute_directory) && record->holds_files && record->first_cluster != 0;
}

}  // namespace

result_tree_s build_fat_folders(recovery_base_c* engine) {
    auto* fat = dynamic_cast<fat_recovery_c*>(engine);
    if (!fat) return {};
    auto root = fat->records().find(0);
    if (root == fat->records().end()) return {};
    result_tree_s tree = tree_with_root(root->second.get());
    add_folders(
        tree, root->second.get(),
        [](const fat_record_s* record) {
            std::vector<const fat_record_s*> shown;
            for (const fat_record_s* child : record->children)
                if (shown_folder(child)) shown.push_back(child);
            return shown;
        },
        [](const fat_record_s* record) { return QString::fromStdU16String(record->name); });
    return tree;
}

QList<recovery_item_s> fat_rows(const void* record) {
    QList<recovery_item_s> rows;
    for (const fat_record_s* child : static_cast<const fat_record_s*>(record)->children) {
        if ((child->attributes & fat_attribute_directory) || child->first_cluster == 0) continue;
        recovery_item_s row;
        row.name = QString::fromStdU16String(child->name);
        row.size = child->size;
        row.time1 = child->write_time;
        row.time2 = child->create_time;
        row.id = child->first_cluster;
        row.attributes = child->attributes;
        rows.append(row);
    }
    return rows;
}
