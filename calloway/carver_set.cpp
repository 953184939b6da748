#include "calloway/carver_set.h"

#include <algorithm>

namespace calloway {

namespace {

carver_s builtin_carver(const format_descriptor_s& format) {
    carver_s carver;
    carver.type = std::string(format.type);
    carver.first_bytes = std::string(format.first_bytes);
    carver.max_length = format.max_length;
    carver.header_matches = format.header_matches;
    carver.measure = format.measure;
    return carver;
}

}  // namespace

carver_set_c::carver_set_c(std::span<const format_descriptor_s> formats, const carve_config_s& config)
    : turned_off_(config.turned_off) {
    for (const format_descriptor_s& format : formats)
        if (any_type_on(format)) carvers_.push_back(builtin_carver(format));
    for (const custom_signature_s& signature : config.custom) carvers_.push_back(custom_carver(signature));
    for (const carver_s& carver : carvers_) {
        if (carver.first_bytes.empty()) {
            for (auto& bucket : buckets_) bucket.push_back(&carver);
        } else {
            for (char first : carver.first_bytes) buckets_[static_cast<uint8_t>(first)].push_back(&carver);
        }
    }
}

bool carver_set_c::any_type_on(const format_descriptor_s& format) const {
    if (!turned_off_.count(std::string(format.type))) return true;
    std::string_view rest = format.other_types;
    while (!rest.empty()) {
        size_t space = rest.find(' ');
        std::string_view name = rest.substr(0, space);
        if (!name.empty() && !turned_off_.count(std::string(name))) return true;
        rest = space == std::string_view::npos ? std::string_view() : rest.substr(space + 1);
    }
    return false;
}

std::optional<found_file_s> carver_set_c::match(const platform::byte_reader& head, volume_reader_c& volume,
                                                uint64_t position) const {
    if (head.size() == 0 || position >= volume.size()) return std::nullopt;
    for (const carver_s* carver : buckets_[head.u8(0)]) {
        if (!carver->header_matches(head)) continue;
        source_c file(volume, position, std::min(carver->max_length, volume.size() - position));
        carve_result_s result = carver->measure(file);
        if (result.length == 0 || result.length > file.limit()) continue;
        std::string_view type = result.type.empty() ? std::string_view(carver->type) : result.type;
        if (turned_off_.count(std::string(type))) continue;
        return found_file_s{result.length, type};
    }
    return std::nullopt;
}

}  // namespace calloway
