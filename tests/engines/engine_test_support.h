#pragma once
// Helpers of the engine tests: disks attached as the drive table and volume list, a scan run
// to its end, and the rows of a finished scan by folder path.
#include <QList>
#include <QString>
#include <map>
#include <string>
#include <vector>

#include "devices/volume_list.h"
#include "engines/recovery_base.h"
#include "results/result_rules.h"

namespace engine_test {

// Puts the paths in the disk list, opens the drive table and enumerates the volumes; undoes it
// all when it goes away.
class attached_disks {
public:
    explicit attached_disks(const std::vector<std::string>& paths);
    ~attached_disks();
    attached_disks(const attached_disks&) = delete;
    attached_disks& operator=(const attached_disks&) = delete;
    // The published volume on disk n, partition p.
    volume_item_s volume(int disk, int partition = 0) const;
};

// Resets, sets the volume, runs the engine's thread and waits for it (up to a minute).
bool scan(recovery_base_c& engine, const volume_item_s& volume);

// Every folder the result rules show, by path, with its rows.
std::map<QString, QList<recovery_item_s>> shown_rows(engine_kind_e kind, recovery_base_c& engine);

// Waits up to timeout_seconds for a condition, checking every few milliseconds.
template <typename Condition>
bool wait_until(Condition condition, int timeout_seconds = 10);

}  // namespace engine_test

#include <chrono>
#include <thread>

template <typename Condition>
bool engine_test::wait_until(Condition condition, int timeout_seconds) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_seconds);
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return true;
}
