#pragma once
// One row of the result table.
#include <QMetaType>
#include <QString>
#include <cstdint>

struct recovery_item_s {
    QString name;
    uint64_t size = 0;
    int64_t time1 = 0;
    int64_t time2 = 0;
    uint64_t id = 0;
    int32_t attributes = 0;
    bool checked = false;
};
Q_DECLARE_METATYPE(recovery_item_s)
