#pragma once
// Recognition of a GPT header: a disk that carries one has not lost its partition table, and
// an MBR written over its protective MBR would hide it.
#include <cstdint>

#include "platform/byte_reader.h"

// The CRC-32 (IEEE 802.3, as GPT uses it) of a byte span.
uint32_t crc32_ieee(platform::byte_reader bytes);

// True when the sector holds "EFI PART", a header size from 92 to the sector's size and a
// header CRC that matches.
bool is_valid_gpt_header(platform::byte_reader sector);
