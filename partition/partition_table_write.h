#pragma once
// The only write the program makes to a disk: sector 0 of a searched drive rewritten as a
// master boot record holding the partitions found. Every refusal writes nothing.
#include <QList>
#include <QString>
#include <string>

#include "devices/drive_list.h"
#include "partition/partition_item.h"
#include "platform/device.h"

enum class table_write_e {
    written,
    no_drive,               // no drive chosen (or the heading record)
    search_running,
    not_searched,           // no finished search whose drive could be opened
    nothing_to_write,       // empty list: the boot code alone would replace a working loader
    starts_at_sector_zero,  // a disk formatted whole: its boot sector would be overwritten
    beyond_32_bits,         // start or count does not fit the table's 32-bit fields
    no_geometry,
    open_failed,
    sector_size,            // only drives of 512-byte sectors
    drive_changed,          // what the path opens now is not what was searched
    read_failed,
    gpt_disk,               // sector 1 holds a valid GPT header
    write_failed,
    flush_failed,
};

struct table_write_result_s {
    table_write_e code = table_write_e::written;
    std::string detail;  // the system's reason for an I/O failure, else empty
    bool ok() const { return code == table_write_e::written; }
};

// One line for the user: what happened, or why nothing was written.
QString table_write_message(const table_write_result_s& result);

// The checks that need no disk access: something to write, nothing at sector 0, everything
// within 32 bits, a geometry to compute CHS values from.
table_write_result_s check_table_plan(const drive_item_s& drive, const QList<partition_item_s>& found);

// Reopens the drive for writing, checks that it is the one searched (identity) and carries no
// GPT, writes the new sector 0 and flushes it. Success only once the sector reached the disk.
table_write_result_s rewrite_partition_table(const drive_item_s& drive,
                                             const platform::device_identity_s& searched_identity,
                                             const QList<partition_item_s>& found);
