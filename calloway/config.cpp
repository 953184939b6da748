#include "calloway/config.h"

#include <cerrno>
#include <charconv>
#include <cstdio>
#include <memory>
#include <optional>

#include "platform/trace.h"

namespace calloway {

namespace {

constexpr size_t max_config_bytes = 1u << 20;
constexpr uint64_t max_custom_length = 64ull << 30;
constexpr size_t max_signature_bytes = 64;

std::string_view trim(std::string_view text) {
    const char* space = " \t\r\n";
    size_t first = text.find_first_not_of(space);
    if (first == std::string_view::npos) return {};
    return text.substr(first, text.find_last_not_of(space) - first + 1);
}

std::vector<std::string_view> split_words(std::string_view text) {
    std::vector<std::string_view> words;
    size_t at = 0;
    while (at < text.size()) {
        size_t first = text.find_first_not_of(" \t", at);
        if (first == std::string_view::npos) break;
        size_t last = text.find_first_of(" \t", first);
        if (last == std::string_view::npos) last = text.size();
        words.push_back(text.substr(first, last - first));
        at = last;
    }
    return words;
}

std::string lower(std::string_view text) {
    std::string out(text);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return out;
}

bool valid_type_name(std::string_view name) {
    if (name.empty() || name.size() > 16) return false;
    for (char c : name)
        if (!((c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_' || c == '-')) return false;
    return true;
}

std::optional<std::string> parse_hex(std::string_view text) {
    if (text.empty() || text.size() % 2 || text.size() / 2 > max_signature_bytes) return std::nullopt;
    std::string bytes;
    for (size_t i = 0; i < text.size(); i += 2) {
        unsigned value = 0;
        auto [end, ec] = std::from_chars(text.data() + i, text.data() + i + 2, value, 16);
        if (ec != std::errc() || end != text.data() + i + 2) return std::nullopt;
        bytes.push_back(static_cast<char>(value));
    }
    return bytes;
}

std::optional<uint64_t> parse_size(std::string_view text) {
    uint64_t unit = 1;
    if (!text.empty()) {
        switch (text.back()) {
            case 'K': case 'k': unit = 1ull << 10; break;
            case 'M': case 'm': unit = 1ull << 20; break;
            case 'G': case 'g': unit = 1ull << 30; break;
            default: break;
        }
        if (unit != 1) text.remove_suffix(1);
    }
    uint64_t value = 0;
    auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || value == 0) return std::nullopt;
    if (value > max_custom_length / unit) return std::nullopt;
    return value * unit;
}

std::optional<custom_signature_s> parse_custom(std::string_view value) {
    std::vector<std::string_view> words = split_words(value);
    if (words.size() != 3 && words.size() != 4) return std::nullopt;
    custom_signature_s signature;
    signature.type = lower(words[0]);
    if (!valid_type_name(signature.type)) return std::nullopt;
    auto header = parse_hex(words[1]);
    auto max_length = parse_size(words.back());
    if (!header || !max_length) return std::nullopt;
    signature.header = *header;
    signature.max_length = *max_length;
    if (words.size() == 4) {
        auto footer = parse_hex(words[2]);
        if (!footer) return std::nullopt;
        signature.footer = *footer;
    }
    if (signature.max_length < signature.header.size() + signature.footer.size()) return std::nullopt;
    return signature;
}

// Applies one "key = value" line; false when it is malformed.
bool apply_line(std::string_view key, std::string_view value, const std::set<std::string>& known_types,
                carve_config_s& config) {
    std::string name = lower(key);
    if (name == "custom") {
        auto signature = parse_custom(value);
        if (!signature) return false;
        config.custom.push_back(std::move(*signature));
        return true;
    }
    std::string state = lower(value);
    if (state != "on" && state != "off") return false;
    if (name != "all" && !known_types.count(name)) return false;
    std::set<std::string> names = name == "all" ? known_types : std::set<std::string>{name};
    for (const std::string& type : names) {
        if (state == "off")
            config.turned_off.insert(type);
        else
            config.turned_off.erase(type);
    }
    return true;
}

}  // namespace

carve_config_s parse_config(std::string_view text, const std::set<std::string>& known_types) {
    carve_config_s config;
    int line_number = 0;
    while (!text.empty()) {
        size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        ++line_number;
        std::string_view content = trim(line.substr(0, line.find('#')));
        if (content.empty()) continue;
        size_t equals = content.find('=');
        bool applied = equals != std::string_view::npos &&
                       apply_line(trim(content.substr(0, equals)), trim(content.substr(equals + 1)), known_types, config);
        if (!applied)
            platform::tracef("Calloway: Tarnwell.conf line %d skipped: %.*s\n", line_number,
                             static_cast<int>(std::min<size_t>(content.size(), 200)), content.data());
    }
    return config;
}

bool load_config(const std::string& path, const std::set<std::string>& known_types, carve_config_s& out) {
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "rb"), &std::fclose);
    if (!file) {
        out = {};
        if (errno == ENOENT) return true;
        platform::tracef("Calloway: cannot read %s, every type is on\n", path.c_str());
        return false;
    }
    std::string text(max_config_bytes, '\0');
    size_t n = std::fread(text.data(), 1, text.size(), file.get());
    if (std::ferror(file.get())) {
        out = {};
        platform::tracef("Calloway: cannot read %s, every type is on\n", path.c_str());
        return false;
    }
    text.resize(n);
    out = parse_config(text, known_types);
    return true;
}

}  // namespace calloway
