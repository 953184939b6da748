#include "tests/partition/partition_test_disks.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstring>
#include <ostream>
#include <sstream>

#include "platform/byte_reader.h"
#include "platform/test_seam.h"
#include "tests/support/test_support.h"

namespace partition_test {

namespace {

void put_text(sector_bytes& sector, size_t offset, const char* text) {
    std::memcpy(sector.data() + offset, text, std::strlen(text));
}

void put_signature(sector_bytes& sector) {
    sector[510] = 0x55;
    sector[511] = 0xAA;
}

}  // namespace

sector_bytes ntfs_boot_sector(uint64_t total_sectors, uint16_t bytes_per_sector) {
    sector_bytes sector{};
    sector[0] = 0xEB;
    sector[1] = 0x52;
    sector[2] = 0x90;
    put_text(sector, 3, "NTFS    ");
    platform::put_le(sector.data() + 11, bytes_per_sector, 2);
    sector[13] = 8;
    platform::put_le(sector.data() + 40, total_sectors, 8);
    put_signature(sector);
    return sector;
}

sector_bytes fat32_boot_sector(uint32_t total_sectors, const char* oem_name) {
    sector_bytes sector{};
    sector[0] = 0xEB;
    sector[1] = 0x58;
    sector[2] = 0x90;
    put_text(sector, 3, oem_name);
    platform::put_le(sector.data() + 11, 512, 2);  // bytes per sector
    sector[13] = 8;                                // sectors per cluster
    platform::put_le(sector.data() + 14, 32, 2);   // reserved sectors
    sector[16] = 2;                                // FATs
    platform::put_le(sector.data() + 32, total_sectors, 4);
    platform::put_le(sector.data() + 36, 1000, 4);  // sectors per FAT
    put_text(sector, 82, "FAT32   ");
    put_signature(sector);
    return sector;
}

sector_bytes fsinfo_sector() {
    sector_bytes sector{};
    put_text(sector, 0, "RRaA");
    put_text(sector, 484, "rrAa");
    put_signature(sector);
    return sector;
}

sector_bytes signature_sector() {
    sector_bytes sector{};
    put_signature(sector);
    return sector;
}

void make_disk(const std::string& path, uint64_t cylinders, uint64_t extra_sectors) {
    ASSERT_TRUE(test_support::make_sparse_file(path, (cylinders * cylinder_sectors + extra_sectors) * 512));
}

void write_sector(const std::string& path, uint64_t sector, const sector_bytes& bytes) {
    int fd = ::open(path.c_str(), O_WRONLY);
    ASSERT_GE(fd, 0) << path;
    ssize_t n = ::pwrite(fd, bytes.data(), bytes.size(), static_cast<off_t>(sector * 512));
    ::close(fd);
    ASSERT_EQ(n, 512);
}

sector_bytes read_sector(const std::string& path, uint64_t sector) {
    sector_bytes bytes{};
    int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) return bytes;
    ssize_t n = ::pread(fd, bytes.data(), bytes.size(), static_cast<off_t>(sector * 512));
    ::close(fd);
    EXPECT_EQ(n, 512);
    return bytes;
}

void copy_into(const std::string& image, uint64_t sector, const std::string& source) {
    std::string command = "dd if='" + source + "' of='" + image + "' bs=512 seek=" + std::to_string(sector) +
                          " conv=notrunc,sparse status=none";
    ASSERT_EQ(test_support::run_command(command), 0) << command;
}

drive_item_s drive_for(const std::string& image) {
    platform::test::set_disk_list(std::vector<std::string>{image});
    enumerate_drives();
    return drive_list().value(1);
}

void disk_test::TearDown() {
    platform::test::set_disk_list(std::nullopt);
    platform::test::reset_disk_settings();
    platform::test::remove_memory_disks();
}

std::string describe(const std::vector<partition_item_s>& partitions) {
    std::ostringstream out;
    for (const auto& item : partitions) PrintTo(item, &out), out << "\n";
    return out.str();
}

}  // namespace partition_test

bool operator==(const partition_item_s& a, const partition_item_s& b) {
    return a.file_system == b.file_system && a.partition_type == b.partition_type &&
           a.start_sector == b.start_sector && a.end_sector == b.end_sector;
}

void PrintTo(const partition_item_s& item, std::ostream* out) {
    *out << item.file_system.toStdString() << " type " << item.partition_type << " sectors " << item.start_sector
         << "-" << item.end_sector;
}
