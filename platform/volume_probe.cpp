#include "platform/volume_probe.h"

#include <blkid/blkid.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>

#include "platform/disk_settings.h"
#include "platform/disks.h"

namespace fs = std::filesystem;

namespace platform::detail {
namespace {

struct probe_deleter {
    void operator()(blkid_struct_probe* probe) const { blkid_free_probe(probe); }
};
using probe_ptr = std::unique_ptr<blkid_struct_probe, probe_deleter>;

// An open descriptor on the disk; memory disks are copied into an anonymous memory file
// because libblkid reads through a descriptor.
class disk_fd {
public:
    explicit disk_fd(const std::string& path) {
        if (is_memory_path(path)) {
            auto data = memory_disk(path);
            if (!data) return;
            fd_ = ::memfd_create("tarnwell-disk", MFD_CLOEXEC);
            if (fd_ < 0) return;
            size_t done = 0;
            while (done < data->size()) {
                ssize_t n = ::write(fd_, data->data() + done, data->size() - done);
                if (n <= 0) break;
                done += static_cast<size_t>(n);
            }
            size_ = done;
        } else {
            fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
            if (fd_ < 0) return;
            struct stat info {};
            ::fstat(fd_, &info);
            if (S_ISBLK(info.st_mode)) {
                block_device_ = true;
                rdev_ = info.st_rdev;
            }
            off_t end = ::lseek(fd_, 0, SEEK_END);
            size_ = end > 0 ? static_cast<uint64_t>(end) : 0;
        }
    }
    ~disk_fd() {
        if (fd_ >= 0) ::close(fd_);
    }
    int fd() const { return fd_; }
    uint64_t size() const { return size_; }
    bool block_device() const { return block_device_; }

private:
    int fd_ = -1;
    uint64_t size_ = 0;
    bool block_device_ = false;
    dev_t rdev_ = 0;
};

std::string lookup(blkid_probe probe, const char* name) {
    const char* value = nullptr;
    size_t length = 0;
    if (blkid_probe_lookup_value(probe, name, &value, &length) != 0 || !value) return {};
    std::string text(value, length);
    while (!text.empty() && text.back() == '\0') text.pop_back();
    return text;
}

struct file_system_s {
    std::string type, version, label, uuid;
};

file_system_s probe_file_system(int fd, uint64_t offset, uint64_t size, uint32_t sector_size) {
    file_system_s result;
    probe_ptr probe(blkid_new_probe());
    if (!probe || blkid_probe_set_device(probe.get(), fd, static_cast<blkid_loff_t>(offset),
                                         static_cast<blkid_loff_t>(size)) != 0)
        return result;
    blkid_probe_set_sectorsize(probe.get(), sector_size);
    blkid_probe_enable_superblocks(probe.get(), 1);
    blkid_probe_set_superblocks_flags(probe.get(), BLKID_SUBLKS_LABEL | BLKID_SUBLKS_UUID | BLKID_SUBLKS_TYPE |
                                                       BLKID_SUBLKS_VERSION);
    blkid_probe_enable_partitions(probe.get(), 0);
    if (blkid_do_safeprobe(probe.get()) != 0) return result;
    result.type = lookup(probe.get(), "TYPE");
    result.version = lookup(probe.get(), "VERSION");
    result.label = lookup(probe.get(), "LABEL");
    result.uuid = lookup(probe.get(), "UUID");
    return result;
}

// The serial number as GetVolumeInformationW would give it: the low 32 bits of the UUID.
uint32_t serial_from_uuid(const std::string& uuid) {
    std::string hex;
    for (char c : uuid)
        if (std::isxdigit(static_cast<unsigned char>(c))) hex += c;
    if (hex.empty()) return 0;
    if (hex.size() > 8) hex = hex.substr(hex.size() - 8);
    return static_cast<uint32_t>(std::stoul(hex, nullptr, 16));
}

// The node of partition n of a block device, found through sysfs ("/dev/sda1", "/dev/nvme0n1p1").
std::string partition_node(const std::string& disk_path, int partno) {
    std::string disk_name = fs::path(disk_path).filename().string();
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator("/sys/class/block/" + disk_name, ec)) {
        std::ifstream in(entry.path() / "partition");
        int number = 0;
        if (in >> number && number == partno) return "/dev/" + entry.path().filename().string();
    }
    bool ends_in_digit = !disk_name.empty() && std::isdigit(static_cast<unsigned char>(disk_name.back()));
    return disk_path + (ends_in_digit ? "p" : "") + std::to_string(partno);
}

std::string volume_device_name(const std::string& disk_path, bool block_device, int partno) {
    if (partno == 0) return disk_path;
    return block_device ? partition_node(disk_path, partno) : disk_path + "#" + std::to_string(partno);
}

volume_info_s make_volume(const std::string& disk_path, unsigned disk_number, const disk_fd& disk,
                          int partno, uint64_t start, uint64_t size, uint32_t sector_size) {
    volume_info_s volume;
    volume.disk_path = disk_path;
    volume.disk_number = disk_number;
    volume.partition_number = static_cast<uint32_t>(partno);
    volume.start_offset = start;
    volume.size = size;
    volume.device_name = volume_device_name(disk_path, disk.block_device(), partno);
    volume.drive_type = disk_drive_type(disk_path);
    auto fs_info = probe_file_system(disk.fd(), start, size, sector_size);
    volume.file_system = windows_file_system_name(fs_info.type, fs_info.version);
    volume.label = fs_info.label;
    volume.serial = serial_from_uuid(fs_info.uuid);
    return volume;
}

void set_guid(volume_info_s& volume, const std::string& guid) {
    std::string lower;
    for (char c : guid) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    volume.volume_name = "\\\\?\\Volume{" + lower + "}\\";
}

}  // namespace

