// Directories: rewind, step, the read that returns live and deleted entries, and the two calls
// fat_open_dir and fat_read_dir.
#include <algorithm>
#include <memory>
#include <new>

#include "disk/fat_internal.h"
#include "disk/fat_long_name.h"

using namespace fat_detail;

namespace {

constexpr unsigned entry_size = 32;
constexpr unsigned entries_per_sector = fat_sector_size / entry_size;

uint8_t rewind_dir(fat_dir& dir) {
    const fat_volume& volume = *dir.volume;
    dir.index = 0;
    uint32_t start = dir.start_cluster;
    if (start == 1 || start >= volume.fat_entries) return fat_internal_error;
    if (volume.fs_type == fat_type_fat32 && start == 0) start = volume.root_start;
    if (start == 0) {
        if (volume.root_entries == 0) return fat_internal_error;
        dir.cluster = 0;
        dir.sector = volume.root_start;
    } else {
        dir.cluster = start;
        dir.sector = cluster_sector(volume, start);
    }
    dir.entry = 0;
    return fat_ok;
}

// Moves to the next cluster of the directory's chain at a cluster boundary.
uint8_t step_to_next_cluster(fat_dir& dir) {
    fat_volume& volume = *dir.volume;
    uint32_t next = next_cluster(volume, dir.cluster);
    if (next == fat_entry_unreadable) return fat_disk_error;
    if (next <= 1) return fat_internal_error;
    if (next >= volume.fat_entries) return fat_no_file;  // end of chain
    dir.cluster = next;
    dir.sector = cluster_sector(volume, next);
    return fat_ok;
}

// Moves to the next 32-byte entry; fat_no_file at the end of the directory.
uint8_t step_dir(fat_dir& dir) {
    uint16_t next = static_cast<uint16_t>(dir.index + 1);
    if (next == 0 || dir.sector == 0) return fat_no_file;
    if (next % entries_per_sector == 0) {
        ++dir.sector;
        if (dir.cluster == 0) {
            if (next >= dir.volume->root_entries) return fat_no_file;
        } else if ((next / entries_per_sector) % dir.volume->cluster_sectors == 0) {
            if (uint8_t result = step_to_next_cluster(dir)) {
                // Past a broken chain there is nothing of this directory left to read.
                dir.sector = 0;
                return result;
            }
        }
    }
    dir.index = next;
    dir.entry = static_cast<uint16_t>((next % entries_per_sector) * entry_size);
    return fat_ok;
}

platform::byte_reader current_entry(const fat_dir& dir) {
    return window_bytes(*dir.volume).sub(dir.entry, entry_size);
}

// What to do with an entry on the way to the next one to return.
enum class entry_kind { skip, long_name_part, returned };

entry_kind classify_entry(fat_dir& dir, platform::byte_reader entry) {
    uint8_t first_byte = entry.u8(0);
    uint8_t attributes = entry.u8(11) & 0x7F;
    dir.deleted = 0;
    if (first_byte == 0xE5) {
        dir.deleted = 1;  // examined like a live entry
    } else if (first_byte == '.') {
        return entry_kind::skip;  // "." and ".."
    }
    if ((attributes & fat_attribute_volume_label) && attributes != 0x0F) return entry_kind::skip;
    if (attributes == 0x0F) return entry_kind::long_name_part;
    return entry_kind::returned;
}

// Finds the next entry to return and leaves the directory on it; fat_no_file at the end.
uint8_t read_entry(fat_dir& dir) {
    long_name_state_s state;
    for (;;) {
        if (dir.sector == 0) return fat_no_file;
        if (!load_window(*dir.volume, dir.sector)) {
            dir.sector = 0;
            return fat_disk_error;
        }
        platform::byte_reader entry = current_entry(dir);
        if (entry.u8(0) == 0) {
            dir.sector = 0;
            return fat_no_file;
        }
        entry_kind kind = classify_entry(dir, entry);
        if (kind == entry_kind::returned) {
            bool owns_long_name = state.ord == 0 && state.checksum == short_name_checksum(entry);
            if (!owns_long_name) dir.long_name_index = 0xFFFF;
            return fat_ok;
        }
        if (kind == entry_kind::long_name_part) {
            take_long_name_entry(dir, entry, state);
        } else {
            state.ord = 0xFF;
        }
        if (uint8_t result = step_dir(dir)) {
            if (result == fat_no_file) dir.sector = 0;
            return result;
        }
    }
}

void copy_long_name(const fat_dir& dir, fat_entry_info& info) {
    if (!info.long_name || info.long_name_size <= 0) return;
    info.long_name[0] = 0;
    if (dir.long_name_index == 0xFFFF) return;
    const char16_t* end = std::find(dir.long_name, dir.long_name + fat_long_name_units, u'\0');
    size_t length = static_cast<size_t>(end - dir.long_name);
    // A name that does not fit is returned empty rather than cut.
    if (end == dir.long_name + fat_long_name_units || length > static_cast<size_t>(info.long_name_size) - 1) return;
    std::copy(static_cast<const char16_t*>(dir.long_name), end, info.long_name);
    info.long_name[length] = 0;
}

void fill_info(const fat_dir& dir, fat_entry_info& info) {
    info.short_name[0] = 0;
    if (info.long_name && info.long_name_size > 0) info.long_name[0] = 0;
    info.size = info.first_cluster = 0;
    info.write_date = info.write_time = info.create_date = info.create_time = 0;
    info.attributes = 0;
    if (dir.sector == 0) return;

    platform::byte_reader entry = current_entry(dir);
    decode_short_name(entry, info.short_name);
    info.size = entry.u32(28);
    info.first_cluster = entry.u16(26);
    if (dir.volume->fs_type == fat_type_fat32) info.first_cluster |= uint32_t{entry.u16(20)} << 16;
    info.write_date = entry.u16(24);
    info.write_time = entry.u16(22);
    info.create_date = entry.u16(16);
    info.create_time = entry.u16(14);
    info.attributes = static_cast<uint8_t>(entry.u8(11) | (dir.deleted ? fat_attribute_deleted : 0));
    copy_long_name(dir, info);
}

// The long-name work buffer, allocated per call; null when memory is short.
std::unique_ptr<char16_t[]> allocate_long_name() {
    return std::unique_ptr<char16_t[]>(new (std::nothrow) char16_t[fat_long_name_units]());
}

// The volume number of a path's "N:" prefix (0 without one), and the rest of the path.
uint8_t split_volume_prefix(const char16_t*& path, unsigned& volume_number) {
    volume_number = 0;
    const char16_t* colon = path;
    while (*colon && *colon != u':' && *colon != u'/' && *colon != u'\\') ++colon;
    if (*colon != u':') return fat_ok;
    if (colon == path) return fat_invalid_drive;
    unsigned number = 0;
    for (const char16_t* p = path; p != colon; ++p) {
        if (*p < u'0' || *p > u'9') return fat_invalid_drive;
        number = std::min(number * 10 + (*p - u'0'), fat_volume_count);
    }
    volume_number = number;
    path = colon + 1;
    return fat_ok;
}

uint8_t open_root(fat_dir& dir, const char16_t* path) {
    unsigned volume_number = 0;
    if (!path) return fat_no_path;
    if (uint8_t result = split_volume_prefix(path, volume_number)) return result;
    fat_volume* volume = nullptr;
    if (uint8_t result = mount_volume(volume_number, volume)) return result;
    std::unique_ptr<char16_t[]> long_name = allocate_long_name();
    if (!long_name) return fat_not_enough_memory;
    if (*path == u'/' || *path == u'\\') ++path;
    // Only the root is ever opened; paths below it are not resolved.
    if (*path) return fat_no_path;
    dir.volume = volume;
    dir.start_cluster = 0;
    dir.mount_id = volume->mount_id;
    dir.long_name_index = 0xFFFF;
    dir.deleted = 0;
    uint8_t result = rewind_dir(dir);
    return result == fat_no_file ? static_cast<uint8_t>(fat_no_path) : result;
}

}  // namespace

uint8_t fat_open_dir(fat_dir* dir, const char16_t* path) {
    if (!dir) return fat_invalid_object;
    uint8_t result = open_root(*dir, path);
    if (result != fat_ok) dir->volume = nullptr;
    return result;
}

uint8_t fat_read_dir(fat_dir* dir, fat_entry_info* info) {
    if (!dir) return fat_invalid_object;
    if (uint8_t result = validate_object(dir->volume, dir->mount_id)) return result;
    if (!info) return rewind_dir(*dir);

    std::unique_ptr<char16_t[]> long_name = allocate_long_name();
    if (!long_name) return fat_not_enough_memory;
    dir->long_name = long_name.get();
    uint8_t result = read_entry(*dir);
    if (result == fat_ok || result == fat_no_file) {
        fill_info(*dir, *info);
        result = step_dir(*dir);
        if (result == fat_no_file) {
            dir->sector = 0;
            result = fat_ok;
        }
    }
    dir->long_name = nullptr;
    return result;
}
