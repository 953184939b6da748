#include "engines/target_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

target_file_c::target_file_c(const QString& path) {
    const QByteArray native = path.toLocal8Bit();
    fd_ = ::open(native.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0644);
}

target_file_c::~target_file_c() {
    close();
}

bool target_file_c::write(const void* data, size_t length) {
    if (fd_ < 0 || failed_) return false;
    const auto* bytes = static_cast<const char*>(data);
    while (length > 0) {
        ssize_t n = ::write(fd_, bytes, length);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            failed_ = true;
            return false;
        }
        bytes += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

bool target_file_c::close() {
    if (fd_ < 0) return !failed_;
    if (::close(fd_) != 0) failed_ = true;
    fd_ = -1;
    return !failed_;
}
