#include "partition/master_boot_record.h"

#include <algorithm>
#include <cstring>

#include "partition/boot_code.h"
#include "platform/byte_reader.h"

namespace {

constexpr uint8_t status_active = 0x80;
constexpr uint8_t status_inactive = 0x00;

struct sector_range_s {
    uint64_t first = 0;
    uint64_t last = 0;  // inclusive
};

bool overlaps(const sector_range_s& a, const sector_range_s& b) {
    return a.first <= b.last && b.first <= a.last;
}

void put_chs(uint8_t* destination, uint64_t sector, uint32_t heads, uint32_t sectors_per_track) {
    chs_triple_s triple = chs_triple(sector, heads, sectors_per_track);
    std::copy(triple.begin(), triple.end(), destination);
}

void put_slot(uint8_t* slot, uint8_t status, const partition_item_s& partition, uint32_t heads,
              uint32_t sectors_per_track) {
    slot[0] = status;
    put_chs(slot + 1, partition.start_sector, heads, sectors_per_track);
    slot[4] = static_cast<uint8_t>(partition.partition_type & 0xFF);
    put_chs(slot + 5, partition.end_sector, heads, sectors_per_track);
    platform::put_le(slot + 8, partition.start_sector & 0xFFFFFFFFu, 4);
    platform::put_le(slot + 12, (partition.end_sector - partition.start_sector + 1) & 0xFFFFFFFFu, 4);
}

// An old entry worth keeping: a partition of some type, of non-zero size, lying inside the
// drive behind sector 0, clear of every partition written.
bool keep_old_slot(platform::byte_reader old_slot, const QList<partition_item_s>& written,
                   uint64_t drive_sectors) {
    uint8_t type = old_slot.u8(4);
    uint64_t start = old_slot.u32(8);
    uint64_t count = old_slot.u32(12);
    if (type == 0 || count == 0 || start == 0 || start + count > drive_sectors) return false;
    sector_range_s old_range{start, start + count - 1};
    return std::none_of(written.begin(), written.end(), [&](const partition_item_s& partition) {
        return overlaps(old_range, {partition.start_sector, partition.end_sector});
    });
}

}  // namespace

chs_triple_s chs_triple(uint64_t sector, uint32_t heads, uint32_t sectors_per_track) {
    if (sector >= (uint64_t{1} << 31) || heads == 0 || sectors_per_track == 0) return chs_beyond_reach;
    uint64_t track = sector / sectors_per_track;
    uint64_t sector_in_track = sector % sectors_per_track + 1;
    uint64_t head = track % heads;
    uint64_t cylinder = track / heads;
    return {static_cast<uint8_t>(head & 0xFF),
            static_cast<uint8_t>((sector_in_track & 0x3F) | ((cylinder >> 2) & 0xC0)),
            static_cast<uint8_t>(cylinder & 0xFF)};
}

QList<partition_item_s> partitions_to_write(const QList<partition_item_s>& found) {
    return found.mid(0, static_cast<qsizetype>(mbr_slot_count));
}

mbr_sector compose_master_boot_record(std::span<const uint8_t, mbr_sector_bytes> old_sector,
                                      const QList<partition_item_s>& partitions, uint32_t heads,
                                      uint32_t sectors_per_track, uint64_t drive_sectors) {
    mbr_sector sector{};
    std::copy(old_sector.begin(), old_sector.end(), sector.begin());
    const auto& code = boot_code();
    std::copy(code.begin(), code.end(), sector.begin());

    const platform::byte_reader old(old_sector);
    const bool old_table_valid = old.u8(510) == 0x55 && old.u8(511) == 0xAA;
    const QList<partition_item_s> written = partitions_to_write(partitions);
    for (size_t k = 0; k < mbr_slot_count; ++k) {
        uint8_t* slot = sector.data() + mbr_table_offset + k * mbr_slot_bytes;
        if (k < static_cast<size_t>(written.size())) {
            put_slot(slot, k == 0 ? status_active : status_inactive, written[static_cast<qsizetype>(k)], heads,
                     sectors_per_track);
        } else if (old_table_valid &&
                   keep_old_slot(old.sub(mbr_table_offset + k * mbr_slot_bytes, mbr_slot_bytes), written,
                                 drive_sectors)) {
            slot[0] = status_inactive;  // two active entries make loaders refuse the table
        } else {
            std::memset(slot, 0, mbr_slot_bytes);
        }
    }
    sector[510] = 0x55;
    sector[511] = 0xAA;
    return sector;
}
