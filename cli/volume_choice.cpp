#include "cli/volume_choice.h"

#include "platform/volumes.h"

namespace {

bool parse_index(const std::string& text, long& index) {
    if (text.empty() || text.size() > 9) return false;
    index = 0;
    for (char c : text) {
        if (c < '0' || c > '9') return false;
        index = index * 10 + (c - '0');
    }
    return true;
}

QString without_trailing_separator(QString name) {
    if (name.endsWith('\\') || name.endsWith('/')) name.chop(1);
    return name;
}

}  // namespace

bool choose_volume(const std::string& argument, volume_item_s& volume, std::string& error) {
    enumerate_volumes();
    const auto& volumes = volume_list();
    long index = 0;
    if (parse_index(argument, index)) {
        if (index < 1 || index >= volumes.size()) {
            error = "no volume " + argument + " (see tarnwell volumes)";
            return false;
        }
        volume = volumes[index];
        return true;
    }
    const QString wanted = without_trailing_separator(QString::fromStdString(argument));
    int matches = 0;
    for (qsizetype i = 1; i < volumes.size(); ++i) {
        if (without_trailing_separator(volumes[i].volume_name) == wanted) {
            volume = volumes[i];
            ++matches;
        }
    }
    if (matches == 1) return true;
    error = matches == 0 ? "no volume named " + argument + " (see tarnwell volumes)"
                         : "more than one volume is named " + argument +
                               " (cloned disks?); name it by its index instead";
    return false;
}
