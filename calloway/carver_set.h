#pragma once
// The signatures one scan tests: the registry's formats that the configuration leaves on, plus
// its custom signatures, bucketed by the first byte a file of each can start with.
#include <array>
#include <functional>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <vector>

#include "calloway/config.h"
#include "calloway/format.h"

namespace calloway {

struct carver_s {
    std::string type;
    std::string first_bytes;  // empty: any
    uint64_t max_length = 0;
    std::function<bool(const platform::byte_reader&)> header_matches;
    std::function<carve_result_s(source_c&)> measure;
};

struct found_file_s {
    uint64_t length = 0;
    std::string_view type;
};

class carver_set_c {
public:
    carver_set_c(std::span<const format_descriptor_s> formats, const carve_config_s& config);
    carver_set_c(const carver_set_c&) = delete;
    carver_set_c& operator=(const carver_set_c&) = delete;

    // The first signature whose header matches at position and whose structure holds up, with
    // the file's length; nothing when no file starts here. head holds the bytes at position.
    std::optional<found_file_s> match(const platform::byte_reader& head, volume_reader_c& volume,
                                      uint64_t position) const;

    size_t size() const { return carvers_.size(); }

private:
    bool any_type_on(const format_descriptor_s& format) const;

    std::vector<carver_s> carvers_;
    std::array<std::vector<const carver_s*>, 256> buckets_;
    std::set<std::string> turned_off_;
};

// The custom signature of the configuration as a carver (formats/custom.cpp).
carver_s custom_carver(const custom_signature_s& signature);

}  // namespace calloway
