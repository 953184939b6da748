#pragma once
// The volume a scan file belongs to: the one whose volume name equals the file's header, or the
// header plus one trailing "\" (what the writer produces from a volume name).
#include <QList>
#include <QString>

#include "devices/volume_list.h"

// The index in the list, or -1 when no volume matches.
int find_scan_file_volume(const QString& header, const QList<volume_item_s>& volumes);
