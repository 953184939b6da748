#include "engines/fat_recovery.h"

#include <algorithm>
#include <ctime>

#include "disk/sector_device.h"
#include "engines/target_file.h"
#include "platform/trace.h"

namespace {

constexpr size_t name_limit = 259;
constexpr uint32_t extract_step = 4096;

// The reader's volume 0 and the long-name buffer: one each for the whole process.
fat_volume& engine_volume() {
    static auto* volume = new fat_volume;
    return *volume;
}

char16_t* long_name_buffer() {
    static auto* buffer = new char16_t[fat_long_name_units];
    return buffer;
}

bool is_folder(const fat_record_s& record) {
    return record.attributes & fat_attribute_directory;
}

bool is_deleted(const fat_record_s& record) {
    return record.attributes & fat_attribute_deleted;
}

std::u16string display_name(const fat_entry_info& info) {
    std::u16string name(info.long_name && info.long_name[0] ? info.long_name : info.short_name);
    if (name.size() > name_limit) name.resize(name_limit);
    return name;
}

}  // namespace

// One open folder of the walk: the reader's directory object and where the folder stands.
struct fat_recovery_c::walk_frame_s {
    fat_dir dir;
    uint32_t key = 0;
    uint8_t inside_deleted = 0;
    bool last = false;  // the reader reported a broken chain with this entry: the folder ends after it
};

fat_recovery_c::fat_recovery_c(QObject* parent) : polled_engine_c(parent) {}

void fat_recovery_c::set_volume(const volume_item_s& volume) {
    volume_ = volume;
}

void fat_recovery_c::reset() {
    reset_state();
    records_ = record_table();
    walked_.clear();
    midnights_.clear();
}

int64_t fat_recovery_c::fat_time_to_seconds(uint16_t date, uint16_t time) {
    std::tm calendar{};
    calendar.tm_year = (date >> 9) + 80;
    calendar.tm_mon = ((date >> 5) & 15) - 1;
    calendar.tm_mday = date & 31;
    calendar.tm_hour = time >> 11;
    calendar.tm_min = (time >> 5) & 63;
    calendar.tm_sec = (time & 31) * 2;
    calendar.tm_isdst = 0;
    std::time_t seconds = std::mktime(&calendar);
    return seconds == static_cast<std::time_t>(-1) ? 0 : static_cast<int64_t>(seconds);
}

int64_t fat_recovery_c::entry_time(uint16_t date, uint16_t time) {
    auto it = midnights_.find(date);
    if (it == midnights_.end()) it = midnights_.emplace(date, fat_time_to_seconds(date, 0)).first;
    // Daylight saving is off in the conversion, so a day's seconds simply add to its midnight.
    if (it->second == 0) return fat_time_to_seconds(date, time);
    return it->second + (time >> 11) * 3600 + ((time >> 5) & 63) * 60 + (time & 31) * 2;
}

void fat_recovery_c::run() {
    reset();
    std::string volume_path = volume_.volume_name.toStdString();
    if (!volume_path.empty() && volume_path.back() == '\\') volume_path.pop_back();
    volume_location_s location;
    // A volume that cannot be located must not be read at the previous volume's place.
    bool located = locate_volume(volume_path, location) == 0 && location.disk_number < drive_table_size;
    if (located) {
        fat_volume_table[0].drive = static_cast<uint8_t>(location.disk_number);
        fat_volume_table[0].partition = static_cast<uint8_t>(location.partition_number);
        fat_volume_table[0].start_sector = location.start_sector;
    }
    fat_register_volume(0, &engine_volume());
    platform::trace("Start Fat Scan.\n");
    if (located)
        walk(0);
    else
        platform::trace("fat_open_dir failed 1.\n");

    auto root = std::make_unique<fat_record_s>();
    root->attributes = fat_attribute_directory;
    records_[0] = std::move(root);
    link_children();
    mark_folders_holding_files();
}

