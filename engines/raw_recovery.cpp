#include "engines/raw_recovery.h"

#include <algorithm>
#include <cstring>

#include "engines/target_file.h"

std::string carved_entry_s::type_text() const {
    return std::string(type.data(), strnlen(type.data(), type.size()));
}

void type_map_c::append(const std::string& type, uint64_t ordinal) {
    auto [it, added] = index_.emplace(type, types_.size());
    if (added) types_.emplace_back(type, std::vector<uint64_t>());
    types_[it->second].second.push_back(ordinal);
}

void type_map_c::clear() {
    types_.clear();
    index_.clear();
}

raw_recovery_c::raw_recovery_c(QObject* parent) : recovery_base_c(parent) {}

void raw_recovery_c::set_volume(const volume_item_s& volume) {
    volume_ = volume;
    volume_path_ = volume.volume_name.toStdString();
    if (!volume_path_.empty() && (volume_path_.back() == '\\' || volume_path_.back() == '/')) volume_path_.pop_back();
}

void raw_recovery_c::reset() {
    params_.context = nullptr;
    params_.progress = 0.0;
    params_.pause = 0;
    params_.stop = 0;
    params_.found = nullptr;
    type_map_.clear();
    entries_.clear();
    report_ = carve_report_s{};
}

void raw_recovery_c::run() {
    reset();
    params_.context = this;
    params_.found = carve_found;
    carve_scan_with_report(&params_, volume_path_.c_str(), &report_);
}

void raw_recovery_c::carve_found(void* context, const char* type_name, int64_t offset, uint64_t length) {
    auto* engine = static_cast<raw_recovery_c*>(context);
    carved_entry_s entry;
    entry.ordinal = engine->entries_.size();
    entry.offset = offset;
    entry.length = length;
    for (size_t i = 0; i < entry.type.size() && type_name[i]; ++i) entry.type[i] = type_name[i];
    engine->entries_.push_back(entry);
    engine->type_map_.append(type_name, entry.ordinal);
}

QString raw_recovery_c::row_name(const carved_entry_s& entry) {
    return QString::asprintf("%08llu.%.8s", static_cast<unsigned long long>(entry.ordinal), entry.type.data());
}

int raw_recovery_c::extract(uint64_t id, const QString& target_path) {
    std::lock_guard guard(extract_lock_);
    uint32_t index = static_cast<uint32_t>(id);
    if (index >= entries_.size()) return -1;
    const carved_entry_s entry = entries_[index];
    if (entry.offset < 0) return -1;
    carve_handle volume = carve_open(volume_path_.c_str());
    if (!volume) return -1;
    // Read from the sector that holds the first byte and drop what precedes the file in it.
    const int64_t position = entry.offset / 512 * 512;
    size_t skip = static_cast<size_t>(entry.offset - position);
    if (carve_seek(volume, position, 0) < 0) {
        carve_close(volume);
        return -1;
    }
    target_file_c target(target_path);
    if (!target.is_open()) {
        carve_close(volume);
        return -1;
    }
    std::vector<char> buffer(8192);
    uint64_t remaining = entry.length;
    while (remaining > 0) {
        int n = carve_read(volume, buffer.data(), static_cast<int>(buffer.size()));
        if (n <= 0) break;
        size_t usable = static_cast<size_t>(n);
        size_t from = std::min(skip, usable);
        skip -= from;
        size_t take = static_cast<size_t>(std::min<uint64_t>(usable - from, remaining));
        if (take && !target.write(buffer.data() + from, take)) break;
        remaining -= take;
    }
    carve_close(volume);
    // A copy that ended early (a read error, the end of the volume) is no success.
    bool closed = target.close();
    return closed && remaining == 0 ? 0 : -1;
}
