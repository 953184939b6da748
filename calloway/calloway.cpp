#include "calloway/calloway.h"

#include <climits>
#include <mutex>
#include <string>

#include "calloway/carver_set.h"
#include "calloway/config.h"
#include "calloway/formats/registry.h"
#include "calloway/scan.h"
#include "platform/device.h"
#include "platform/trace.h"

struct carve_volume_s {
    platform::device_handle device;
    uint64_t size = 0;
    uint64_t position = 0;
};

namespace {

std::mutex config_mutex;
calloway::carve_config_s current_config;  // every built-in type on until carve_init says otherwise

calloway::carve_config_s config_snapshot() {
    std::lock_guard guard(config_mutex);
    return current_config;
}

}  // namespace

extern "C" {

int carve_init(const char* config_path) {
    calloway::carve_config_s config;
    bool read = config_path && calloway::load_config(config_path, calloway::builtin_type_names(), config);
    std::lock_guard guard(config_mutex);
    current_config = std::move(config);
    return read ? 0 : -1;
}

int carve_scan(carve_params* params, const char* volume_path) {
    return carve_scan_with_report(params, volume_path, nullptr);
}

int carve_scan_with_report(carve_params* params, const char* volume_path, carve_report_s* report) {
    if (!params || !volume_path) return -1;
    carve_report_s result;
    auto device = platform::device_open(volume_path, platform::access_read);
    if (!device) {
        platform::tracef("Calloway: cannot open %s: %s\n", volume_path, platform::last_error().c_str());
        if (report) *report = result;
        return -1;
    }
    calloway::carver_set_c carvers(calloway::builtin_formats(), config_snapshot());
    if (!calloway::scan_volume(device, carvers, *params, result)) {
        platform::tracef("Calloway: no memory for the scan of %s\n", volume_path);
        if (report) *report = result;
        return -1;
    }
    if (result.unreadable_blocks)
        platform::tracef("Calloway: %llu unreadable blocks (%llu bytes) skipped on %s\n",
                         static_cast<unsigned long long>(result.unreadable_blocks),
                         static_cast<unsigned long long>(result.unreadable_bytes), volume_path);
    if (report) *report = result;
    return 0;
}

carve_handle carve_open(const char* volume_path) {
    if (!volume_path) return nullptr;
    auto device = platform::device_open(volume_path, platform::access_read);
    if (!device) return nullptr;
    auto* handle = new carve_volume_s;
    handle->size = platform::device_size(device);
    handle->device = std::move(device);
    return handle;
}

int carve_seek(carve_handle handle, int64_t position, int origin) {
    if (!handle) return -1;
    int64_t base = 0;
    if (origin == 1)
        base = static_cast<int64_t>(handle->position);
    else if (origin == 2)
        base = static_cast<int64_t>(handle->size);
    else if (origin != 0)
        return -1;
    int64_t target = 0;
    if (__builtin_add_overflow(base, position, &target) || target < 0 ||
        static_cast<uint64_t>(target) > handle->size)
        return -1;
    handle->position = static_cast<uint64_t>(target);
    return 0;
}

int carve_read(carve_handle handle, void* buffer, int byte_count) {
    if (!handle || !buffer || byte_count < 0) return -1;
    auto* out = static_cast<uint8_t*>(buffer);
    size_t wanted = static_cast<size_t>(byte_count);
    size_t done = 0;
    while (done < wanted) {
        int64_t n = platform::device_read(handle->device, out + done, wanted - done, handle->position + done);
        if (n < 0 && done == 0) return -1;
        if (n <= 0) break;  // the end of the volume, or an error after some bytes: those bytes count
        done += static_cast<size_t>(n);
    }
    handle->position += done;
    return static_cast<int>(done);
}

int carve_close(carve_handle handle) {
    if (!handle) return -1;
    delete handle;
    return 0;
}

}  // extern "C"
