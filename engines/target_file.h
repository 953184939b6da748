#pragma once
// A recovered file being written: created or replaced, never through a symbolic link, and
// counted as written only when every write and the close succeeded.
#include <QString>
#include <cstddef>

class target_file_c {
public:
    explicit target_file_c(const QString& path);
    ~target_file_c();
    target_file_c(const target_file_c&) = delete;
    target_file_c& operator=(const target_file_c&) = delete;

    bool is_open() const { return fd_ >= 0; }
    // False once any write has failed (a full disk, an I/O error).
    bool write(const void* data, size_t length);
    // Closes the file; false when a write or the close failed.
    bool close();

private:
    int fd_ = -1;
    bool failed_ = false;
};
