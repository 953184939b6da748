#pragma once
// The logical volumes the user may scan, published as a process-wide list whose first entry is
// a blank heading record.
#include <QList>
#include <QMetaType>
#include <QString>
#include <QStringList>
#include <cstdint>

struct volume_item_s {
    QString device_name;
    QString volume_name;
    QString label;
    QString file_system;
    QString path;
    QStringList path_names;
    uint32_t file_system_flags = 0;
    uint32_t drive_type = 0;
    uint64_t total_bytes = 0;
    uint64_t free_bytes = 0;
    int32_t partition_number = 0;
    int32_t disk_number = 0;
};
Q_DECLARE_METATYPE(volume_item_s)

// Rebuilds the native list and the published volume list from scratch.
void enumerate_volumes();
// The published list: the heading record, then one record per volume with a known location.
const QList<volume_item_s>& volume_list();

// Partition and disk number of a volume path; false when either query fails.
bool query_disk_location(const QString& volume_path, int32_t& partition_number, int32_t& disk_number);

// A byte count as "%.2fG", "%.2fM", "%.2fK" or "%dB".
QString format_size(uint64_t bytes);

// Registers the list records with the meta-type system (once; harmless again).
void register_device_meta_types();
