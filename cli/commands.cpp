#include "cli/command.h"

#include <cstdio>

int run_drives(const arguments_s& arguments);
int run_volumes(const arguments_s& arguments);

const std::vector<command_s>& commands() {
    static const std::vector<command_s> list{
        {"drives", "tarnwell drives [--json]", {}, run_drives},
        {"volumes", "tarnwell volumes [--json]", {}, run_volumes},
    };
    return list;
}

int fail(int status, const std::string& message) {
    std::fprintf(stderr, "tarnwell: %s\n", message.c_str());
    return status;
}
