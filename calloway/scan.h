#pragma once
// The search: every 512-byte boundary of the volume is tested against the signatures; after a
// file whose structure holds up, the search goes on behind its end.
#include "calloway/calloway.h"
#include "calloway/carver_set.h"
#include "platform/device.h"

namespace calloway {

constexpr uint64_t sector_size = 512;

// Returns when the end of the volume is reached or params.stop is set; false when the scan
// could not start (no memory for its buffers).
bool scan_volume(const platform::device_handle& device, const carver_set_c& carvers, carve_params& params,
                 carve_report_s& report);

}  // namespace calloway
