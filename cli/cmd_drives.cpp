// tarnwell drives: the drive list, with the device or image each drive stands for.
#include <QJsonArray>
#include <QJsonObject>

#include "cli/command.h"
#include "cli/output.h"
#include "devices/drive_list.h"
#include "devices/volume_list.h"
#include "platform/disks.h"

int run_drives(const arguments_s& arguments) {
    enumerate_drives();
    const auto& drives = drive_list();
    if (arguments.flag("--json")) {
        QJsonArray array;
        for (qsizetype i = 1; i < drives.size(); ++i) {
            const auto& drive = drives[i];
            QJsonObject object;
            object["index"] = static_cast<qint64>(i);
            object["drive_path"] = drive.drive_path;
            object["device"] = QString::fromStdString(platform::physical_drive_backing(drive.drive_path.toStdString()));
            object["size_bytes"] = static_cast<qint64>(drive.size_bytes);
            object["cylinders"] = static_cast<qint64>(drive.geometry->cylinders);
            object["tracks_per_cylinder"] = static_cast<qint64>(drive.geometry->tracks_per_cylinder);
            object["sectors_per_track"] = static_cast<qint64>(drive.geometry->sectors_per_track);
            object["bytes_per_sector"] = static_cast<qint64>(drive.geometry->bytes_per_sector);
            array.append(object);
        }
        print_json(array);
        return exit_ok;
    }
    text_table table({"#", "Drive", "Device", "Size", "Cylinders", "Heads", "Sectors", "Sector size"});
    for (qsizetype i = 1; i < drives.size(); ++i) {
        const auto& drive = drives[i];
        table.add_row({QString::number(i), drive.drive_path,
                       QString::fromStdString(platform::physical_drive_backing(drive.drive_path.toStdString())),
                       format_size(drive.size_bytes), QString::number(drive.geometry->cylinders),
                       QString::number(drive.geometry->tracks_per_cylinder),
                       QString::number(drive.geometry->sectors_per_track),
                       QString::number(drive.geometry->bytes_per_sector)});
    }
    table.print();
    return exit_ok;
}
