#include "devices/volume_list.h"

QString format_size(uint64_t bytes) {
    const double value = static_cast<double>(bytes);
    if (bytes > 1073741824ULL) return QString::asprintf("%.2fG", value / 1073741824.0);
    if (bytes > 1048576ULL) return QString::asprintf("%.2fM", value / 1048576.0);
    if (bytes > 1024ULL) return QString::asprintf("%.2fK", value / 1024.0);
    return QString::asprintf("%dB", static_cast<int>(bytes));
}
