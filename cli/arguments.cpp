#include "cli/arguments.h"

#include <algorithm>
#include <set>

namespace {

const std::set<std::string>& value_options() {
    static const std::set<std::string> names{"--disks", "--to", "--id", "--save", "--recover-to"};
    return names;
}

const std::set<std::string>& flag_options() {
    static const std::set<std::string> names{"--json",  "--verbose", "--help", "--deep",
                                             "--write", "--yes",     "--force"};
    return names;
}

}  // namespace

bool arguments_s::flag(const std::string& name) const {
    return std::find(flags.begin(), flags.end(), name) != flags.end();
}

std::optional<std::string> arguments_s::value(const std::string& name) const {
    auto it = values.find(name);
    if (it == values.end() || it->second.empty()) return std::nullopt;
    return it->second.back();
}

const std::vector<std::string>& arguments_s::all_values(const std::string& name) const {
    static const std::vector<std::string> none;
    auto it = values.find(name);
    return it == values.end() ? none : it->second;
}

std::optional<arguments_s> parse_arguments(int argc, char** argv, std::string& error) {
    arguments_s arguments;
    for (int i = 1; i < argc; ++i) {
        std::string word = argv[i];
        if (word.rfind("--", 0) == 0 && word.size() > 2) {
            std::string name = word, inline_value;
            bool has_inline = false;
            if (auto eq = word.find('='); eq != std::string::npos) {
                name = word.substr(0, eq);
                inline_value = word.substr(eq + 1);
                has_inline = true;
            }
            if (value_options().count(name)) {
                if (!has_inline) {
                    if (i + 1 >= argc) {
                        error = name + " needs a value";
                        return std::nullopt;
                    }
                    inline_value = argv[++i];
                }
                arguments.values[name].push_back(inline_value);
            } else if (flag_options().count(name) && !has_inline) {
                arguments.flags.push_back(name);
            } else {
                error = "unknown option " + word;
                return std::nullopt;
            }
        } else if (word == "-h") {
            arguments.flags.push_back("--help");
        } else if (arguments.command.empty()) {
            arguments.command = word;
        } else {
            arguments.positional.push_back(word);
        }
    }
    return arguments;
}

std::string check_options(const arguments_s& arguments, const std::vector<std::string>& accepted) {
    auto allowed = [&](const std::string& name) {
        return name == "--disks" || name == "--json" || name == "--verbose" || name == "--help" ||
               std::find(accepted.begin(), accepted.end(), name) != accepted.end();
    };
    for (const auto& name : arguments.flags)
        if (!allowed(name)) return name + " does not go with '" + arguments.command + "'";
    for (const auto& [name, values] : arguments.values)
        if (!allowed(name)) return name + " does not go with '" + arguments.command + "'";
    return {};
}
