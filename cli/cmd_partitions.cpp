// tarnwell partitions DRIVE: the lost NTFS and FAT32 partitions of a drive, and with --write
// --yes the drive's master boot record rewritten to hold them.
#include <QJsonArray>
#include <QJsonObject>
#include <cstdio>

#include "cli/command.h"
#include "cli/interrupt.h"
#include "cli/output.h"
#include "cli/progress_bar.h"
#include "devices/drive_list.h"
#include "devices/volume_list.h"
#include "partition/partition_repair.h"
#include "platform/disks.h"

namespace {

bool choose_drive(const std::string& argument, drive_item_s& drive, std::string& error) {
    enumerate_drives();
    const auto& drives = drive_list();
    bool ok = !argument.empty() && argument.size() < 4 &&
              argument.find_first_not_of("0123456789") == std::string::npos;
    long index = ok ? std::stol(argument) : 0;
    if (!ok || index < 1 || index >= drives.size()) {
        error = "no drive " + argument + " (see tarnwell drives)";
        return false;
    }
    drive = drives[index];
    return true;
}

uint64_t size_bytes(const partition_item_s& partition) {
    return (partition.end_sector - partition.start_sector + 1) * 512;
}

void print_partitions(const QList<partition_item_s>& found, const drive_item_s& drive, const std::string& device,
                      uint64_t unreadable, bool json) {
    if (json) {
        QJsonArray list;
        for (const auto& p : found) {
            QJsonObject object;
            object["file_system"] = p.file_system;
            object["partition_type"] = static_cast<int>(p.partition_type);
            object["start_sector"] = static_cast<qint64>(p.start_sector);
            object["end_sector"] = static_cast<qint64>(p.end_sector);
            object["size_bytes"] = static_cast<qint64>(size_bytes(p));
            list.append(object);
        }
        QJsonObject result;
        result["drive_path"] = drive.drive_path;
        result["device"] = QString::fromStdString(device);
        result["unreadable_blocks"] = static_cast<qint64>(unreadable);
        result["partitions"] = list;
        print_json(result);
        return;
    }
    text_table table({"#", "File system", "Type", "Start sector", "End sector", "Size"});
    int n = 0;
    for (const auto& p : found)
        table.add_row({QString::number(++n), p.file_system, QString::asprintf("0x%02X", p.partition_type & 0xFF),
                       QString::number(p.start_sector), QString::number(p.end_sector), format_size(size_bytes(p))});
    table.print();
    std::printf("%d partitions found on %s (%s)", n, device.c_str(), drive.drive_path.toLocal8Bit().constData());
    if (unreadable) std::printf("; %llu unreadable blocks skipped", static_cast<unsigned long long>(unreadable));
    std::printf("\n");
}

}  // namespace

int run_partitions_command(const arguments_s& arguments) {
    if (arguments.positional.size() != 1) return fail(exit_usage, "expected one DRIVE argument");
    drive_item_s drive;
    std::string error;
    if (!choose_drive(arguments.positional[0], drive, error)) return fail(exit_usage, error);
    const std::string device = platform::physical_drive_backing(drive.drive_path.toStdString());
    const bool write = arguments.flag("--write");
    if (arguments.flag("--yes") && !write) return fail(exit_usage, "--yes goes with --write");
    if (write && !arguments.flag("--yes"))
        return fail(exit_usage, "--write rewrites sector 0 (the partition table and boot code) of " + device +
                                    " from the partitions found; add --yes to do it");

    register_partition_item_type();
    install_interrupt_handler();
    partition_repair_c search;
    if (!search.start_search(drive)) return fail(exit_failed, "the search could not start");
    progress_bar_c bar("Searching");
    while (!search.wait(100)) {
        if (interrupted()) search.request_stop();
        bar.update(search.progress(), std::to_string(search.partitions().size()) + " found");
    }
    bar.finish();
    if (!search.last_outcome().opened) return fail(exit_failed, "cannot read " + device);
    print_partitions(search.partitions(), drive, device, search.unreadable_blocks(), arguments.flag("--json"));
    if (interrupted()) return fail(exit_interrupted, "interrupted; nothing written");
    if (!write) return exit_ok;

    std::fprintf(stderr, "tarnwell: writing the partition table of %s (%s)\n", device.c_str(),
                 drive.drive_path.toLocal8Bit().constData());
    if (search.write_partition_table() != 0)
        return fail(exit_failed, table_write_message(search.last_write_result()).toStdString());
    std::fprintf(stderr, "tarnwell: %s\n", table_write_message(search.last_write_result()).toLocal8Bit().constData());
    return exit_ok;
}
