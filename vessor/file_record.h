#pragma once
// File records of the master file table: update-sequence fix-ups, the header, the attributes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/byte_reader.h"

namespace vessor {

constexpr uint32_t attribute_standard_information = 0x10;
constexpr uint32_t attribute_attribute_list = 0x20;
constexpr uint32_t attribute_file_name = 0x30;
constexpr uint32_t attribute_data = 0x80;
constexpr uint32_t attribute_end = 0xFFFFFFFF;

constexpr uint16_t record_flag_in_use = 0x01;
constexpr uint16_t record_flag_folder = 0x02;

constexpr uint16_t attribute_flag_compressed = 0x0001;
constexpr uint16_t attribute_flag_encrypted = 0x4000;
constexpr uint16_t attribute_flag_sparse = 0x8000;

// Applies the update-sequence fix-ups of a record or index block in place. False (and the
// block must not be used) when the array does not fit or a protected stride does not end in
// the update sequence number.
bool apply_fixups(uint8_t* block, size_t size);

struct record_header_s {
    uint16_t sequence = 0;
    uint16_t flags = 0;
    uint32_t first_attribute = 0;
    uint32_t bytes_used = 0;
    uint64_t base_reference = 0;  // 0 for a base record
};

// Reads the header of a fixed-up record: "FILE", offsets inside the record.
bool parse_record_header(const platform::byte_reader& record, record_header_s& header);

struct attribute_s {
    uint32_t type = 0;
    std::u16string name;
    bool nonresident = false;
    uint16_t flags = 0;
    uint16_t id = 0;
    platform::byte_reader value;          // resident
    uint64_t start_vcn = 0;               // non-resident from here on
    uint64_t last_vcn = 0;
    uint16_t compression_unit = 0;
    uint64_t allocated_size = 0;
    uint64_t data_size = 0;
    uint64_t initialized_size = 0;
    platform::byte_reader mapping_pairs;
};

// Lists the attributes of a fixed-up record; every header, name, value and run list is checked
// against the record's used bytes. The views point into the record's buffer. False when the
// attribute chain is malformed.
bool list_attributes(const platform::byte_reader& record, const record_header_s& header,
                     std::vector<attribute_s>& attributes);

}  // namespace vessor
