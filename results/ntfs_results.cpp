// The NTFS engine's store as folders and rows: root = record 5; folders: folder flag, holding
// files, record number above 11; rows: file flag and record number above 11. Records 0 to 11
// are the file system's own and never shown.
#include "engines/ntfs_recovery.h"
#include "results/engine_results.h"
#include "results/folder_walk.h"

namespace {

bool past_system_records(const ntfs_record_s* record) {
    return static_cast<int64_t>(record->record_number) > 11;
}

}  // namespace

result_tree_s build_ntfs_folders(recovery_base_c* engine) {
    auto* ntfs = dynamic_cast<ntfs_recovery_c*>(engine);
    if (!ntfs) return {};
    auto root = ntfs->records().find(ntfs_recovery_c::root_record);
    if (root == ntfs->records().end()) return {};
    result_tree_s tree = tree_with_root(root->second.get());
    add_folders(
        tree, root->second.get(),
        [](const ntfs_record_s* record) {
            std::vector<const ntfs_record_s*> shown;
            for (const ntfs_record_s* child : record->children)
                if ((child->flags & 0x01) && child->holds_files && past_system_records(child)) shown.push_back(child);
            return shown;
        },
        [](const ntfs_record_s* record) { return QString::fromStdU16String(record->name); });
    return tree;
}

QList<recovery_item_s> ntfs_rows(const void* record) {
    QList<recovery_item_s> rows;
    for (const ntfs_record_s* child : static_cast<const ntfs_record_s*>(record)->children) {
        if (!(child->flags & 0x02) || !past_system_records(child)) continue;
        recovery_item_s row;
        row.name = QString::fromStdU16String(child->name);
        row.size = child->size;
        row.time1 = child->time_a;
        row.time2 = child->time_b;
        row.id = child->record_number;
        row.attributes = static_cast<int32_t>(child->flags);
        rows.append(row);
    }
    return rows;
}
