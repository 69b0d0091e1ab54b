// file_descriptor.h: private to files/: the one owner of a POSIX descriptor,
// used by the file writer and the two helper-process runners.
#pragma once

#include <unistd.h>

// Closes the descriptor when it goes out of scope; -1 holds none.
struct FileDescriptor {
    int fd = -1;
    FileDescriptor() = default;
    explicit FileDescriptor(int descriptor) : fd(descriptor) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor() { close(); }
    void close()
    {
        if (fd >= 0) ::close(fd);
        fd = -1;
    }
};
