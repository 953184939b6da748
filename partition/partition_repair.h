#pragma once
// The lost-partition search on its own thread, its partition list, and the rewrite of the
// searched drive's partition table from that list.
#include <QList>
#include <QMutex>
#include <QThread>
#include <atomic>
#include <cstdint>

#include "devices/drive_list.h"
#include "partition/partition_item.h"
#include "partition/partition_search.h"
#include "partition/partition_table_write.h"

class partition_repair_c : public QThread {
    Q_OBJECT

public:
    explicit partition_repair_c(QObject* parent = nullptr);
    ~partition_repair_c() override;  // stops a running search and waits for it

    // The drive for the next search. Refused (false) while a search runs: the running search
    // keeps its own drive record.
    bool set_drive(const drive_item_s& drive);
    drive_item_s drive() const;

    // Sets the drive and starts the search thread with the starting thread's priority. False,
    // and nothing changes, while a search runs. Starting again after the end starts afresh.
    bool start_search(const drive_item_s& drive);
    // Runs the whole search on the calling thread (partition_found() is emitted there). False
    // when a search already runs.
    bool search_now(const drive_item_s& drive);
    // Asks a running search to end soon; the entries found so far stay.
    void request_stop();
    bool is_searching() const { return searching_.load(std::memory_order_relaxed); }

    // A copy of the partition list, in the order found; safe while the search appends.
    QList<partition_item_s> partitions() const;
    double progress() const { return state_.progress.load(std::memory_order_relaxed); }
    // Blocks of the last search that could not be read and were skipped.
    uint64_t unreadable_blocks() const { return state_.unreadable_blocks.load(std::memory_order_relaxed); }
    // How the last search ended (default while none has run).
    partition_search_outcome_s last_outcome() const;

    // Rewrites sector 0 of the searched drive from the partition list: 0 on success, -1 on
    // failure or refusal; last_write_result() says which and why.
    int write_partition_table();
    table_write_result_s last_write_result() const;

signals:
    // Emitted on the searching thread right after an entry was appended.
    void partition_found();

protected:
    void run() override;

private:
    using QThread::start;  // start_search() is the way to start: it prepares the search state
    void search_body();
    void append_found(const partition_item_s& partition);

    mutable QMutex lock_;  // guards the fields below
    drive_item_s drive_;
    drive_item_s searched_drive_;
    QList<partition_item_s> partitions_;
    partition_search_outcome_s outcome_;
    table_write_result_s write_result_;

    partition_search_state_s state_;
    std::atomic<bool> searching_{false};
};
