#pragma once
// Small valid files of every type the carving library knows, made by the tests themselves:
// pictures through Qt's image writers, the rest built field by field.
#include <string>
#include <vector>

#include "tests/calloway/byte_writer.h"

namespace samples {

struct sample_s {
    std::string name;  // what the test case is called
    std::string type;  // the type the library reports for it
    bytes data;
};

// One sample of each kind (some types in several variants).
const std::vector<sample_s>& all();
// The sample of that name; aborts the test binary when there is none.
const sample_s& named(const std::string& name);

// Pseudo-random bytes, the same for the same seed.
bytes noise(size_t count, uint32_t seed);

// Builders used by more than one test.
bytes qt_image(const char* format);
struct zip_entry_s {
    std::string name;
    bytes content;
    bool deflate = true;
    bool descriptor = false;  // sizes after the data, as streaming writers do
    size_t extra = 0;         // padding in the extra field
};
bytes zip_archive(const std::vector<zip_entry_s>& entries, const bytes& before_directory = {});

// Per family, appended to the list by all().
void add_pictures(std::vector<sample_s>& out);
void add_archives(std::vector<sample_s>& out);
void add_media(std::vector<sample_s>& out);
void add_documents(std::vector<sample_s>& out);

uint32_t crc32_of(const bytes& data, size_t offset = 0, size_t length = SIZE_MAX);
bytes deflate_raw(const bytes& data);

}  // namespace samples
