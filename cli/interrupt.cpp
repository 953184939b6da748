#include "cli/interrupt.h"

#include <csignal>

namespace {
volatile std::sig_atomic_t interrupt_seen = 0;

void on_interrupt(int) {
    interrupt_seen = 1;
}
}  // namespace

void install_interrupt_handler() {
    struct sigaction action {};
    action.sa_handler = on_interrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

bool interrupted() {
    return interrupt_seen != 0;
}
