#include "cli/progress_bar.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>

progress_bar_c::progress_bar_c(std::string label) : label_(std::move(label)), terminal_(::isatty(STDERR_FILENO)) {}

progress_bar_c::~progress_bar_c() {
    finish();
}

void progress_bar_c::update(double fraction, const std::string& detail) {
    if (!terminal_) return;
    fraction = std::clamp(fraction, 0.0, 1.0);
    int permille = static_cast<int>(fraction * 1000);
    if (permille == last_permille_ && detail.empty()) return;
    last_permille_ = permille;
    constexpr int width = 30;
    int filled = static_cast<int>(fraction * width);
    std::string bar(static_cast<size_t>(filled), '#');
    bar.resize(width, '.');
    std::fprintf(stderr, "\r%s [%s] %5.1f%% %s\033[K", label_.c_str(), bar.c_str(), fraction * 100, detail.c_str());
    std::fflush(stderr);
    drawn_ = true;
}

void progress_bar_c::finish() {
    if (drawn_) std::fprintf(stderr, "\n");
    drawn_ = false;
}
