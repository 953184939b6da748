#pragma once
// One sub-command of tarnwell: its name, usage line, accepted options and body.
#include <string>
#include <vector>

#include "cli/arguments.h"

// Exit statuses shared by every command.
enum exit_status_e : int {
    exit_ok = 0,
    exit_failed = 1,
    exit_usage = 2,
    exit_interrupted = 130,
};

struct command_s {
    const char* name;
    const char* usage;
    std::vector<std::string> options;  // beyond --disks, --json, --verbose, --help
    int (*run)(const arguments_s& arguments);
};

const std::vector<command_s>& commands();

// Prints "tarnwell: <message>" on standard error and returns the status.
int fail(int status, const std::string& message);
