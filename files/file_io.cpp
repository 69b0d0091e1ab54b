// file_io.cpp: reading and replacing whole files, and the text line splitter
// shared by the ASC reader and pref.txt. POSIX file calls; no other state.
#include "files/files.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <limits>
#include <memory>
#include <new>
#include <utility>

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

// Opens a regular file for reading and gives its length; -1 for anything else.
// Non-blocking, so that naming a FIFO cannot hang the open.
int openRegularFile(const std::string& path, size_t& length)
{
    if (path.empty()) return -1;
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    struct stat info {};
    if (file.fd < 0 || ::fstat(file.fd, &info) != 0 || !S_ISREG(info.st_mode)) return -1;
    length = static_cast<size_t>(info.st_size);
    return std::exchange(file.fd, -1);
}

// Reads until the buffer is full or the file ends; the count read, or nothing on an error.
std::optional<size_t> readFully(int fd, std::span<std::byte> buffer)
{
    size_t used = 0;
    while (used < buffer.size()) {
        const ssize_t n = ::read(fd, buffer.data() + used, buffer.size() - used);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) break;
        used += static_cast<size_t>(n);
    }
    return used;
}

}  // namespace

uint64_t memoryAvailable()
{
    return std::min({systemMemoryAvailable(), softLimit(RLIMIT_AS), softLimit(RLIMIT_DATA)});
}

std::optional<FileBytes> readFileBytes(const std::string& path)
{
    size_t length = 0;
    FileDescriptor file(openRegularFile(path, length));
    if (file.fd < 0) return std::nullopt;

    // Refused before any allocation: a sparse or huge file must not end the program.
    if (length >= memoryAvailable()) throw std::bad_alloc();
    // The length is only a hint: the file may change while it is read. The
    // storage is not zero-filled, since the read overwrites what is kept.
    size_t capacity = length + 1;
    FileBytes bytes{std::make_unique_for_overwrite<std::byte[]>(capacity), 0};
    adviseLargePages(bytes.data(), capacity);
    for (;;) {
        if (bytes.length == capacity) {
            capacity *= 2;
            auto larger = std::make_unique_for_overwrite<std::byte[]>(capacity);
            std::copy_n(bytes.storage.get(), bytes.length, larger.get());
            bytes.storage = std::move(larger);
        }
        const auto n = readFully(file.fd, std::span(bytes.storage.get() + bytes.length, capacity - bytes.length));
        if (!n) return std::nullopt;
        bytes.length += *n;
        if (bytes.length < capacity) return bytes;
    }
}

bool readFileInPieces(const std::string& path, std::span<std::byte> buffer,
                      const std::function<void(size_t length)>& start,
                      const std::function<void(std::span<const std::byte> piece)>& piece)
{
    size_t length = 0;
    FileDescriptor file(openRegularFile(path, length));
    if (file.fd < 0) return false;
    start(length);
    while (length > 0) {
        const auto n = readFully(file.fd, buffer.first(std::min(buffer.size(), length)));
        if (!n) return false;
        if (*n > 0) piece(std::span<const std::byte>(buffer.first(*n)));
        if (*n < buffer.size()) break;  // the end, or the file became shorter
        length -= *n;
    }
    return true;
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

void adviseLargePages(const void* data, size_t bytes)
{
    constexpr uintptr_t largePage = uintptr_t{2} << 20;
    const auto start = (reinterpret_cast<uintptr_t>(data) + largePage - 1) & ~(largePage - 1);
    const auto end = (reinterpret_cast<uintptr_t>(data) + bytes) & ~(largePage - 1);
    if (end > start) ::madvise(reinterpret_cast<void*>(start), end - start, MADV_HUGEPAGE);
}

std::string_view nextTextLine(std::string_view text, size_t& pos)
{
    const size_t start = pos;
    size_t end = start;
    // Eight bytes at a time: in x ^ (b * ones) the bytes equal to b are zero,
    // and zeroBytes flags exactly the zero bytes of a word with their high bit.
    constexpr uint64_t ones = 0x0101010101010101ull, lows = 0x7F7F7F7F7F7F7F7Full;
    const auto zeroBytes = [](uint64_t y) { return ~(((y & lows) + lows) | y | lows); };
    for (; end + 8 <= text.size(); end += 8) {
        uint64_t x = 0;
        std::memcpy(&x, text.data() + end, sizeof x);
        const uint64_t found = zeroBytes(x) | zeroBytes(x ^ (ones * '\r')) | zeroBytes(x ^ (ones * '\n'));
        if (found != 0) {
            const int bit = std::endian::native == std::endian::little ? std::countr_zero(found) : std::countl_zero(found);
            end += static_cast<size_t>(bit) / 8;
            break;
        }
    }
    while (end < text.size() && text[end] != '\r' && text[end] != '\n' && text[end] != '\0') ++end;
    pos = end;
    if (pos < text.size()) {
        const bool crlf = text[pos] == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n';
        pos += crlf ? 2 : 1;
    }
    return text.substr(start, end - start);
}
