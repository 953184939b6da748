#pragma once
// The scan engine for NTFS volumes: pulls the master file table's records from the NTFS access
// library, keeps every folder and every deleted file, and links them into their folders.
#include <QString>
#include <array>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "engines/recovery_base.h"

struct ntfs_record_s {
    uint64_t record_number = 0;  // the key; 5 is the root folder
    uint64_t parent_number = 0;  // the root's parent is 5 itself
    uint64_t size = 0;
    int64_t time_b = 0;  // shown as time2
    int64_t time_a = 0;  // shown as time1
    uint32_t flags = 0;  // 0x01 folder, 0x02 file, 0x80 deleted
    std::u16string name;
    uint8_t holds_files = 0;
    std::vector<ntfs_record_s*> children;  // in ascending record number; not owned
};

class ntfs_recovery_c : public recovery_base_c {
    Q_OBJECT
public:
    using record_table = std::unordered_map<uint64_t, std::unique_ptr<ntfs_record_s>>;
    static constexpr uint64_t root_record = 5;

    explicit ntfs_recovery_c(QObject* parent = nullptr);
    ~ntfs_recovery_c() override;

    void set_volume(const volume_item_s& volume) override;
    double progress() override { return progress_.load(std::memory_order_relaxed); }
    void set_progress(double value) override { progress_.store(value, std::memory_order_relaxed); }
    void set_stop(int code) override { stop_.store(code, std::memory_order_relaxed); }
    int stop() override { return stop_.load(std::memory_order_relaxed); }
    int pause() override { return pause_.load(std::memory_order_relaxed); }
    void set_pause(int flag) override { pause_.store(flag, std::memory_order_relaxed); }
    uint64_t scanned_count() override { return scanned_count_.load(std::memory_order_relaxed); }
    uint64_t found_count() override { return found_count_.load(std::memory_order_relaxed); }
    void reset() override;
    int extract(uint64_t id, const QString& target_path) override;
    int full_path(uint64_t id, QString& out) override;

    const record_table& records() const { return records_; }

    // "/dev/hd%c%d" of a volume's disk and partition numbers.
    static std::string device_name(const volume_item_s& volume);

protected:
    void run() override;

private:
    void log_startup_failure(int result);
    bool wait_while_paused();
    void keep(const uint8_t* raw);
    void link_children();
    void mark_folders_holding_files();

    std::array<uint8_t, 8248> context_{};
    volume_item_s volume_;
    std::atomic<double> progress_{0.0};
    std::atomic<int32_t> pause_{0};
    std::atomic<int32_t> stop_{0};
    std::atomic<uint64_t> scanned_count_{0};
    std::atomic<uint64_t> found_count_{0};
    record_table records_;
    std::mutex extract_lock_;  // the preview and the recovery worker may extract at once
};
