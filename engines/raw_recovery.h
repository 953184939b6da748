#pragma once
// The deep-scan engine: the carving library finds files by their content anywhere on the
// volume; each becomes a carved entry, grouped by type. Its entry table can be saved to a scan
// file and loaded again.
#include <QString>
#include <array>
#include <cstdint>
#include <mutex>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "calloway/calloway.h"
#include "engines/recovery_base.h"

// One carved file; 32 bytes, stored as such in scan files.
struct carved_entry_s {
    uint64_t ordinal = 0;  // position in the entry table
    int64_t offset = 0;    // first byte on the volume
    uint64_t length = 0;
    std::array<char, 8> type{};  // first 8 characters of the type name, NUL-padded, not terminated at 8

    std::string type_text() const;  // the stored type, up to its first NUL
};
static_assert(sizeof(carved_entry_s) == 32);

// Full type name -> ordinals of its entries; types in the order each was first found.
class type_map_c {
public:
    void append(const std::string& type, uint64_t ordinal);
    void clear();
    bool empty() const { return types_.empty(); }
    const std::vector<std::pair<std::string, std::vector<uint64_t>>>& types() const { return types_; }

private:
    std::vector<std::pair<std::string, std::vector<uint64_t>>> types_;
    std::unordered_map<std::string, size_t> index_;
};

class raw_recovery_c : public recovery_base_c {
    Q_OBJECT
public:
    // The most entries a scan file may hold (2 GiB of entries).
    static constexpr uint64_t scan_file_entry_limit = uint64_t{1} << 26;

    explicit raw_recovery_c(QObject* parent = nullptr);

    void set_volume(const volume_item_s& volume) override;
    double progress() override { return params_.progress.load(std::memory_order_relaxed); }
    void set_progress(double value) override { params_.progress.store(value, std::memory_order_relaxed); }
    void set_stop(int code) override { params_.stop.store(code, std::memory_order_relaxed); }
    int stop() override { return params_.stop.load(std::memory_order_relaxed); }
    int pause() override { return params_.pause.load(std::memory_order_relaxed); }
    void set_pause(int flag) override { params_.pause.store(flag, std::memory_order_relaxed); }
    uint64_t scanned_count() override { return 0; }
    void reset() override;
    int extract(uint64_t id, const QString& target_path) override;
    int full_path(uint64_t, QString&) override { return 0; }

    // 0 written, -1 not (an earlier good file at the path survives a failure).
    int write_scan_file(const std::string& path);
    // The header's volume path, or "" on any failure (the table is then untouched).
    std::string read_scan_file(const std::string& path);

    const std::vector<carved_entry_s>& entries() const { return entries_; }
    const type_map_c& type_map() const { return type_map_; }
    const std::string& volume_path() const { return volume_path_; }
    // What the last scan met besides files (unreadable blocks skipped).
    const carve_report_s& report() const { return report_; }

    // The row name of an entry: "%08llu.%.8s" of its ordinal and stored type.
    static QString row_name(const carved_entry_s& entry);

protected:
    void run() override;

private:
    static void carve_found(void* context, const char* type_name, int64_t offset, uint64_t length);

    volume_item_s volume_;
    carve_params params_;
    type_map_c type_map_;
    std::vector<carved_entry_s> entries_;
    std::string volume_path_;
    carve_report_s report_;
    std::mutex extract_lock_;
};
