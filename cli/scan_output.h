#pragma once
// The folders of a scan and the rows each yields, as JSON or as text.
#include "cli/scan_run.h"

void print_scan(const scan_run_s& run, bool json);
