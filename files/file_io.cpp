// file_io.cpp: reading and replacing whole files, and the text line splitter
// shared by the ASC reader and pref.txt. POSIX file calls; no other state.
#include "files/files.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <limits>
#include <memory>
#include <new>

namespace {

// Closes a POSIX descriptor when it goes out of scope.
struct FileDescriptor {
    int fd = -1;
    explicit FileDescriptor(int descriptor) : fd(descriptor) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor()
    {
        if (fd >= 0) ::close(fd);
    }
};

bool writeAll(int fd, std::span<const std::byte> bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes = bytes.subspan(static_cast<size_t>(n));
    }
    return true;
}

// Mode for the new file: the old file's, or what a plain create would give.
mode_t replacementMode(const std::string& target)
{
    struct stat old {};
    if (::stat(target.c_str(), &old) == 0) return old.st_mode & 07777;
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return 0666 & ~mask;
}

// The soft limit of a resource; no limit reads as the largest value.
uint64_t softLimit(int resource)
{
    struct rlimit limit {};
    if (::getrlimit(resource, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
        return std::numeric_limits<uint64_t>::max();
    return limit.rlim_cur;
}

// MemAvailable plus SwapFree of /proc/meminfo; the free pages when it cannot be read.
uint64_t systemMemoryAvailable()
{
    struct FileCloser {
        void operator()(std::FILE* f) const { std::fclose(f); }
    };
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen("/proc/meminfo", "r"));
    uint64_t kilobytes = 0;
    bool found = false;
    char line[256];
    while (file && std::fgets(line, sizeof line, file.get())) {
        unsigned long long value = 0;
        if (std::sscanf(line, "MemAvailable: %llu kB", &value) == 1 || std::sscanf(line, "SwapFree: %llu kB", &value) == 1) {
            kilobytes += value;
            found = true;
        }
    }
    if (found) return kilobytes * 1024;
    const long pages = ::sysconf(_SC_AVPHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    return pages > 0 && pageSize > 0 ? static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize)
                                     : std::numeric_limits<uint64_t>::max();
}

}  // namespace

uint64_t memoryAvailable()
{
    return std::min({systemMemoryAvailable(), softLimit(RLIMIT_AS), softLimit(RLIMIT_DATA)});
}

std::optional<std::vector<std::byte>> readFileBytes(const std::string& path)
{
    if (path.empty()) return std::nullopt;
    // Non-blocking, so that naming a FIFO cannot hang the read; it is refused below.
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (file.fd < 0) return std::nullopt;
    struct stat info {};
    if (::fstat(file.fd, &info) != 0 || !S_ISREG(info.st_mode)) return std::nullopt;

    // Refused before any allocation: a sparse or huge file must not end the program.
    if (static_cast<uint64_t>(info.st_size) >= memoryAvailable()) throw std::bad_alloc();
    // The size is only a hint: the file may change while it is read.
    std::vector<std::byte> bytes(static_cast<size_t>(info.st_size) + 1);
    size_t used = 0;
    for (;;) {
        if (used == bytes.size()) bytes.resize(bytes.size() * 2);
        const ssize_t n = ::read(file.fd, bytes.data() + used, bytes.size() - used);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) break;
        used += static_cast<size_t>(n);
    }
    bytes.resize(used);
    return bytes;
}

bool writeFileReplacing(const std::string& path, std::span<const std::byte> bytes)
{
    if (path.empty()) return false;
    // Through a symbolic link the file it names is replaced, not the link.
    std::string target = path;
    std::error_code error;
    if (std::filesystem::is_symlink(path, error)) {
        const auto resolved = std::filesystem::weakly_canonical(path, error);
        if (!error) target = resolved.string();
    }

    std::string temporary = target + ".XXXXXX";
    FileDescriptor file(::mkstemp(temporary.data()));
    if (file.fd < 0) return false;
    const bool written = ::fchmod(file.fd, replacementMode(target)) == 0 && writeAll(file.fd, bytes) &&
                         ::fsync(file.fd) == 0;
    const bool closed = ::close(file.fd) == 0;
    file.fd = -1;
    if (!written || !closed || ::rename(temporary.c_str(), target.c_str()) != 0) {
        ::unlink(temporary.c_str());
        return false;
    }
    return true;
}

std::string_view nextTextLine(std::string_view text, size_t& pos)
{
    const size_t start = pos;
    size_t end = start;
    while (end < text.size() && text[end] != '\r' && text[end] != '\n' && text[end] != '\0') ++end;
    pos = end;
    if (pos < text.size()) {
        const bool crlf = text[pos] == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n';
        pos += crlf ? 2 : 1;
    }
    return text.substr(start, end - start);
}
