// Crafted FAT volumes that would trap a naive walk: folders whose cluster chains loop, folders
// that contain themselves or their parent, and folders nested a hundred thousand deep. The
// scan ends, the store stays small where the volume is, and neither the walk nor the result
// tree overflows a thread's stack.
#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QThread>
#include <memory>
#include <string>
#include <vector>

#include "engines/fat_recovery.h"
#include "platform/test_seam.h"
#include "platform/trace.h"
#include "results/result_rules.h"
#include "tests/engines/engine_test_support.h"
#include "tests/fixtures/fat_image_builder.h"

using fat_fixture::short_entry;

namespace {

constexpr uint32_t end_of_chain = 0x0FFFFFFF;
// Far less than a recursive walk of a hundred thousand folders needs, ample for an iterative one.
constexpr uint32_t small_stack = 4u << 20;

bool run_to_end(fat_recovery_c& engine, const volume_item_s& volume) {
    engine.reset();
    engine.set_volume(volume);
    engine.setStackSize(small_stack);
    engine.start();
    return engine.wait(QDeadlineTimer(5 * 60 * 1000));
}

// The result tree built on a thread with a small stack.
result_tree_s tree_on_small_stack(fat_recovery_c& engine) {
    result_tree_s tree;
    std::unique_ptr<QThread> thread(QThread::create([&] { tree = build_result_folders(engine_fat, &engine); }));
    thread->setStackSize(small_stack);
    thread->start();
    EXPECT_TRUE(thread->wait(QDeadlineTimer(5 * 60 * 1000)));
    return tree;
}

class hostile_fat_test : public ::testing::Test {
protected:
    // A line per entry would be hundreds of thousands of lines here.
    void SetUp() override { platform::trace_off(); }
    void TearDown() override {
        disks_.reset();
        platform::test::remove_memory_disks();
        platform::trace_to_stdout();
    }

    volume_item_s attach(const fat_fixture::fat_image& image) {
        platform::test::add_memory_disk("hostile", std::make_shared<std::vector<uint8_t>>(image.to_bytes()));
        disks_ = std::make_unique<engine_test::attached_disks>(std::vector<std::string>{"mem:hostile"});
        return disks_->volume(0);
    }

    std::unique_ptr<engine_test::attached_disks> disks_;
};

TEST_F(hostile_fat_test, looping_folders_end_and_each_file_is_listed_once) {
    fat_fixture::fat_image image(fat_fixture::geometry_for_clusters(500));
    // Root: LOOP (a two-cluster chain 3 -> 4 -> 3), SELF (one cluster that chains to itself).
    image.put_root_entry(0, short_entry("LOOP       ", 0x10, 3, 0));
    image.put_root_entry(1, short_entry("SELF       ", 0x10, 5, 0));
    image.set_fat(3, 4);
    image.set_fat(4, 3);
    image.set_fat(5, 5);
    // LOOP holds itself, its parent SELF and a deleted file; SELF holds LOOP and a deleted file.
    image.put_dir_entry(3, 0, short_entry("AGAIN      ", 0x10, 3, 0));
    image.put_dir_entry(3, 1, short_entry("UP         ", 0x10, 5, 0));
    image.put_dir_entry(3, 2, short_entry("\xE5" "ONE    TXT", 0x20, 10, 100));
    image.put_dir_entry(4, 0, short_entry("\xE5" "TWO    TXT", 0x20, 11, 100));
    image.put_dir_entry(5, 0, short_entry("DOWN       ", 0x10, 3, 0));
    image.put_dir_entry(5, 1, short_entry("\xE5" "THREE  TXT", 0x20, 12, 100));
    // Dot entries fill the rest of each cluster: no end marker stops the walk before the chain does.
    for (uint32_t cluster : {3u, 4u, 5u})
        for (unsigned index = 0; index < 16; ++index)
            if (image.sector(image.cluster_sector(cluster))[index * 32] == 0)
                image.put_dir_entry(cluster, index, short_entry(".          ", 0x10, cluster, 0));
    const volume_item_s volume = attach(image);

    fat_recovery_c engine;
    ASSERT_TRUE(run_to_end(engine, volume));
    // Root, the two folders and the three deleted files: nothing counted twice.
    EXPECT_EQ(engine.records().size(), 6u);
    for (uint32_t key : {10u, 11u, 12u}) EXPECT_EQ(engine.records().count(key), 1u) << key;
    size_t rows = 0;
    for (const auto& node : tree_on_small_stack(engine).nodes) rows += folder_rows(engine_fat, &engine, node.record).size();
    EXPECT_EQ(rows, 3u);
}

TEST_F(hostile_fat_test, folders_nested_a_hundred_thousand_deep) {
    constexpr uint32_t depth = 100'000;
    // Folder k lives in cluster 3 + k and holds folder k + 1; the deepest holds a deleted file.
    fat_fixture::fat_image image(fat_fixture::geometry_for_clusters(depth + 16));
    image.set_fat(2, end_of_chain);
    image.put_dir_entry(2, 0, short_entry("DIR        ", 0x10, 3, 0));
    for (uint32_t k = 0; k < depth; ++k) {
        image.set_fat(3 + k, end_of_chain);
        if (k + 1 < depth) image.put_dir_entry(3 + k, 0, short_entry("DIR        ", 0x10, 4 + k, 0));
    }
    const uint32_t file_cluster = 3 + depth;
    image.put_dir_entry(3 + depth - 1, 0, short_entry("\xE5" "EEP    TXT", 0x20, file_cluster, 10));
    image.put_data(file_cluster, std::vector<uint8_t>(10, 'x'));
    const volume_item_s volume = attach(image);

    fat_recovery_c engine;
    ASSERT_TRUE(run_to_end(engine, volume));
    ASSERT_EQ(engine.records().size(), depth + 2);  // root, the folders and the file
    const result_tree_s tree = tree_on_small_stack(engine);
    ASSERT_EQ(tree.nodes.size(), depth + 1);
    EXPECT_EQ(tree.nodes.back().children.size(), 0u);
    const QList<recovery_item_s> rows = folder_rows(engine_fat, &engine, tree.nodes.back().record);
    ASSERT_EQ(rows.size(), 1);
    QString path;
    ASSERT_EQ(engine.full_path(rows[0].id, path), 0);
    EXPECT_EQ(path.count("\\DIR"), static_cast<qsizetype>(depth));
}

}  // namespace