bool fat_recovery_c::open_folder(walk_frame_s& frame, bool root) {
    if (fat_open_dir(&frame.dir, u"/") != fat_ok) {
        platform::trace(root ? "fat_open_dir failed 1.\n" : "fat_open_dir failed 2.\n");
        return false;
    }
    if (root) return true;
    frame.dir.start_cluster = frame.key;
    frame.dir.cluster = frame.key;
    return fat_read_dir(&frame.dir, nullptr) == fat_ok;
}

bool fat_recovery_c::next_entry(walk_frame_s& frame, fat_entry_info& info) {
    for (;;) {
        if (frame.last || !wait_while_paused()) return false;
        uint64_t scanned = scanned_count();
        set_progress(std::min(static_cast<double>(scanned) / 2000.0, 0.99));
        count_scanned();
        platform::tracef("file count:%d\n", static_cast<int>(scanned + 1));

        info = fat_entry_info{};
        info.long_name = long_name_buffer();
        info.long_name_size = fat_long_name_units;
        uint8_t result = fat_read_dir(&frame.dir, &info);
        if (result != fat_ok) {
            platform::trace("fat_read_dir failed 1.\n");
            // The entry that came with a broken chain is still good: use it, then end the folder.
            if (info.short_name[0] == 0) return false;
            frame.last = true;
        }
        if (info.short_name[0] == 0) return false;
        bool dot = info.short_name[0] == u'.';
        bool no_name = info.short_name[0] == 0 && info.long_name[0] == 0;
        bool wanted = info.attributes & (fat_attribute_directory | fat_attribute_deleted);
        if (info.first_cluster != 0 && !dot && !no_name && wanted) return true;
    }
}

void fat_recovery_c::walk(uint32_t root_key) {
    // An explicit stack of open folders: nesting as deep as a crafted volume makes it cannot
    // exhaust the thread's stack. The order is that of a recursive walk.
    std::vector<walk_frame_s> stack(1);
    stack.back().key = root_key;
    walked_.insert(root_key);
    if (!open_folder(stack.back(), true)) return;
    while (!stack.empty()) {
        walk_frame_s& frame = stack.back();
        fat_entry_info info;
        if (!next_entry(frame, info)) {
            stack.pop_back();
            continue;
        }
        auto record = std::make_unique<fat_record_s>();
        record->first_cluster = info.first_cluster;
        record->parent_cluster = frame.key;
        record->size = info.size;
        record->write_time = entry_time(info.write_date, info.write_time);
        record->create_time = entry_time(info.create_date, info.create_time);
        record->in_deleted_folder = frame.inside_deleted;
        record->attributes = static_cast<uint8_t>(info.attributes | (frame.inside_deleted ? fat_attribute_deleted : 0));
        record->name = display_name(info);
        if (is_deleted(*record) && !record->name.empty()) record->name[0] = u'#';
        uint8_t inside_deleted = frame.inside_deleted || is_deleted(*record);
        fat_record_s* folder = merge(std::move(record));
        if (!folder) continue;
        walk_frame_s child;
        child.key = folder->first_cluster;
        child.inside_deleted = inside_deleted;
        if (open_folder(child, false)) stack.push_back(child);
    }
}

fat_record_s* fat_recovery_c::merge(std::unique_ptr<fat_record_s> record) {
    const uint32_t key = record->first_cluster;
    auto it = records_.find(key);
    fat_record_s* kept = record.get();
    if (it == records_.end()) {
        records_[key] = std::move(record);
        count_found();
    } else {
        fat_record_s& existing = *it->second;
        bool replace;
        if (existing.in_deleted_folder == 0 && record->in_deleted_folder == 1)
            replace = false;
        else if (is_folder(*record) && !is_deleted(*record))
            replace = true;
        else if (is_folder(existing) && !is_deleted(existing))
            replace = false;  // neither a deleted file nor a deleted folder displaces a live folder
        else
            replace = record->create_time > existing.create_time;
        // A folder that lists itself or one of its ancestors must not become its own parent:
        // it would hang, with every file below it, outside the tree.
        if (replace && hangs_from_itself(key, record->parent_cluster)) replace = false;
        if (replace)
            it->second = std::move(record);
        else
            kept = it->second.get();
    }
    // A folder is walked the first time a folder is seen at its cluster, whichever record is kept.
    if (!is_folder(*kept) || walked_.count(key)) return nullptr;
    walked_.insert(key);
    return kept;
}

