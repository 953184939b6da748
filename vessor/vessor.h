#pragma once
// The NTFS access library: scans an NTFS volume's master file table record by record and
// writes a file's data back out. Four C calls, a context block the caller owns and a fixed
// record layout; the byte offsets below are what callers may read.
//
//   uint8_t context[vessor::context_size] = {};
//   if (ntfs_scan_startup("/dev/hda1", context) < 0) ...;        // disk 0, partition 1
//   uint8_t record[vessor::record_size] = {};
//   while (ntfs_scan_next(context, record)) { ...; std::memset(record, 0, sizeof record); }
//   ntfs_recover_file(context, number, "/target/file", &detail);  // 0 = every byte written
//   ntfs_scan_cleanup(context);
//
// A context stays open until ntfs_scan_cleanup (or a new ntfs_scan_startup on the same block).
// Calls on one context are serialised inside the library.
#include <cstddef>
#include <cstdint>
#include <cstring>

#define VESSOR_API __attribute__((visibility("default")))

extern "C" {

// Opens the volume "/dev/hd%c%d" (disk letter 'a' + disk number, partition number, 0 = whole
// disk), reads its boot sector and the $MFT's own record, and fills the context block.
// 0 on success, a negative vessor::result_e on failure (the block's first word then stays 0).
VESSOR_API int ntfs_scan_startup(const char* device_name, void* context);

// Writes the next base record that carries a name into the 576-byte buffer: 1 when one was
// written, 0 when the table is done (or the context is not open).
VESSOR_API int ntfs_scan_next(void* context, void* record);

// Closes the context and zeroes the block: 0, or -1 when the block holds no open context.
VESSOR_API int ntfs_scan_cleanup(void* context);

// Writes the unnamed data stream of a record into a new file at target_path (UTF-8; an existing
// file is replaced, a symbolic link at that path is not followed). 0 only when exactly the
// stream's size was written and the file closed cleanly; else a negative vessor::result_e, and
// a file already begun stays as far as it got. *detail (when not null) receives the same value.
VESSOR_API int ntfs_recover_file(void* context, uint64_t record_number, const char* target_path, uint32_t* detail);

}  // extern "C"

namespace vessor {

enum result_e : int {
    result_ok = 0,
    error_argument = -1,       // null pointer, or the context block holds no open context
    error_device = -2,         // device name not understood, no such volume, or it cannot be opened
    error_not_ntfs = -3,       // no NTFS boot sector, or its geometry is out of range
    error_table = -4,          // the $MFT's own record or run list cannot be used
    error_read = -5,           // the device failed a read
    error_no_record = -6,      // record number outside the table, or not a readable base record
    error_no_data = -7,        // the record has no unnamed data stream (a folder)
    error_encrypted = -8,      // encrypted data cannot be recovered as it is
    error_runs = -9,           // run list damaged, outside the volume, or short of the data size
    error_compression = -10,   // compressed data that does not decompress
    error_target = -11,        // the target file cannot be created or written
    error_internal = -12,      // out of memory and the like
};

// The context block.
constexpr size_t context_size = 8248;
constexpr size_t context_open_offset = 0;        // 32-bit, non-zero while a context is open
constexpr size_t context_total_offset = 8;       // signed 64-bit: records in the table
constexpr size_t context_counter_a_offset = 8224;  // 32-bit: groups of 8 records before the current block
constexpr size_t context_counter_b_offset = 8228;  // 32-bit: groups of 8 records done inside the block
constexpr size_t context_counter_c_offset = 8232;  // 32-bit: records done beyond those groups

// One scanned record.
constexpr size_t record_size = 576;
constexpr size_t record_number_offset = 0;    // unsigned 64-bit
constexpr size_t record_parent_offset = 8;    // unsigned 64-bit, low 48 bits of the parent reference
constexpr size_t record_data_size_offset = 16;  // unsigned 64-bit, size of the unnamed $DATA (0 for folders)
constexpr size_t record_time_b_offset = 24;   // signed 64-bit, creation, seconds since 1970
constexpr size_t record_access_offset = 32;   // signed 64-bit, last access, seconds since 1970
constexpr size_t record_time_a_offset = 40;   // signed 64-bit, last modification, seconds since 1970
constexpr size_t record_flags_offset = 48;    // 32-bit, below
constexpr size_t record_attributes_offset = 52;  // 32-bit, the Windows file attribute bits
constexpr size_t record_name_offset = 56;     // UTF-16LE, NUL-terminated
constexpr size_t record_name_units = 260;     // including the NUL

constexpr uint32_t flag_folder = 0x01;
constexpr uint32_t flag_file = 0x02;
constexpr uint32_t flag_deleted = 0x80;  // the record is not in use

namespace layout {
inline uint32_t u32(const void* block, size_t offset) {
    uint8_t b[4];
    std::memcpy(b, static_cast<const uint8_t*>(block) + offset, 4);
    return b[0] | (b[1] << 8) | (b[2] << 16) | (static_cast<uint32_t>(b[3]) << 24);
}
inline uint64_t u64(const void* block, size_t offset) {
    return u32(block, offset) | (static_cast<uint64_t>(u32(block, offset + 4)) << 32);
}
}  // namespace layout

// Readers of the context block at any alignment.
inline bool context_is_open(const void* context) { return layout::u32(context, context_open_offset) != 0; }
inline int64_t context_total(const void* context) {
    return static_cast<int64_t>(layout::u64(context, context_total_offset));
}
// The scan position as the engine computes it: counter c + 8 x (counter a + counter b).
inline int32_t context_position(const void* context) {
    uint32_t a = layout::u32(context, context_counter_a_offset), b = layout::u32(context, context_counter_b_offset);
    uint32_t c = layout::u32(context, context_counter_c_offset);
    return static_cast<int32_t>(c + 8u * (a + b));
}

}  // namespace vessor
