// The carving configuration as the input: parsed, turned into the set of signatures a scan
// tests, and that set tried at every sector of a volume holding the same bytes.
#include <algorithm>
#include <atomic>
#include <string_view>

#include "calloway/block_window.h"
#include "calloway/carver_set.h"
#include "calloway/config.h"
#include "calloway/formats/registry.h"
#include "calloway/volume_reader.h"
#include "platform/device.h"
#include "tests/fuzz/fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const auto known = calloway::builtin_type_names();
    auto config = calloway::parse_config(std::string_view(reinterpret_cast<const char*>(data), size), known);
    for (const calloway::custom_signature_s& signature : config.custom) {
        fuzz::require(!signature.header.empty(), "a custom signature without a header");
        fuzz::require(signature.max_length > 0, "a custom signature without a maximum size");
    }
    calloway::carver_set_c carvers(calloway::builtin_formats(), config);

    fuzz::prepare_memory_disk();
    fuzz::load_disk(data, size);
    auto device = platform::device_open(fuzz::memory_disk_path, platform::access_read);
    const uint64_t volume_size = platform::device_size(device);
    std::atomic<int32_t> stop{0};
    calloway::volume_reader_c volume(device, volume_size, stop);
    for (uint64_t position = 0; position < std::min<uint64_t>(size, 8 * 512); position += 512) {
        platform::byte_reader head(data + position, std::min<size_t>(size - position, calloway::block_window_c::lookahead));
        auto file = carvers.match(head, volume, position);
        if (file) fuzz::require(file->length <= volume_size - position, "a custom file past the end of the volume");
    }
    return 0;
}
