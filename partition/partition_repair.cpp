#include "partition/partition_repair.h"

#include <QMutexLocker>

partition_repair_c::partition_repair_c(QObject* parent) : QThread(parent) {
    register_partition_item_type();
}

partition_repair_c::~partition_repair_c() {
    request_stop();
    wait();
}

bool partition_repair_c::set_drive(const drive_item_s& drive) {
    if (is_searching()) return false;
    QMutexLocker guard(&lock_);
    drive_ = drive;
    return true;
}

drive_item_s partition_repair_c::drive() const {
    QMutexLocker guard(&lock_);
    return drive_;
}

bool partition_repair_c::start_search(const drive_item_s& drive) {
    bool idle = false;
    if (!searching_.compare_exchange_strong(idle, true)) return false;
    {
        QMutexLocker guard(&lock_);
        drive_ = drive;
    }
    state_.stop_requested.store(false, std::memory_order_relaxed);
    // The previous run may still be returning from run(); start() would then do nothing.
    if (isRunning()) wait();
    start(QThread::InheritPriority);
    return true;
}

bool partition_repair_c::search_now(const drive_item_s& drive) {
    bool idle = false;
    if (!searching_.compare_exchange_strong(idle, true)) return false;
    {
        QMutexLocker guard(&lock_);
        drive_ = drive;
    }
    state_.stop_requested.store(false, std::memory_order_relaxed);
    search_body();
    searching_.store(false);
    return true;
}

void partition_repair_c::request_stop() {
    state_.stop_requested.store(true, std::memory_order_relaxed);
}

QList<partition_item_s> partition_repair_c::partitions() const {
    QMutexLocker guard(&lock_);
    return partitions_;
}

partition_search_outcome_s partition_repair_c::last_outcome() const {
    QMutexLocker guard(&lock_);
    return outcome_;
}

table_write_result_s partition_repair_c::last_write_result() const {
    QMutexLocker guard(&lock_);
    return write_result_;
}

void partition_repair_c::run() {
    search_body();
    searching_.store(false);
}

void partition_repair_c::search_body() {
    drive_item_s drive;
    {
        QMutexLocker guard(&lock_);
        drive = drive_;
        searched_drive_ = drive_;
        partitions_.clear();
        outcome_ = {};
    }
    state_.progress.store(0.0, std::memory_order_relaxed);
    state_.unreadable_blocks.store(0, std::memory_order_relaxed);
    partition_search_outcome_s outcome =
        search_partitions(drive, state_, [this](const partition_item_s& found) { append_found(found); });
    QMutexLocker guard(&lock_);
    outcome_ = outcome;
}

void partition_repair_c::append_found(const partition_item_s& partition) {
    {
        QMutexLocker guard(&lock_);
        partitions_.append(partition);
    }
    emit partition_found();
}

int partition_repair_c::write_partition_table() {
    table_write_result_s result;
    if (is_searching()) {
        result = {table_write_e::search_running, {}};
    } else {
        drive_item_s drive;
        partition_search_outcome_s outcome;
        QList<partition_item_s> found;
        {
            QMutexLocker guard(&lock_);
            drive = searched_drive_;
            outcome = outcome_;
            found = partitions_;
        }
        if (drive.drive_path.isEmpty() || !drive.geometry)
            result = {table_write_e::no_drive, {}};
        else if (!outcome.opened)
            result = {table_write_e::not_searched, {}};
        else
            result = rewrite_partition_table(drive, outcome.identity, found);
    }
    QMutexLocker guard(&lock_);
    write_result_ = result;
    return result.ok() ? 0 : -1;
}
