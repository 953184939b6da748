#pragma once
// Each engine's part of the result rules. Internal to results/.
#include "results/result_rules.h"

result_tree_s build_fat_folders(recovery_base_c* engine);
QList<recovery_item_s> fat_rows(const void* record);

result_tree_s build_ntfs_folders(recovery_base_c* engine);
QList<recovery_item_s> ntfs_rows(const void* record);

result_tree_s build_deep_folders(recovery_base_c* engine);
QList<recovery_item_s> deep_rows(recovery_base_c* engine, const void* record);
