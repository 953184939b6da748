#pragma once
// The console trace lines of the engines and the sector layer go through one sink:
// standard output in the GUI, standard error with --verbose in the CLI, nowhere otherwise.
#include <cstdio>
#include <functional>
#include <string>

namespace platform {

using trace_sink = std::function<void(const std::string&)>;

// Default sink: standard output.
void set_trace_sink(trace_sink sink);
void trace_to_stdout();
void trace_to_stderr();
void trace_off();

// Writes text as it stands (callers put the line ends where the console lines have them).
void trace(const std::string& text);
void tracef(const char* format, ...) __attribute__((format(printf, 1, 2)));

}  // namespace platform
