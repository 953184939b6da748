#pragma once
// Before a scan: can the volume be read and mounted by the engine's own reader? The engines
// themselves report a failed start only as an empty store.
#include <string>

#include "devices/volume_list.h"

bool check_fat_volume(const volume_item_s& volume, std::string& error);
bool check_carving_volume(const volume_item_s& volume, std::string& error);
bool check_ntfs_volume(const volume_item_s& volume, std::string& error);
