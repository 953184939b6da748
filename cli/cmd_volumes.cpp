// tarnwell volumes: the volume list, without its heading record.
#include <QJsonArray>
#include <QJsonObject>

#include "cli/command.h"
#include "cli/output.h"
#include "devices/volume_list.h"

int run_volumes(const arguments_s& arguments) {
    enumerate_volumes();
    const auto& volumes = volume_list();
    if (arguments.flag("--json")) {
        QJsonArray array;
        for (qsizetype i = 1; i < volumes.size(); ++i) {
            const auto& volume = volumes[i];
            QJsonObject object;
            object["index"] = static_cast<qint64>(i);
            object["device_name"] = volume.device_name;
            object["volume_name"] = volume.volume_name;
            object["label"] = volume.label;
            object["file_system"] = volume.file_system;
            object["path"] = volume.path;
            object["total_bytes"] = static_cast<qint64>(volume.total_bytes);
            object["free_bytes"] = static_cast<qint64>(volume.free_bytes);
            object["disk_number"] = volume.disk_number;
            object["partition_number"] = volume.partition_number;
            array.append(object);
        }
        print_json(array);
        return exit_ok;
    }
    text_table table({"#", "File system", "Label", "Size", "Free", "Disk", "Part", "Path", "Volume"});
    for (qsizetype i = 1; i < volumes.size(); ++i) {
        const auto& volume = volumes[i];
        table.add_row({QString::number(i), volume.file_system.isEmpty() ? "-" : volume.file_system,
                       volume.label.isEmpty() ? "-" : volume.label, format_size(volume.total_bytes),
                       format_size(volume.free_bytes), QString::number(volume.disk_number),
                       QString::number(volume.partition_number), volume.path, volume.volume_name});
    }
    table.print();
    return exit_ok;
}
