#pragma once
// The scan engine for NTFS volumes: pulls the master file table's records from the NTFS access
// library, keeps every folder and every deleted file, and links them into their folders.
#include <QString>
#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <vector>

#include "engines/polled_engine.h"

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

class ntfs_recovery_c : public polled_engine_c {
    Q_OBJECT
public:
    using record_table = std::unordered_map<uint64_t, std::unique_ptr<ntfs_record_s>>;
    static constexpr uint64_t root_record = 5;

    explicit ntfs_recovery_c(QObject* parent = nullptr);
    ~ntfs_recovery_c() override;

    void set_volume(const volume_item_s& volume) override;
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
    void keep(const uint8_t* raw);
    void link_children();
    void mark_folders_holding_files();

    std::array<uint8_t, 8248> context_{};
    volume_item_s volume_;
    record_table records_;
    std::mutex extract_lock_;  // the preview and the recovery worker may extract at once
};
