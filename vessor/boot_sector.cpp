#include "vessor/boot_sector.h"

namespace vessor {

namespace {

bool power_of_two(uint64_t v) { return v != 0 && (v & (v - 1)) == 0; }

// Sectors per cluster: a count up to 128, beyond that the negative log2 (2 MiB clusters).
uint64_t sectors_per_cluster(uint8_t field) {
    if (field <= 0x80) return field;
    unsigned shift = 256u - field;
    return shift < 32 ? uint64_t{1} << shift : 0;
}

// Record size: clusters when positive, else 2 to the power of minus the value.
uint64_t record_bytes(int8_t field, uint64_t cluster_size) {
    if (field > 0) return static_cast<uint64_t>(field) * cluster_size;
    int shift = -static_cast<int>(field);
    return shift > 0 && shift < 32 ? uint64_t{1} << shift : 0;
}

}  // namespace

bool parse_boot_sector(const platform::byte_reader& sector, volume_geometry_s& g) {
    if (!sector.has(0, 512) || !sector.matches(3, "NTFS    ") || sector.u16(510) != 0xAA55) return false;
    uint32_t bps = sector.u16(11);
    if (!power_of_two(bps) || bps < 256 || bps > 4096) return false;
    uint64_t spc = sectors_per_cluster(sector.u8(13));
    if (!power_of_two(spc)) return false;
    uint64_t cluster = spc * bps;
    if (cluster < 512 || cluster > 2 * 1024 * 1024) return false;
    uint64_t record = record_bytes(static_cast<int8_t>(sector.u8(64)), cluster);
    if (!power_of_two(record) || record < 512 || record > 65536) return false;
    uint64_t total_sectors = sector.u64(40);
    if (total_sectors == 0 || total_sectors > (uint64_t{1} << 48)) return false;
    uint64_t clusters = total_sectors / spc;
    uint64_t mft = sector.u64(48);
    if (clusters == 0 || mft >= clusters) return false;
    g.bytes_per_sector = bps;
    g.cluster_size = static_cast<uint32_t>(cluster);
    g.record_size = static_cast<uint32_t>(record);
    g.total_sectors = total_sectors;
    g.total_clusters = clusters;
    g.mft_lcn = mft;
    return true;
}

}  // namespace vessor
