#pragma once
// The scan engine for FAT12/16/32 volumes: walks every directory with the FAT reader and records
// all folders and the deleted files, keyed by first cluster.
#include <QString>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "disk/fat_reader.h"
#include "engines/polled_engine.h"

struct fat_record_s {
    uint32_t reserved = 0;
    uint32_t first_cluster = 0;   // the record's key; 0 only for the root record
    uint32_t parent_cluster = 0;  // key of the folder the entry was found in
    uint32_t size = 0;
    int64_t write_time = 0;
    int64_t create_time = 0;
    uint8_t attributes = 0;        // 0x10 folder, 0x40 deleted
    uint8_t in_deleted_folder = 0;
    std::u16string name;           // at most 259 units; "#" first on a deleted record
    uint8_t holds_files = 0;
    std::vector<fat_record_s*> children;  // in ascending key order; not owned
};

class fat_recovery_c : public polled_engine_c {
    Q_OBJECT
public:
    using record_table = std::unordered_map<uint32_t, std::unique_ptr<fat_record_s>>;

    explicit fat_recovery_c(QObject* parent = nullptr);

    void set_volume(const volume_item_s& volume) override;
    void reset() override;
    int extract(uint64_t id, const QString& target_path) override;
    int full_path(uint64_t id, QString& out) override;

    // The store, read by the result rules after the thread has finished.
    const record_table& records() const { return records_; }

    // FAT date and time as seconds since 1970, local time without daylight saving; 0 when invalid.
    static int64_t fat_time_to_seconds(uint16_t date, uint16_t time);
    // The same through a cache of each date's midnight: mktime is costly once per entry.
    int64_t entry_time(uint16_t date, uint16_t time);

protected:
    void run() override;

private:
    struct walk_frame_s;
    bool open_folder(walk_frame_s& frame, bool root);
    // Reads the next usable entry of the folder on top of the stack; false when the folder ends.
    bool next_entry(walk_frame_s& frame, fat_entry_info& info);
    void walk(uint32_t root_key);
    // Merges one entry's record; returns the folder to walk next, or null.
    fat_record_s* merge(std::unique_ptr<fat_record_s> record);
    // True when parent is the folder at key or lies below it.
    bool hangs_from_itself(uint32_t key, uint32_t parent) const;
    void link_children();
    void mark_folders_holding_files();

    record_table records_;
    volume_item_s volume_;
    std::unordered_map<uint16_t, int64_t> midnights_;
    std::unordered_set<uint32_t> walked_;  // clusters of folders already walked
    std::mutex extract_lock_;       // the preview and the recovery worker may extract at once
};
