#pragma once
// Writes a record's unnamed data stream into a file: resident bytes, clusters along the run
// list with holes left as holes, LZNT1-compressed units decompressed, up to the data size.
#include <cstdint>

#include "vessor/record_summary.h"
#include "vessor/table_reader.h"

namespace vessor {

// 0 when exactly data_size bytes were written and the file closed cleanly, else a negative
// result code. The stream is checked before the target is created; a read or write failure
// after that leaves the file as far as it got.
int write_data_stream(const table_reader_c& table, const volume_source_c& volume, const record_summary_s& record,
                      const char* target_path);

}  // namespace vessor
