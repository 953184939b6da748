#pragma once
// One open scan: the volume, its table, the block of records being handed out, and the
// position counters it keeps in the caller's context block.
#include <cstdint>
#include <mutex>
#include <vector>

#include "vessor/table_reader.h"
#include "vessor/volume_source.h"

namespace vessor {

class scan_session_c {
public:
    // 0, or a negative result code. Fills the context block's public fields.
    int start(const char* device_name, uint8_t* context);
    // Writes the next named base record into the 576-byte buffer; false when the table is done.
    bool next(uint8_t* record, uint8_t* context);
    int recover(uint64_t record_number, const char* target_path);

    std::mutex& mutex() { return mutex_; }

private:
    bool load_block(uint64_t first);
    // The record's bytes, fixed up, or null when it cannot be used.
    uint8_t* record_in_block(uint64_t number);
    void set_position(uint8_t* context, uint64_t position) const;

    std::mutex mutex_;
    volume_source_c volume_;
    table_reader_c table_;
    uint64_t records_per_block_ = 1;
    std::vector<uint8_t> block_;
    std::vector<uint8_t> usable_;  // per record of the block: 1 readable and fixed up
    uint64_t block_first_ = 0;
    uint64_t block_count_ = 0;
    uint64_t next_record_ = 0;
    record_summary_s summary_;                // kept between records for their storage
    std::vector<attribute_s> attributes_;
};

// The 576-byte record of a summary.
void write_scan_record(const record_summary_s& summary, uint8_t* record);

}  // namespace vessor