bool fat_recovery_c::hangs_from_itself(uint32_t key, uint32_t parent) const {
    for (size_t steps = 0; steps <= records_.size(); ++steps) {
        if (parent == key) return true;
        auto it = records_.find(parent);
        if (parent == 0 || it == records_.end()) return false;
        parent = it->second->parent_cluster;
    }
    return true;  // the ancestors already loop: do not hang anything more from them
}

void fat_recovery_c::link_children() {
    std::vector<fat_record_s*> ordered;
    ordered.reserve(records_.size());
    for (auto& [key, record] : records_) ordered.push_back(record.get());
    std::sort(ordered.begin(), ordered.end(),
              [](const fat_record_s* a, const fat_record_s* b) { return a->first_cluster < b->first_cluster; });
    for (fat_record_s* record : ordered) {
        if (record->first_cluster == 0 && record->parent_cluster == 0) continue;
        auto parent = records_.find(record->parent_cluster);
        if (parent != records_.end() && parent->second.get() != record) parent->second->children.push_back(record);
    }
}

void fat_recovery_c::mark_folders_holding_files() {
    for (auto& [key, record] : records_) {
        if (is_folder(*record)) continue;
        uint32_t parent_key = record->parent_cluster;
        for (;;) {
            auto parent = records_.find(parent_key);
            if (parent == records_.end() || parent->second->holds_files) break;
            parent->second->holds_files = 1;
            if (parent_key == 0) break;
            parent_key = parent->second->parent_cluster;
        }
    }
}

int fat_recovery_c::extract(uint64_t id, const QString& target_path) {
    std::lock_guard guard(extract_lock_);
    auto it = records_.find(static_cast<uint32_t>(id));
    if (it == records_.end()) return -1;
    const fat_record_s& record = *it->second;
    target_file_c target(target_path);
    if (!target.is_open()) return -1;

    fat_file file;
    file.volume = &engine_volume();
    file.mount_id = engine_volume().mount_id;
    file.flags = fat_file_open;
    file.size = record.size;
    file.first_cluster = record.first_cluster;
    std::vector<uint8_t> buffer(extract_step);
    uint64_t written = 0;
    bool contiguous = record.attributes & fat_attribute_deleted;
    for (;;) {
        uint32_t got = 0;
        uint8_t result = fat_read_file(&file, buffer.data(), extract_step, &got, contiguous);
        if (got == 0) break;
        if (!target.write(buffer.data(), got)) break;
        written += got;
        if (result != fat_ok) break;
    }
    // Only a file that holds every byte and reached the disk is a success; a partial one stays.
    bool closed = target.close();
    return closed && written == record.size ? 0 : -1;
}

int fat_recovery_c::full_path(uint64_t id, QString& out) {
    out = volume_.path;
    if (out.endsWith('/') || out.endsWith('\\')) out.chop(1);
    std::vector<const fat_record_s*> chain;
    uint32_t key = static_cast<uint32_t>(id);
    std::unordered_set<uint32_t> seen;
    for (;;) {
        auto it = records_.find(key);
        // A missing ancestor, a folder that is its own ancestor, or a chain longer than the table.
        if (it == records_.end() || !seen.insert(key).second || chain.size() > records_.size()) return -1;
        chain.push_back(it->second.get());
        if (it->second->parent_cluster == 0) break;
        key = it->second->parent_cluster;
    }
    for (auto record = chain.rbegin(); record != chain.rend(); ++record)
        out += "\\" + QString::fromStdU16String((*record)->name);
    return 0;
}
