#pragma once
// Runs a piece of work and its raw-read baseline with a cold page cache (when allowed) and then
// warm, and prints both ratios.
#include <algorithm>
#include <cstdio>
#include <functional>

#include "bench/engines/bench_support.h"

namespace bench {

inline void compare_cold_and_warm(const char* label, const std::function<double()>& work,
                                  const std::function<double()>& raw) {
    char name[64];
    if (drop_page_cache()) {
        double work_cold = work();
        drop_page_cache();
        double raw_cold = raw();
        std::snprintf(name, sizeof name, "%s, cold", label);
        report_ratio(name, work_cold, raw_cold);
    } else {
        std::printf("%s: the page cache cannot be dropped (not root); warm figures only\n", label);
    }
    raw();  // both warm runs start with everything cached
    double work_warm = work(), raw_warm = raw();
    for (int round = 1; round < 3; ++round) {  // the best of three: the machine is shared and noisy
        work_warm = std::min(work_warm, work());
        raw_warm = std::min(raw_warm, raw());
    }
    std::snprintf(name, sizeof name, "%s, warm", label);
    report_ratio(name, work_warm, raw_warm);
}

}  // namespace bench
