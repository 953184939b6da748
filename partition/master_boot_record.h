#pragma once
// Sector 0 as the partition table rewrite writes it: our boot code, the disk signature kept,
// four partition table slots and the boot signature.
#include <QList>
#include <array>
#include <cstdint>
#include <span>

#include "partition/partition_item.h"

constexpr size_t mbr_sector_bytes = 512;
constexpr size_t mbr_boot_code_bytes = 440;
constexpr size_t mbr_table_offset = 446;
constexpr size_t mbr_slot_bytes = 16;
constexpr size_t mbr_slot_count = 4;

using mbr_sector = std::array<uint8_t, mbr_sector_bytes>;
using chs_triple_s = std::array<uint8_t, 3>;  // head, sector with cylinder bits 8-9, cylinder bits 0-7

// Sectors at or beyond 2^31 get the conventional maximum triple.
constexpr chs_triple_s chs_beyond_reach = {0xFE, 0xFF, 0xFF};

// The CHS triple of a sector for the drive's heads (tracks per cylinder) and sectors per
// track; cylinders above 1023 wrap. Both geometry values must be non-zero.
chs_triple_s chs_triple(uint64_t sector, uint32_t heads, uint32_t sectors_per_track);

// The list entries that reach the table: the first four.
QList<partition_item_s> partitions_to_write(const QList<partition_item_s>& found);

// Sector 0 built from the old one: boot code over bytes 0-439, bytes 440-445 kept, slot 1
// (active) to slot 4 from the partitions given (at most four), 0x55AA. A slot left without a
// partition keeps the old sector's entry, made inactive, when that entry describes a non-empty
// partition inside the drive that overlaps none written; else it is written empty.
mbr_sector compose_master_boot_record(std::span<const uint8_t, mbr_sector_bytes> old_sector,
                                      const QList<partition_item_s>& partitions, uint32_t heads,
                                      uint32_t sectors_per_track, uint64_t drive_sectors);
