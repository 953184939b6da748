#include "engines/ntfs_recovery.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <unordered_set>

#include "platform/byte_reader.h"
#include "vessor/vessor.h"

namespace {

constexpr uint64_t reference_mask = (uint64_t{1} << 48) - 1;  // the parent without its sequence number

std::u16string record_name(const platform::byte_reader& raw) {
    std::u16string name;
    for (size_t i = 0; i + 1 < vessor::record_name_units; ++i) {
        char16_t unit = raw.u16(vessor::record_name_offset + 2 * i);
        if (unit == 0) break;
        name.push_back(unit);
    }
    return name;
}

}  // namespace

ntfs_recovery_c::ntfs_recovery_c(QObject* parent) : polled_engine_c(parent) {}

ntfs_recovery_c::~ntfs_recovery_c() {
    wait();
    if (vessor::context_is_open(context_.data())) ntfs_scan_cleanup(context_.data());
}

void ntfs_recovery_c::set_volume(const volume_item_s& volume) {
    volume_ = volume;
}

void ntfs_recovery_c::reset() {
    reset_state();
    records_ = record_table();
}

std::string ntfs_recovery_c::device_name(const volume_item_s& volume) {
    char name[32];
    std::snprintf(name, sizeof name, "/dev/hd%c%d", static_cast<char>('a' + volume.disk_number),
                  volume.partition_number);
    return name;
}

void ntfs_recovery_c::log_startup_failure(int result) {
    char message[128];
    std::snprintf(message, sizeof message, "[%s:%d] ntfs_scan_startup failed with return value (%d)\n",
                  "ntfs_recovery", 105, result);
    // Appended in the current folder, never through a symbolic link.
    int fd = ::open("Ostrel.log", O_WRONLY | O_CREAT | O_APPEND | O_NOFOLLOW | O_CLOEXEC, 0644);
    if (fd >= 0) {
        std::time_t now = std::time(nullptr);
        std::string when = std::ctime(&now);
        when = when.substr(0, when.find('\n'));
        std::string line = when + "  " + message;
        ssize_t written = ::write(fd, line.data(), line.size());
        (void)written;
        ::close(fd);
    }
    std::fprintf(stderr, "ERROR: %s", message);
    std::fflush(stderr);
}

void ntfs_recovery_c::run() {
    reset();
    const std::string device = device_name(volume_);
    if (vessor::context_is_open(context_.data())) {
        ntfs_scan_cleanup(context_.data());
        context_.fill(0);
    }
    int result = ntfs_scan_startup(device.c_str(), context_.data());
    if (result < 0) {
        log_startup_failure(result);
        return;
    }
    uint8_t raw[vessor::record_size];
    while (stop() == 0) {
        if (!wait_while_paused()) break;
        std::memset(raw, 0, sizeof raw);
        if (ntfs_scan_next(context_.data(), raw) == 0) break;
        int64_t total = vessor::context_total(context_.data());
        double position = vessor::context_position(context_.data());
        set_progress(total > 0 ? std::clamp(position / static_cast<double>(total), 0.0, 1.0) : 0.0);
        count_scanned();
        keep(raw);
    }
    link_children();
    mark_folders_holding_files();
}

void ntfs_recovery_c::keep(const uint8_t* raw) {
    platform::byte_reader bytes(raw, vessor::record_size);
    const uint32_t flags = bytes.u32(vessor::record_flags_offset);
    if ((flags & vessor::flag_file) && !(flags & vessor::flag_deleted)) return;  // live files are not kept
    auto record = std::make_unique<ntfs_record_s>();
    record->record_number = bytes.u64(vessor::record_number_offset);
    record->parent_number = bytes.u64(vessor::record_parent_offset) & reference_mask;
    record->size = bytes.u64(vessor::record_data_size_offset);
    record->time_b = static_cast<int64_t>(bytes.u64(vessor::record_time_b_offset));
    record->time_a = static_cast<int64_t>(bytes.u64(vessor::record_time_a_offset));
    record->flags = flags;
    record->name = record_name(bytes);
    count_found();
    records_[record->record_number] = std::move(record);
}

void ntfs_recovery_c::link_children() {
    std::vector<ntfs_record_s*> ordered;
    ordered.reserve(records_.size());
    for (auto& [number, record] : records_) ordered.push_back(record.get());
    std::sort(ordered.begin(), ordered.end(), [](const ntfs_record_s* a, const ntfs_record_s* b) {
        return a->record_number < b->record_number;
    });
    for (ntfs_record_s* record : ordered) {
        auto parent = records_.find(record->parent_number);
        if (parent != records_.end()) parent->second->children.push_back(record);
    }
}

void ntfs_recovery_c::mark_folders_holding_files() {
    for (auto& [number, record] : records_) {
        if (!(record->flags & vessor::flag_file)) continue;
        uint64_t parent_number = record->parent_number;
        for (;;) {
            auto parent = records_.find(parent_number);
            if (parent == records_.end() || parent->second->holds_files) break;
            parent->second->holds_files = 1;
            parent_number = parent->second->parent_number;
        }
    }
}

int ntfs_recovery_c::extract(uint64_t id, const QString& target_path) {
    std::lock_guard guard(extract_lock_);
    const QByteArray path = target_path.toLocal8Bit();
    ::unlink(path.constData());
    uint32_t scratch = 0;
    return ntfs_recover_file(context_.data(), id, path.constData(), &scratch);
}

int ntfs_recovery_c::full_path(uint64_t id, QString& out) {
    out = volume_.path;
    if (out.endsWith('/') || out.endsWith('\\')) out.chop(1);
    std::vector<const ntfs_record_s*> chain;
    std::unordered_set<uint64_t> seen;
    uint64_t number = id;
    for (;;) {
        auto it = records_.find(number);
        // A missing ancestor, or a parent chain that comes back on itself.
        if (it == records_.end() || !seen.insert(number).second) return -1;
        chain.push_back(it->second.get());
        if (it->second->parent_number == root_record) break;
        number = it->second->parent_number;
    }
    for (auto record = chain.rbegin(); record != chain.rend(); ++record)
        out += "\\" + QString::fromStdU16String((*record)->name);
    return 0;
}
