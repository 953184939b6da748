#pragma once
// Ctrl-C: the first one asks the running work to stop; the command then exits with 130.
void install_interrupt_handler();
bool interrupted();
