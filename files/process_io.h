// process_io.h: private to files/: the one owner of a POSIX descriptor, used by
// the file writer and the two helper-process runners, and the helpers' start.
#pragma once

#include <signal.h>
#include <spawn.h>
#include <unistd.h>

#include <string>

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
