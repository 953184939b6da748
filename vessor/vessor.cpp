// The library's four calls. The context block holds a handle to the session; the handle is
// looked up in a registry before use, so a stale, copied or garbage block is refused rather
// than followed.
#include "vessor/vessor.h"

#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <new>

#include "platform/byte_reader.h"
#include "vessor/scan_session.h"

namespace {

constexpr size_t handle_offset = 16;

struct registry_s {
    std::mutex mutex;
    std::map<uint64_t, std::shared_ptr<vessor::scan_session_c>> sessions;
    uint64_t next_handle = 1;
};

// Never destroyed: a context may still be cleaned up during static destruction.
registry_s& registry() {
    static auto* instance = new registry_s;
    return *instance;
}

uint64_t handle_of(const void* context) {
    return platform::byte_reader(static_cast<const uint8_t*>(context), vessor::context_size).u64(handle_offset);
}

std::shared_ptr<vessor::scan_session_c> find_session(const void* context) {
    if (!context || !vessor::context_is_open(context)) return nullptr;
    registry_s& r = registry();
    std::lock_guard lock(r.mutex);
    auto it = r.sessions.find(handle_of(context));
    return it == r.sessions.end() ? nullptr : it->second;
}

std::shared_ptr<vessor::scan_session_c> take_session(void* context) {
    if (!context || !vessor::context_is_open(context)) return nullptr;
    registry_s& r = registry();
    std::lock_guard lock(r.mutex);
    auto it = r.sessions.find(handle_of(context));
    if (it == r.sessions.end()) return nullptr;
    auto session = it->second;
    r.sessions.erase(it);
    return session;
}

}  // namespace

extern "C" {

int ntfs_scan_startup(const char* device_name, void* context) {
    if (!device_name || !context) return vessor::error_argument;
    try {
        take_session(context);  // a context left open on this block ends here
        auto* block = static_cast<uint8_t*>(context);
        std::memset(block, 0, vessor::context_size);
        auto session = std::make_shared<vessor::scan_session_c>();
        int result = session->start(device_name, block);
        if (result != vessor::result_ok) {
            std::memset(block, 0, vessor::context_size);
            return result;
        }
        registry_s& r = registry();
        std::lock_guard lock(r.mutex);
        uint64_t handle = r.next_handle++;
        r.sessions[handle] = session;
        platform::put_le(block + handle_offset, handle, 8);
        return vessor::result_ok;
    } catch (...) {
        std::memset(context, 0, vessor::context_size);
        return vessor::error_internal;
    }
}

int ntfs_scan_next(void* context, void* record) {
    if (!record) return 0;
    try {
        auto session = find_session(context);
        if (!session) return 0;
        std::lock_guard lock(session->mutex());
        return session->next(static_cast<uint8_t*>(record), static_cast<uint8_t*>(context)) ? 1 : 0;
    } catch (...) {
        return 0;
    }
}

int ntfs_scan_cleanup(void* context) {
    try {
        auto session = take_session(context);
        if (!session) return vessor::error_argument;
        std::lock_guard lock(session->mutex());  // waits for a call still running on it
        std::memset(context, 0, vessor::context_size);
        return vessor::result_ok;
    } catch (...) {
        return vessor::error_internal;
    }
}

int ntfs_recover_file(void* context, uint64_t record_number, const char* target_path, uint32_t* detail) {
    int result = vessor::error_argument;
    try {
        auto session = find_session(context);
        if (session && target_path) {
            std::lock_guard lock(session->mutex());
            result = session->recover(record_number, target_path);
        }
    } catch (...) {
        result = vessor::error_internal;
    }
    if (detail) *detail = static_cast<uint32_t>(result);
    return result;
}

}  // extern "C"
