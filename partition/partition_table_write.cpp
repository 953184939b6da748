#include "partition/partition_table_write.h"

#include <algorithm>
#include <memory>

#include "partition/gpt_header.h"
#include "partition/master_boot_record.h"
#include "platform/byte_reader.h"

namespace {

constexpr uint64_t sector_bytes = 512;
constexpr uint64_t max_32_bit = 0xFFFFFFFFu;

struct aligned_free_s {
    void operator()(void* buffer) const { platform::aligned_free(buffer); }
};

table_write_result_s fail(table_write_e code, std::string detail = {}) {
    return {code, std::move(detail)};
}

bool fits_table(const partition_item_s& partition) {
    return partition.end_sector >= partition.start_sector && partition.start_sector <= max_32_bit &&
           partition.end_sector - partition.start_sector < max_32_bit;
}

}  // namespace

QString table_write_message(const table_write_result_s& result) {
    QString text;
    switch (result.code) {
    case table_write_e::written: text = "The partition table was written to sector 0."; break;
    case table_write_e::no_drive: text = "No drive has been chosen."; break;
    case table_write_e::search_running: text = "The search is still running."; break;
    case table_write_e::not_searched: text = "The drive has not been searched, or could not be opened."; break;
    case table_write_e::nothing_to_write:
        text = "No partition was found: nothing written (the boot code alone would replace a working boot loader).";
        break;
    case table_write_e::starts_at_sector_zero:
        text = "A partition starts at sector 0 (a disk formatted whole): writing would overwrite its boot sector.";
        break;
    case table_write_e::beyond_32_bits:
        text = "A partition lies beyond what a master boot record can hold (start or size of 2^32 sectors or more).";
        break;
    case table_write_e::no_geometry: text = "The drive's geometry is unknown."; break;
    case table_write_e::open_failed: text = "The drive cannot be opened for writing"; break;
    case table_write_e::sector_size: text = "Only drives of 512-byte sectors can be repaired."; break;
    case table_write_e::drive_changed:
        text = "The drive is no longer the one that was searched (another disk, or its size changed).";
        break;
    case table_write_e::read_failed: text = "The drive's first sectors cannot be read"; break;
    case table_write_e::gpt_disk:
        text = "The drive has a valid GPT partition table: it is not lost, and an MBR would hide it.";
        break;
    case table_write_e::write_failed: text = "Writing sector 0 failed"; break;
    case table_write_e::flush_failed: text = "Sector 0 could not be flushed to the disk"; break;
    }
    if (!result.detail.empty()) text += QStringLiteral(": ") + QString::fromStdString(result.detail) + ".";
    else if (!text.endsWith('.')) text += '.';
    return text;
}

table_write_result_s check_table_plan(const drive_item_s& drive, const QList<partition_item_s>& found) {
    if (drive.drive_path.isEmpty() || !drive.geometry) return fail(table_write_e::no_drive);
    if (drive.geometry->tracks_per_cylinder == 0 || drive.geometry->sectors_per_track == 0)
        return fail(table_write_e::no_geometry);
    const QList<partition_item_s> written = partitions_to_write(found);
    if (written.isEmpty()) return fail(table_write_e::nothing_to_write);
    for (const auto& partition : written) {
        if (partition.start_sector == 0) return fail(table_write_e::starts_at_sector_zero);
        if (!fits_table(partition)) return fail(table_write_e::beyond_32_bits);
    }
    return {};
}

table_write_result_s rewrite_partition_table(const drive_item_s& drive,
                                             const platform::device_identity_s& searched_identity,
                                             const QList<partition_item_s>& found) {
    if (auto plan = check_table_plan(drive, found); !plan.ok()) return plan;
    auto device = platform::device_open(drive.drive_path.toStdString(),
                                        platform::access_read | platform::access_write,
                                        platform::open_no_buffering);
    if (!device) return fail(table_write_e::open_failed, platform::last_error());
    if (platform::device_sector_size(device) != sector_bytes) return fail(table_write_e::sector_size);
    if (!(platform::device_identity(device) == searched_identity)) return fail(table_write_e::drive_changed);

    // Sectors 0 and 1: the old table with its disk signature, and a GPT header if there is one.
    std::unique_ptr<uint8_t, aligned_free_s> buffer(
        static_cast<uint8_t*>(platform::aligned_alloc_buffer(2 * sector_bytes)));
    if (!buffer) return fail(table_write_e::read_failed, "out of memory");
    int64_t n = platform::device_read(device, buffer.get(), 2 * sector_bytes, 0);
    if (n != static_cast<int64_t>(2 * sector_bytes))
        return fail(table_write_e::read_failed, n < 0 ? platform::last_error() : "the drive is too short");
    if (is_valid_gpt_header(platform::byte_reader(buffer.get() + sector_bytes, sector_bytes)))
        return fail(table_write_e::gpt_disk);

    const uint64_t drive_sectors = platform::device_size(device) / sector_bytes;
    mbr_sector sector = compose_master_boot_record(std::span<const uint8_t, mbr_sector_bytes>(buffer.get(), mbr_sector_bytes),
                                                   found, drive.geometry->tracks_per_cylinder,
                                                   drive.geometry->sectors_per_track, drive_sectors);
    std::copy(sector.begin(), sector.end(), buffer.get());
    if (platform::device_write(device, buffer.get(), sector_bytes, 0) != static_cast<int64_t>(sector_bytes))
        return fail(table_write_e::write_failed, platform::last_error());
    if (!platform::device_flush(device)) return fail(table_write_e::flush_failed, platform::last_error());
    return {};
}
