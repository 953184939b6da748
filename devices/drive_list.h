#pragma once
// The physical drives, published as a process-wide list whose first entry is a blank heading
// record (the only one without geometry).
#include <QList>
#include <QMetaType>
#include <QString>
#include <cstdint>
#include <memory>

#include "platform/device.h"

struct drive_item_s {
    QString drive_path;  // "\\.\PhysicalDrive%d"; empty in the heading record
    uint64_t size_bytes = 0;  // whole cylinders only
    std::shared_ptr<platform::disk_geometry_s> geometry;  // null only in the heading record
};
Q_DECLARE_METATYPE(drive_item_s)

void enumerate_drives();
const QList<drive_item_s>& drive_list();
