// A signature of the user's own from Tarnwell.conf: a header at the start of a sector and,
// when given, a footer that ends the file; without a footer the file is the maximum long.
#include "calloway/carver_set.h"

namespace calloway {

carver_s custom_carver(const custom_signature_s& signature) {
    carver_s carver;
    carver.type = signature.type;
    carver.first_bytes = signature.header.substr(0, 1);
    carver.max_length = signature.max_length;
    std::string header = signature.header;
    std::string footer = signature.footer;
    carver.header_matches = [header](const platform::byte_reader& head) {
        return head.matches(0, header.data(), header.size());
    };
    carver.measure = [header, footer](source_c& file) -> carve_result_s {
        if (footer.empty()) return {file.limit(), {}};
        auto at = file.find(footer, header.size(), file.limit());
        if (!at) return {};
        return {*at + footer.size(), {}};
    };
    return carver;
}

}  // namespace calloway