std::string guid_from_key(const std::string& key) {
    // Two FNV-1a hashes with different bases give the 128 bits.
    auto fnv = [&key](uint64_t hash) {
        for (unsigned char c : key) {
            hash ^= c;
            hash *= 0x100000001b3ULL;
        }
        return hash;
    };
    uint64_t high = fnv(0xcbf29ce484222325ULL);
    uint64_t low = fnv(0x84222325cbf29ce4ULL ^ high);
    char text[40];
    std::snprintf(text, sizeof text, "%08x-%04x-%04x-%04x-%012llx", static_cast<unsigned>(high >> 32),
                  static_cast<unsigned>((high >> 16) & 0xFFFF), static_cast<unsigned>(high & 0xFFFF),
                  static_cast<unsigned>(low >> 48), static_cast<unsigned long long>(low & 0xFFFFFFFFFFFFULL));
    return text;
}

std::string windows_file_system_name(const std::string& type, const std::string& version) {
    if (type == "vfat" || type == "msdos") return version == "FAT32" ? "FAT32" : "FAT";
    if (type == "ntfs") return "NTFS";
    if (type == "exfat") return "exFAT";
    return type;
}

std::vector<volume_info_s> probe_disk_volumes(const std::string& disk_path, unsigned disk_number) {
    std::vector<volume_info_s> volumes;
    disk_fd disk(disk_path);
    if (disk.fd() < 0 || disk.size() == 0) return volumes;
    auto settings = settings_for(disk_path);
    uint32_t sector_size = settings.sector_size.value_or(512);

    probe_ptr probe(blkid_new_probe());
    if (!probe || blkid_probe_set_device(probe.get(), disk.fd(), 0, static_cast<blkid_loff_t>(disk.size())) != 0)
        return volumes;
    blkid_probe_set_sectorsize(probe.get(), sector_size);
    blkid_probe_enable_superblocks(probe.get(), 0);
    blkid_probe_enable_partitions(probe.get(), 1);
    blkid_partlist list = blkid_probe_get_partitions(probe.get());
    int count = list ? blkid_partlist_numof_partitions(list) : 0;

    if (count <= 0) {
        // No partition table: the disk is one volume, named from its file system or its path.
        auto volume = make_volume(disk_path, disk_number, disk, 0, 0, disk.size(), sector_size);
        std::string key = volume.serial || !volume.file_system.empty()
                              ? "fs:" + std::to_string(volume.serial) + ":" + std::to_string(disk.size()) + ":" +
                                    volume.file_system
                              : "path:" + disk_path;
        set_guid(volume, guid_from_key(key));
        volumes.push_back(std::move(volume));
        return volumes;
    }

    blkid_parttable table = blkid_partlist_get_table(list);
    std::string table_type = table && blkid_parttable_get_type(table) ? blkid_parttable_get_type(table) : "";
    std::string table_id = table && blkid_parttable_get_id(table) ? blkid_parttable_get_id(table) : "";
    for (int i = 0; i < count; ++i) {
        blkid_partition part = blkid_partlist_get_partition(list, i);
        if (!part || blkid_partition_is_extended(part)) continue;  // containers of logical partitions
        int partno = blkid_partition_get_partno(part);
        auto start = static_cast<uint64_t>(blkid_partition_get_start(part)) * 512;
        auto size = static_cast<uint64_t>(blkid_partition_get_size(part)) * 512;
        if (partno <= 0 || start >= disk.size()) continue;
        size = std::min(size, disk.size() - start);
        auto volume = make_volume(disk_path, disk_number, disk, partno, start, size, sector_size);
        const char* uuid = blkid_partition_get_uuid(part);
        if (table_type == "gpt" && uuid && *uuid)
            set_guid(volume, uuid);
        else
            set_guid(volume, guid_from_key("mbr:" + table_id + ":" + std::to_string(disk.size()) + ":" +
                                           std::to_string(start)));
        volumes.push_back(std::move(volume));
    }
    return volumes;
}

}  // namespace platform::detail
