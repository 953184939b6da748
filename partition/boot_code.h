#pragma once
// Our master boot record loader (boot_loader.asm), assembled by the build into 440 bytes.
#include <array>
#include <cstdint>

const std::array<uint8_t, 440>& boot_code();
