#pragma once
// The settings of "./Tarnwell.conf": which types are off, and custom signatures.
//   <type> = on | off          ("all" stands for every built-in type)
//   custom = <type> <header hex> [<footer hex>] <maximum size>[K|M|G]
#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace calloway {

struct custom_signature_s {
    std::string type;
    std::string header;  // bytes the file starts with
    std::string footer;  // bytes it ends with; empty: the file is max_length bytes long
    uint64_t max_length = 0;
};

struct carve_config_s {
    std::set<std::string> turned_off;  // reported type names
    std::vector<custom_signature_s> custom;
};

// Parses the configuration text. known_types are the names a built-in format can report; a
// line naming another, or malformed in any way, is skipped with a trace line.
carve_config_s parse_config(std::string_view text, const std::set<std::string>& known_types);

// Reads and parses the file; a missing file gives the defaults (every built-in type on).
// False when the file exists but cannot be read.
bool load_config(const std::string& path, const std::set<std::string>& known_types, carve_config_s& out);

}  // namespace calloway
