#include "cli/command.h"

#include <cstdio>

int run_drives(const arguments_s& arguments);
int run_volumes(const arguments_s& arguments);
int run_scan_command(const arguments_s& arguments);
int run_recover_command(const arguments_s& arguments);
int run_open_command(const arguments_s& arguments);
int run_partitions_command(const arguments_s& arguments);

const std::vector<command_s>& commands() {
    static const std::vector<command_s> list{
        {"drives", "tarnwell drives [--json]", {}, run_drives},
        {"volumes", "tarnwell volumes [--json]", {}, run_volumes},
        {"scan", "tarnwell scan VOL [--deep] [--save FILE.sav] [--json]", {"--deep", "--save"}, run_scan_command},
        {"recover", "tarnwell recover VOL --to DIR [--deep] [--id N ...] [--force]",
         {"--to", "--id", "--force", "--deep"}, run_recover_command},
        {"open", "tarnwell open FILE.sav [--json] [--recover-to DIR] [--force]", {"--recover-to", "--force"},
         run_open_command},
        {"partitions", "tarnwell partitions DRIVE [--json] [--write --yes]", {"--write", "--yes"},
         run_partitions_command},
    };
    return list;
}

int fail(int status, const std::string& message) {
    std::fprintf(stderr, "tarnwell: %s\n", message.c_str());
    return status;
}
