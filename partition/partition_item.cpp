#include "partition/partition_item.h"

void register_partition_item_type() {
    static const int id = qRegisterMetaType<partition_item_s>("partition_item_s");
    (void)id;
}
