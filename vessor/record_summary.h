#pragma once
// What a base record says about its file: names, times, attribute bits and the unnamed data
// stream, gathered from the record and from the extension records its $ATTRIBUTE_LIST names.
#include <cstdint>
#include <string>
#include <vector>

#include "vessor/file_record.h"
#include "vessor/run_list.h"

namespace vessor {

struct file_name_s {
    uint64_t parent = 0;      // low 48 bits of the parent reference
    uint8_t name_space = 0;   // 0 POSIX, 1 Win32, 2 DOS, 3 Win32 and DOS
    std::u16string name;
};

struct data_stream_s {
    bool present = false;
    bool resident = false;
    std::vector<uint8_t> resident_bytes;
    uint64_t data_size = 0;
    uint64_t allocated_size = 0;
    uint64_t initialized_size = 0;
    uint16_t flags = 0;
    uint16_t compression_unit = 0;
    std::vector<extent_s> extents;  // only when runs were asked for
    bool runs_valid = true;         // every piece decoded and the pieces join without a gap
};

struct record_summary_s {
    uint64_t number = 0;
    record_header_s header;
    int64_t creation = 0;       // seconds since 1970
    int64_t modification = 0;
    int64_t access = 0;
    uint32_t file_attributes = 0;
    bool has_standard_information = false;
    std::vector<file_name_s> names;
    data_stream_s data;

    // Win32 (or Win32 and DOS) over POSIX over DOS; null when the record has no name.
    const file_name_s* preferred_name() const;
};

// Where extension records and non-resident attribute lists come from.
class record_source_i {
public:
    virtual ~record_source_i() = default;
    // A whole record, fixed up and checked to be a "FILE" record.
    virtual bool read_record(uint64_t number, std::vector<uint8_t>& record) const = 0;
    // A volume stream along its extents, holes as zeros; `size` bytes.
    virtual bool read_stream(const std::vector<extent_s>& extents, uint64_t size, std::vector<uint8_t>& out) const = 0;
};

// Summarises a fixed-up base record. With want_runs the data stream's extents are decoded
// too. False when the record's own attributes are malformed. A summary and attribute list kept
// by the caller from one record to the next keep their storage, so a scan allocates little.
bool summarise_record(uint64_t number, const platform::byte_reader& record, const record_source_i& source,
                      bool want_runs, record_summary_s& summary, std::vector<attribute_s>& attributes);

// Windows FILETIME (100 ns since 1601) as seconds since 1970.
int64_t unix_time(uint64_t filetime);

}  // namespace vessor
