#pragma once
// A read-only FAT12/16/32 reader over the sector device layer, made for recovery: directory
// listings include deleted entries (attribute bit 0x40), and a file can be read either along
// its cluster chain or as consecutive clusters from its first one (deleted files, whose chain
// has been cleared). Sectors are 512 bytes; names are UTF-16.
#include <cstdint>

// Result codes.
enum fat_result : uint8_t {
    fat_ok = 0,
    fat_disk_error = 1,        // sector read failed or FAT entry unreadable
    fat_internal_error = 2,    // cluster out of range, broken chain, file object in error state
    fat_not_ready = 3,         // the drive is not ready
    fat_no_file = 4,           // end of directory (inside the reader)
    fat_no_path = 5,           // the path does not name a directory
    fat_invalid_name = 6,      // not produced by this reader
    fat_denied = 7,            // file object not open for reading
    fat_exists = 8,            // not produced by this reader
    fat_invalid_object = 9,    // null object, unmounted volume or stale mount_id
    fat_write_protected = 10,  // not produced by this reader
    fat_invalid_drive = 11,    // volume number above 9
    fat_not_enabled = 12,      // no fat_volume registered for the volume number
    fat_no_file_system = 13,   // no valid FAT boot sector
    fat_aborted = 14,          // not produced by this reader
    fat_timeout = 15,          // not produced by this reader
    fat_locked = 16,           // not produced by this reader
    fat_not_enough_memory = 17,  // the long-name work buffer cannot be allocated
};

constexpr unsigned fat_volume_count = 10;
constexpr uint32_t fat_sector_size = 512;

// Entry bits handed back in fat_entry_info::attributes.
enum : uint8_t {
    fat_attribute_read_only = 0x01,
    fat_attribute_hidden = 0x02,
    fat_attribute_system = 0x04,
    fat_attribute_volume_label = 0x08,
    fat_attribute_directory = 0x10,
    fat_attribute_archive = 0x20,
    fat_attribute_deleted = 0x40,  // added by the reader: the entry began with 0xE5
};

// fat_file::flags bits.
enum : uint8_t {
    fat_file_open = 0x01,
    fat_file_error = 0x80,
};

enum : uint8_t { fat_type_none = 0, fat_type_fat12 = 1, fat_type_fat16 = 2, fat_type_fat32 = 3 };

// Where volume n lies: filled by the caller (from locate_volume) before it mounts.
struct fat_volume_table_entry {
    uint8_t drive = 0;          // physical drive number of the sector device layer
    uint8_t partition = 0;      // partition number on that drive, 0 = none
    uint32_t start_sector = 0;  // absolute sector where the volume starts
};
extern fat_volume_table_entry fat_volume_table[fat_volume_count];

struct fat_volume {
    uint8_t fs_type = fat_type_none;
    uint8_t drive = 0;
    uint8_t cluster_sectors = 0;
    uint8_t fat_count = 0;
    uint16_t mount_id = 0;
    uint16_t root_entries = 0;   // FAT12/16; 0 on FAT32
    uint32_t fat_entries = 0;    // clusters + 2: valid cluster numbers are 2 .. fat_entries - 1
    uint32_t fat_sectors = 0;
    uint32_t fat_start = 0;      // absolute sector of the first FAT
    uint32_t root_start = 0;     // FAT12/16: absolute sector of the root table; FAT32: its first cluster
    uint32_t data_start = 0;     // absolute sector of cluster 2
    uint32_t window_sector = 0;  // absolute sector held in window, 0 = none
    uint8_t window[fat_sector_size] = {};
};

struct fat_dir {
    fat_volume* volume = nullptr;
    uint16_t mount_id = 0;
    uint16_t index = 0;          // entry index within the directory
    uint32_t start_cluster = 0;  // 0 = the FAT12/16 root table (or the FAT32 root)
    uint32_t cluster = 0;        // current cluster
    uint32_t sector = 0;         // current absolute sector, 0 = end reached
    uint16_t entry = 0;          // byte offset of the current 32-byte entry in the volume's window
    char16_t* long_name = nullptr;    // work buffer of 256 units, only during a call
    uint16_t long_name_index = 0xFFFF;  // first entry of the current entry's long name, 0xFFFF = none
    uint16_t deleted = 0;        // 1 when the entry last returned began with 0xE5
};

constexpr unsigned fat_short_name_units = 13;
constexpr unsigned fat_long_name_units = 256;

struct fat_entry_info {
    uint32_t size = 0;
    uint32_t first_cluster = 0;
    uint16_t write_date = 0;   // FAT date: day bits 0-4, month bits 5-8, year - 1980 bits 9-15
    uint16_t write_time = 0;   // FAT time: seconds / 2 bits 0-4, minutes bits 5-10, hours bits 11-15
    uint16_t create_date = 0;
    uint16_t create_time = 0;
    uint8_t attributes = 0;    // entry byte 11, plus fat_attribute_deleted
    char16_t short_name[fat_short_name_units] = {};  // "NAME.EXT", empty at the end of the directory
    char16_t* long_name = nullptr;  // caller's buffer for the long name, may be null
    int32_t long_name_size = 0;     // its capacity in units
};

struct fat_file {
    fat_volume* volume = nullptr;
    uint16_t mount_id = 0;
    uint8_t flags = 0;
    uint32_t position = 0;
    uint32_t size = 0;
    uint32_t first_cluster = 0;
    uint32_t cluster = 0;
    uint32_t buffer_sector = 0;  // sector held in buffer, 0 = none
    uint8_t buffer[fat_sector_size] = {};
};

// Registers a volume object under a volume number; it is mounted by the next fat_open_dir.
uint8_t fat_register_volume(unsigned volume_number, fat_volume* volume);

// Mounts the volume if needed and opens its root directory. path: "/" with an optional volume
// prefix "0:" .. "9:" (volume 0 without one). Paths below the root give fat_no_path.
uint8_t fat_open_dir(fat_dir* dir, const char16_t* path);

// The next entry, live or deleted; at the end short_name is empty and the result fat_ok.
// With info null: rewinds to the first entry of start_cluster.
uint8_t fat_read_dir(fat_dir* dir, fat_entry_info* info);

// Reads up to byte_count bytes at file->position. contiguous: take the clusters following
// first_cluster instead of the chain in the FAT.
uint8_t fat_read_file(fat_file* file, void* destination, uint32_t byte_count, uint32_t* bytes_read,
                      bool contiguous);
