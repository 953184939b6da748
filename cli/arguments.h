#pragma once
// The command line: a command, its positional arguments and its options.
#include <map>
#include <optional>
#include <string>
#include <vector>

struct arguments_s {
    std::string command;
    std::vector<std::string> positional;
    std::map<std::string, std::vector<std::string>> values;  // options that take a value, each occurrence
    std::vector<std::string> flags;                          // options without a value

    bool flag(const std::string& name) const;
    std::optional<std::string> value(const std::string& name) const;
    const std::vector<std::string>& all_values(const std::string& name) const;
};

// Parses argv; on a malformed line returns nullopt and sets error to a one-line reason.
std::optional<arguments_s> parse_arguments(int argc, char** argv, std::string& error);

// Every option the given command does not accept, as an error text ("" when all are accepted).
std::string check_options(const arguments_s& arguments, const std::vector<std::string>& accepted);
