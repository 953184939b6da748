#pragma once
// Runs the carving library over volumes the tests make: noise with sample files placed at
// known offsets, registered as in-memory disks.
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "calloway/calloway.h"
#include "tests/calloway/byte_writer.h"

namespace carve_test {

struct found_s {
    std::string type;
    int64_t offset = 0;
    uint64_t length = 0;
    bool operator==(const found_s&) const = default;
};
std::ostream& operator<<(std::ostream& out, const found_s& file);

struct scan_outcome_s {
    int status = 0;
    std::vector<found_s> files;
    std::vector<double> progress_at_find;  // params.progress each time a file was reported
    carve_report_s report;
};

// A parameter block whose found callback records into outcome. Not movable: the block's
// context points at the object.
struct recorded_scan_s {
    carve_params params;
    scan_outcome_s outcome;
    // Called from the callback after recording; may set params.stop.
    void (*after_find)(recorded_scan_s&) = nullptr;

    recorded_scan_s();
    recorded_scan_s(const recorded_scan_s&) = delete;
    recorded_scan_s& operator=(const recorded_scan_s&) = delete;
    // Scans on the calling thread.
    void run(const std::string& volume_path);
};

// Scans the volume synchronously with a fresh parameter block.
scan_outcome_s scan(const std::string& volume_path);

// A volume of noise with files placed into it.
class volume_image {
public:
    explicit volume_image(size_t size, uint32_t seed = 1);
    // Copies the file to offset (which must leave it inside the volume) and returns offset.
    uint64_t place(uint64_t offset, const samples::bytes& file);
    // Registers the image as the memory disk "mem:NAME" and returns that path.
    std::string as_memory_disk(const std::string& name) const;
    const samples::bytes& bytes() const { return *data_; }

private:
    std::shared_ptr<samples::bytes> data_;
};

uint64_t round_up_to_sector(uint64_t value);

}  // namespace carve_test
