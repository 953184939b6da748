#pragma once
// The master file table of a volume: located through the boot sector, mapped through $MFT's
// own run list (fragmented or not, continued through its $ATTRIBUTE_LIST), read in large
// blocks for a scan and record by record for extension records and recovery.
#include <cstdint>
#include <vector>

#include "vessor/boot_sector.h"
#include "vessor/record_summary.h"
#include "vessor/run_list.h"
#include "vessor/volume_source.h"

namespace vessor {

class table_reader_c : public record_source_i {
public:
    // 0, or a negative result code.
    int open(const volume_source_c* volume, const volume_geometry_s& geometry);

    uint64_t record_count() const { return records_; }
    const volume_geometry_s& geometry() const { return geometry_; }

    // Raw bytes of the records [first, first + count), without fix-ups; false on a read failure.
    bool read_raw(uint64_t first, uint64_t count, uint8_t* destination) const;

    bool read_record(uint64_t number, std::vector<uint8_t>& record) const override;
    bool read_stream(const std::vector<extent_s>& extents, uint64_t size, std::vector<uint8_t>& out) const override;

private:
    // Bytes [offset, offset + size) of a stream along its extents, holes as zeros.
    bool read_along(const std::vector<extent_s>& extents, uint64_t offset, uint64_t size, uint8_t* destination) const;
    int continue_from_attribute_list(const attribute_s& list);

    const volume_source_c* volume_ = nullptr;
    volume_geometry_s geometry_;
    std::vector<extent_s> extents_;
    uint64_t records_ = 0;
};

}  // namespace vessor
