// Every carving format's header test and length function on a volume that is the input, the
// candidate file starting at its first byte.
#include <algorithm>
#include <atomic>

#include "calloway/block_window.h"
#include "calloway/format.h"
#include "calloway/formats/registry.h"
#include "calloway/volume_reader.h"
#include "platform/device.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    fuzz::prepare_memory_disk();
    fuzz::load_disk(data, size);
    auto device = platform::device_open(fuzz::memory_disk_path, platform::access_read);
    const uint64_t volume_size = platform::device_size(device);
    std::atomic<int32_t> stop{0};
    calloway::volume_reader_c volume(device, volume_size, stop);
    platform::byte_reader head(data, std::min(size, calloway::block_window_c::lookahead));
    for (const calloway::format_descriptor_s& format : calloway::builtin_formats()) {
        if (!format.header_matches(head)) continue;
        calloway::source_c file(volume, 0, std::min(format.max_length, volume_size));
        calloway::carve_result_s result = format.measure(file);
        // A named type must be the format's own or one it declares.
        if (!result.type.empty())
            fuzz::require(result.type == format.type || format.other_types.find(result.type) != std::string_view::npos,
                          "a format named a type it does not declare");
    }
    fuzz::require_disk_unchanged();
    return 0;
}
