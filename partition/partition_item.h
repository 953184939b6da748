#pragma once
// One partition found by the lost-partition search.
#include <QMetaType>
#include <QString>
#include <cstdint>

struct partition_item_s {
    QString file_system;          // "NTFS" or "FAT32"
    uint32_t partition_type = 0;  // table type byte: 7 NTFS, 0x0C FAT32 (LBA); low byte used
    uint64_t start_sector = 0;    // 512-byte sector holding the boot sector
    uint64_t end_sector = 0;      // last sector of the partition, inclusive
};
Q_DECLARE_METATYPE(partition_item_s)

// Registers the record under the name "partition_item_s" (idempotent).
void register_partition_item_type();
