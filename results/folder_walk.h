#pragma once
// Adds an engine's folder records below node 0 of a result tree, in pre-order, with an explicit
// stack. subfolders(record) lists the record's shown subfolders in display order; name_of(record)
// gives the name an item shows.
#include <vector>

#include "results/result_rules.h"

template <typename Record, typename Subfolders, typename NameOf>
void add_folders(result_tree_s& tree, const Record* root, Subfolders subfolders, NameOf name_of) {
    struct pending_s {
        const Record* record;
        int parent;
    };
    std::vector<pending_s> stack;
    auto push_children = [&](const Record* record, int node) {
        auto shown = subfolders(record);
        for (auto it = shown.rbegin(); it != shown.rend(); ++it) stack.push_back({*it, node});
    };
    push_children(root, 0);
    while (!stack.empty()) {
        pending_s next = stack.back();
        stack.pop_back();
        int index = static_cast<int>(tree.nodes.size());
        result_tree_s::node_s node;
        node.name = name_of(next.record);
        node.record = next.record;
        node.parent = next.parent;
        tree.nodes.push_back(std::move(node));
        tree.nodes[static_cast<size_t>(next.parent)].children.push_back(index);
        push_children(next.record, index);
    }
}

// A tree holding only "/" with the given record.
inline result_tree_s tree_with_root(const void* record) {
    result_tree_s tree;
    result_tree_s::node_s root;
    root.name = "/";
    root.record = record;
    tree.nodes.push_back(std::move(root));
    return tree;
}
