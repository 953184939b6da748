#include "results/scan_file_volume.h"

int find_scan_file_volume(const QString& header, const QList<volume_item_s>& volumes) {
    if (header.isEmpty()) return -1;
    for (qsizetype i = 0; i < volumes.size(); ++i) {
        const QString& name = volumes[i].volume_name;
        if (name.isEmpty()) continue;
        if (name == header || name == header + "\\") return static_cast<int>(i);
    }
    return -1;
}
