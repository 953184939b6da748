#pragma once
// Disk images for the partition tests: crafted boot sectors written into sparse files, and
// the drive record of an image put in the disk list.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "devices/drive_list.h"
#include "partition/partition_item.h"

namespace partition_test {

using sector_bytes = std::array<uint8_t, 512>;

constexpr uint64_t cylinder_sectors = 255 * 63;

// An NTFS boot sector: "NTFS    ", bytes per sector, total sectors at 40, hidden sectors at 28.
sector_bytes ntfs_boot_sector(uint64_t total_sectors, uint16_t bytes_per_sector = 512);
// A FAT32 boot sector with a valid parameter block and the given OEM name.
sector_bytes fat32_boot_sector(uint32_t total_sectors, const char* oem_name = "MSWIN4.1");
// An FSInfo sector ("RRaA", "rrAa", 0x55AA).
sector_bytes fsinfo_sector();
// A sector that holds nothing but the 0x55AA signature.
sector_bytes signature_sector();

// A sparse image of whole cylinders (plus extra sectors).
void make_disk(const std::string& path, uint64_t cylinders, uint64_t extra_sectors = 0);
void write_sector(const std::string& path, uint64_t sector, const sector_bytes& bytes);
sector_bytes read_sector(const std::string& path, uint64_t sector);
// Copies a whole file into the image at the given sector.
void copy_into(const std::string& image, uint64_t sector, const std::string& source);

// Makes the image the only disk and returns its drive record ("\\.\PhysicalDrive0").
drive_item_s drive_for(const std::string& image);

// Resets the disk list and every disk setting between tests.
class disk_test : public ::testing::Test {
protected:
    void TearDown() override;
};

std::string describe(const std::vector<partition_item_s>& partitions);

}  // namespace partition_test

bool operator==(const partition_item_s& a, const partition_item_s& b);
void PrintTo(const partition_item_s& item, std::ostream* out);
