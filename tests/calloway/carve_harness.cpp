#include "tests/calloway/carve_harness.h"

#include <cstring>
#include <stdexcept>

#include "platform/test_seam.h"
#include "tests/calloway/samples.h"

namespace carve_test {

std::ostream& operator<<(std::ostream& out, const found_s& file) {
    return out << "{" << file.type << " at " << file.offset << ", " << file.length << " bytes}";
}

recorded_scan_s::recorded_scan_s() {
    params.context = this;
    params.found = [](void* context, const char* type_name, int64_t offset, uint64_t length) {
        auto* self = static_cast<recorded_scan_s*>(context);
        self->outcome.files.push_back({type_name, offset, length});
        self->outcome.progress_at_find.push_back(self->params.progress.load(std::memory_order_relaxed));
        if (self->after_find) self->after_find(*self);
    };
}

void recorded_scan_s::run(const std::string& volume_path) {
    outcome.status = carve_scan_with_report(&params, volume_path.c_str(), &outcome.report);
}

scan_outcome_s scan(const std::string& volume_path) {
    recorded_scan_s session;
    session.run(volume_path);
    return session.outcome;
}

volume_image::volume_image(size_t size, uint32_t seed)
    : data_(std::make_shared<samples::bytes>(samples::noise(size, seed))) {}

uint64_t volume_image::place(uint64_t offset, const samples::bytes& file) {
    if (offset > data_->size() || file.size() > data_->size() - offset) throw std::out_of_range("sample does not fit");
    std::memcpy(data_->data() + offset, file.data(), file.size());
    return offset;
}

std::string volume_image::as_memory_disk(const std::string& name) const {
    platform::test::add_memory_disk(name, data_);
    return "mem:" + name;
}

uint64_t round_up_to_sector(uint64_t value) {
    return (value + 511) / 512 * 512;
}

}  // namespace carve_test
