#pragma once
// VOL and DRIVE arguments: an index of the lists or, for VOL, a volume GUID path.
#include <string>

#include "devices/volume_list.h"

// Finds the volume; false with a one-line reason when VOL names none or more than one.
bool choose_volume(const std::string& argument, volume_item_s& volume, std::string& error);
