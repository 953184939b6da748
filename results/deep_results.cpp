// The deep-scan engine's store as folders and rows (filled in with the deep-scan engine).
#include "results/engine_results.h"

result_tree_s build_deep_folders(recovery_base_c*) {
    return {};
}

QList<recovery_item_s> deep_rows(recovery_base_c*, const void*) {
    return {};
}
