#include "platform/trace.h"

#include <atomic>
#include <cstdarg>
#include <mutex>

namespace platform {

namespace {
// Lets tracef skip formatting when no sink is set: the engines trace every entry they read.
std::atomic<bool> sink_set{true};

std::mutex& sink_lock() {
    static auto* lock = new std::mutex;  // never destroyed: engines may trace during exit
    return *lock;
}
trace_sink& current_sink() {
    static auto* sink = new trace_sink([](const std::string& text) {
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
    });
    return *sink;
}
}  // namespace

void set_trace_sink(trace_sink sink) {
    std::lock_guard guard(sink_lock());
    sink_set = static_cast<bool>(sink);
    current_sink() = std::move(sink);
}

void trace_to_stdout() {
    set_trace_sink([](const std::string& text) {
        std::fwrite(text.data(), 1, text.size(), stdout);
        std::fflush(stdout);
    });
}

void trace_to_stderr() {
    set_trace_sink([](const std::string& text) { std::fwrite(text.data(), 1, text.size(), stderr); });
}

void trace_off() {
    set_trace_sink({});
}

void trace(const std::string& text) {
    std::lock_guard guard(sink_lock());
    if (current_sink()) current_sink()(text);
}

void tracef(const char* format, ...) {
    if (!sink_set.load(std::memory_order_relaxed)) return;
    char small[512];
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    int length = std::vsnprintf(small, sizeof small, format, args);
    va_end(args);
    if (length < 0) {
        va_end(copy);
        return;
    }
    if (static_cast<size_t>(length) < sizeof small) {
        va_end(copy);
        trace(std::string(small, static_cast<size_t>(length)));
        return;
    }
    std::string text(static_cast<size_t>(length) + 1, '\0');
    std::vsnprintf(text.data(), text.size(), format, copy);
    va_end(copy);
    text.resize(static_cast<size_t>(length));
    trace(text);
}

}  // namespace platform
