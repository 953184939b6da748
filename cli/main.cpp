// tarnwell: the recovery engines without a window, for scripts, servers and tests.
#include <QCoreApplication>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "cli/command.h"
#include "devices/volume_list.h"
#include "engines/recovery_base.h"
#include "platform/trace.h"

namespace {

void print_usage() {
    std::printf("Usage:\n");
    for (const auto& command : commands()) std::printf("  %s\n", command.usage);
    std::printf(
        "\nEvery command takes --disks PATH[:PATH...] (disk images or block devices to use in place of\n"
        "the machine's disks; overrides TARNWELL_DISKS), --json, --verbose and --help.\n"
        "VOL is an index of 'tarnwell volumes' or a volume GUID path; DRIVE an index of 'tarnwell drives'.\n"
        "Exit status: 0 success, 1 failed operation, 2 bad arguments, 130 interrupted.\n");
}

// Each path of the disk list must open for reading before any work starts.
std::string check_disk_paths(const std::string& list) {
    size_t start = 0;
    while (start <= list.size()) {
        size_t end = list.find(':', start);
        if (end == std::string::npos) end = list.size();
        std::string path = list.substr(start, end - start);
        if (!path.empty()) {
            int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0) return "cannot read disk '" + path + "': " + std::strerror(errno);
            ::close(fd);
        }
        start = end + 1;
    }
    return {};
}

const command_s* find_command(const std::string& name) {
    for (const auto& command : commands())
        if (name == command.name) return &command;
    return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication application(argc, argv);
    register_device_meta_types();
    register_engine_meta_types();

    std::string error;
    auto arguments = parse_arguments(argc, argv, error);
    if (!arguments) return fail(exit_usage, error + " (see tarnwell --help)");
    if (arguments->command.empty()) {
        print_usage();
        return arguments->flag("--help") ? exit_ok : exit_usage;
    }
    const command_s* command = find_command(arguments->command);
    if (!command) return fail(exit_usage, "unknown command '" + arguments->command + "' (see tarnwell --help)");
    if (arguments->flag("--help")) {
        std::printf("Usage: %s\n", command->usage);
        return exit_ok;
    }
    if (auto problem = check_options(*arguments, command->options); !problem.empty())
        return fail(exit_usage, problem);

    if (auto disks = arguments->value("--disks")) ::setenv("TARNWELL_DISKS", disks->c_str(), 1);
    if (const char* disks = std::getenv("TARNWELL_DISKS")) {
        if (auto problem = check_disk_paths(disks); !problem.empty()) return fail(exit_usage, problem);
    }
    if (arguments->flag("--verbose"))
        platform::trace_to_stderr();
    else
        platform::trace_off();
    return command->run(*arguments);
}
