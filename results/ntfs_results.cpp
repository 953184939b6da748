// The NTFS engine's store as folders and rows (filled in with the NTFS engine).
#include "results/engine_results.h"

result_tree_s build_ntfs_folders(recovery_base_c*) {
    return {};
}

QList<recovery_item_s> ntfs_rows(const void*) {
    return {};
}
