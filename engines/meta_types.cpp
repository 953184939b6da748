#include "engines/recovery_base.h"

void register_engine_meta_types() {
    qRegisterMetaType<recovery_item_s>("recovery_item_s");
}
