#include "engines/polled_engine.h"

#include <chrono>
#include <thread>

void polled_engine_c::reset_state() {
    progress_ = 0.0;
    pause_ = 0;
    stop_ = 0;
    scanned_count_ = 0;
    found_count_ = 0;
}

bool polled_engine_c::wait_while_paused() {
    while (pause()) {
        if (stop() != 0) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
    return stop() == 0;
}
