#pragma once
// What every fuzz target shares: the in-memory disk the input becomes, a private scratch
// folder for recovered files, and the check that a reader never wrote to the disk it read.
#include <cstddef>
#include <cstdint>
#include <string>

namespace fuzz {

// The disk "mem:fuzz", disk 0 of the disk list. Prepared once per process: traces off, the
// disk list set, the drive table opened (drive 0 is never polled, so the bytes may change
// between inputs without another thread looking).
void prepare_memory_disk();
constexpr const char* memory_disk_path = "mem:fuzz";

// Makes the disk hold the input, zero-padded to at least min_size bytes (and to whole
// 512-byte sectors).
void load_disk(const uint8_t* data, size_t size, size_t min_size = 0);
// Aborts when the disk no longer holds what load_disk put there: nothing may write to a
// scanned volume.
void require_disk_unchanged();

// A folder of this process for files the targets write, emptied by clear_scratch().
const std::string& scratch_folder();
void clear_scratch();

// Aborts with a message (a finding for the fuzzer) unless the condition holds.
void require(bool condition, const char* what);

}  // namespace fuzz
