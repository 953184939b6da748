#pragma once
// Writing the rows of a finished scan into a target folder: DIR/<folder path>/<name>, with safe
// and unique names, refusing a target on the scanned volume.
#include <QString>
#include <cstdint>
#include <set>

#include "cli/arguments.h"
#include "cli/scan_run.h"

// The target folder made absolute and created; exit status (0 when usable).
int prepare_target(const std::string& argument, QString& target);
// Refuses (exit 2) a target on the volume being recovered unless --force is given.
int check_target(const arguments_s& arguments, const scan_run_s& run, const QString& target);
// The --id values; exit status 2 with a message on a bad one.
int parse_ids(const arguments_s& arguments, std::set<uint64_t>& ids);
// Writes every row (or those of ids), prints the summary and returns the exit status.
int write_rows(scan_run_s& run, const QString& target, const std::set<uint64_t>& ids);
