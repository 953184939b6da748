#include "results/target_names.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace {

constexpr qsizetype name_bytes_limit = 255;

qsizetype utf8_size(const QString& text) {
    return text.toUtf8().size();
}

// Drops characters from the end of stem until stem + tail fits the limit (never splitting a
// surrogate pair).
QString fit(QString stem, const QString& tail) {
    while (!stem.isEmpty() && utf8_size(stem) + utf8_size(tail) > name_bytes_limit) {
        stem.chop(stem.size() >= 2 && stem.back().isLowSurrogate() ? 2 : 1);
    }
    return stem + tail;
}

// Splits "name.ext" into "name" and ".ext"; a leading dot or a very long "extension" is no extension.
std::pair<QString, QString> split_extension(const QString& name) {
    qsizetype dot = name.lastIndexOf('.');
    if (dot <= 0 || name.size() - dot > 32) return {name, QString()};
    return {name.left(dot), name.mid(dot)};
}

}  // namespace

QString safe_file_name(const QString& name) {
    QString safe = name;
    for (QChar& c : safe)
        if (c == '/' || c == QChar(0)) c = '_';
    if (safe.isEmpty() || safe == "." || safe == "..") return "_";
    if (utf8_size(safe) <= name_bytes_limit) return safe;
    auto [stem, extension] = split_extension(safe);
    if (utf8_size(extension) >= name_bytes_limit) return fit(safe, QString());
    return fit(stem, extension);
}

QString join_target_path(const QString& folder, const QString& name) {
    QString base = folder;
    if (base.size() > 1 && base.endsWith('/')) base.chop(1);
    return base + "/" + safe_file_name(name);
}

QString target_names_c::claim(const QString& path) {
    if (!used_.contains(path)) {
        used_.insert(path);
        return path;
    }
    qsizetype slash = path.lastIndexOf('/');
    QString folder = path.left(slash + 1);
    auto [stem, extension] = split_extension(path.mid(slash + 1));
    for (int n = 2;; ++n) {
        QString candidate = folder + fit(stem, QString(" (%1)").arg(n) + extension);
        if (!used_.contains(candidate)) {
            used_.insert(candidate);
            return candidate;
        }
    }
}

bool make_target_folders(const QString& base, const QStringList& components, QString& out, QString& error) {
    QString path = base;
    if (path.size() > 1 && path.endsWith('/')) path.chop(1);
    for (const QString& component : components) {
        path += "/" + safe_file_name(component);
        const QByteArray native = path.toLocal8Bit();
        if (::mkdir(native.constData(), 0755) != 0 && errno != EEXIST) {
            error = path + ": " + QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
        struct stat info {};
        if (::lstat(native.constData(), &info) != 0 || !S_ISDIR(info.st_mode)) {
            error = path + ": exists and is not a folder (symbolic links are not followed)";
            return false;
        }
    }
    out = path;
    return true;
}
