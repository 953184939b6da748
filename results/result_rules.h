#pragma once
// The rules that turn an engine's store into the folders of the result tree and the rows of
// one folder. QtCore only: the recovery page and the command-line tool share them.
#include <QList>
#include <QString>
#include <vector>

#include "engines/recovery_item.h"

class recovery_base_c;

// Which engine a store comes from.
enum engine_kind_e : int {
    engine_fat = 0,
    engine_ntfs = 1,
    engine_deep = 2,
};

// The folders of a result tree, flat: node 0 is "/", every other node names its parent.
// Flat so that a crafted volume nested a hundred thousand folders deep builds and frees
// without recursion.
struct result_tree_s {
    struct node_s {
        QString name;
        const void* record = nullptr;  // the engine's folder record or type list; null for a deep "/"
        int parent = -1;
        std::vector<int> children;  // in display order
    };
    std::vector<node_s> nodes;

    // "/a/b" for a node ("/" for node 0).
    QString path_of(int node) const;
};

// The folders that hold deleted files, in display order. Empty (no "/") when the store lacks
// its root or nothing is to be shown. The tree also exists when only the root folder itself
// yields rows, so that files deleted from the root are never hidden.
result_tree_s build_result_folders(engine_kind_e kind, recovery_base_c* engine);

// The rows a click on a folder fills, in the store's order; none for a deep-scan "/".
QList<recovery_item_s> folder_rows(engine_kind_e kind, recovery_base_c* engine, const void* record);
