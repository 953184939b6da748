#pragma once
// Helpers for the NTFS library tests: disks through the platform seams, a scan context that
// cleans up after itself, and scanned records decoded from their 576-byte layout.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "tests/fixtures/ntfs_builder.h"
#include "vessor/vessor.h"

namespace vessor_test {

struct scanned_s {
    uint64_t number = 0;
    uint64_t parent = 0;
    uint64_t size = 0;
    int64_t time_b = 0;
    int64_t time_a = 0;
    uint32_t flags = 0;
    std::string name;  // UTF-8
};

scanned_s decode_record(const uint8_t* record);

// An open scan context; cleaned up when it goes away.
class scan_c {
public:
    scan_c() : context_(vessor::context_size, 0) {}
    ~scan_c() { ntfs_scan_cleanup(context_.data()); }
    scan_c(const scan_c&) = delete;
    scan_c& operator=(const scan_c&) = delete;

    int start(const std::string& device_name) { return ntfs_scan_startup(device_name.c_str(), context_.data()); }
    // Every record until the end; checks that the position only grows and ends at the total.
    std::vector<scanned_s> all();
    std::map<uint64_t, scanned_s> by_number();
    int recover(uint64_t record, const std::string& path) {
        uint32_t detail = 0;
        return ntfs_recover_file(context_.data(), record, path.c_str(), &detail);
    }
    uint8_t* context() { return context_.data(); }

private:
    std::vector<uint8_t> context_;
};

// Test base: every test starts and ends with the platform seams cleared.
class vessor_test_c : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // The given images become the disks "mem:d0", "mem:d1", ... and the volume list is probed.
    void use_memory_disks(const std::vector<std::shared_ptr<std::vector<uint8_t>>>& disks);
    // The given image files become the disks, and the volume list is probed.
    void use_disk_files(const std::vector<std::string>& paths);
};

std::shared_ptr<std::vector<uint8_t>> build_volume(ntfs_fixture::ntfs_builder_c& builder);
std::vector<uint8_t> pattern_bytes(size_t size, uint32_t seed);

}  // namespace vessor_test
