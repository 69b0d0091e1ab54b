// process_io.h: private to files/: the one owner of a POSIX descriptor, used by
// the file reader and writer and the two helper-process runners, the helpers'
// start, and reading a file in pieces.
#pragma once

#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include <cstddef>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

extern char** environ;

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

// Starts program with the descriptor actions given, default handling for every
// signal and none blocked, whatever this process set up. posix_spawn's error
// number: 0 when the child runs.
inline int spawnHelper(pid_t& child, const std::string& program, const posix_spawn_file_actions_t& actions,
                       char* const arguments[])
{
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    sigset_t signals;
    sigfillset(&signals);
    posix_spawnattr_setsigdefault(&attributes, &signals);
    sigemptyset(&signals);
    posix_spawnattr_setsigmask(&attributes, &signals);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);
    const int spawned = ::posix_spawn(&child, program.c_str(), &actions, &attributes, arguments, environ);
    posix_spawnattr_destroy(&attributes);
    return spawned;
}

// Opens a regular file for reading and gives its length; -1 when the path
// names nothing readable or no regular file.
int openRegularFile(const std::string& path, size_t& length);
// Reads from the offset until the buffer is full or the file ends; the count
// read, or nothing on an error.
std::optional<size_t> readFileAt(int fd, std::span<std::byte> buffer, size_t offset);
// Calls lines() with the bytes from `from` up to `to` (or to the file's end
// when that comes first) in order, read in pieces into the buffer, each piece
// ending where a line ends as nextTextLine splits them, the last at the end.
// The buffer grows only for a line longer than it. False on a read error.
bool forEachFileText(int fd, size_t from, size_t to, std::vector<char>& buffer,
                     const std::function<void(std::string_view lines)>& lines);
