// file_io.cpp: reading whole files, the memory a read may take, two threads
// side by side, and the text line splitter shared by the ASC reader and
// pref.txt. POSIX file calls; no state. (Writing is file_write.cpp's.)
#include "files/files.h"
#include "files/process_io.h"

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <algorithm>
#include <bit>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <limits>
#include <memory>
#include <new>
#include <thread>
#include <utility>

namespace {

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
    const auto storage = [](size_t capacity) {
        return std::unique_ptr<std::byte[], FileBytes::Release>(static_cast<std::byte*>(allocateLargeList(capacity)),
                                                                {capacity});
    };
    size_t capacity = length + 1;
    FileBytes bytes{storage(capacity), 0};
    for (;;) {
        if (bytes.length == capacity) {
            capacity *= 2;
            auto larger = storage(capacity);
            std::copy_n(bytes.storage.get(), bytes.length, larger.get());
            bytes.storage = std::move(larger);
        }
        const auto n = readFileAt(file.fd, std::span(bytes.storage.get() + bytes.length, capacity - bytes.length), bytes.length);
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
    for (size_t offset = 0; length > 0; offset += buffer.size(), length -= buffer.size()) {
        const auto n = readFileAt(file.fd, buffer.first(std::min(buffer.size(), length)), offset);
        if (!n) return false;
        if (*n > 0) piece(std::span<const std::byte>(buffer.first(*n)));
        if (*n < buffer.size()) break;  // the end, or the file became shorter
    }
    return true;
}

std::optional<size_t> readFileAt(int fd, std::span<std::byte> buffer, size_t offset)
{
    size_t used = 0;
    while (used < buffer.size()) {
        const ssize_t n = ::pread(fd, buffer.data() + used, buffer.size() - used, static_cast<off_t>(offset + used));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return std::nullopt;
        if (n == 0) break;
        used += static_cast<size_t>(n);
    }
    return used;
}

bool forEachFileText(int fd, size_t from, size_t to, std::vector<char>& buffer,
                     const std::function<void(std::string_view lines)>& lines)
{
    size_t held = 0;  // bytes at the buffer's start not yet passed on
    size_t offset = from;
    bool atEnd = from >= to;
    while (!atEnd) {
        if (held == buffer.size()) buffer.resize(2 * buffer.size() + 4096);  // a line longer than the buffer
        const size_t wanted = std::min(buffer.size() - held, to - offset);
        const auto n = readFileAt(fd, std::as_writable_bytes(std::span(buffer)).subspan(held, wanted), offset);
        if (!n) return false;
        held += *n;
        offset += *n;
        atEnd = *n < wanted || offset == to;
        // Whole lines end at the last line end read, but not at a last byte
        // CR: the byte that tells CR LF from CR is not read yet.
        size_t whole = held;
        if (!atEnd) {
            const std::string_view text(buffer.data(), buffer[held - 1] == '\r' ? held - 1 : held);
            const size_t last = text.find_last_of(std::string_view("\r\n\0", 3));
            whole = last == std::string_view::npos ? 0 : last + 1;
        }
        if (whole > 0) lines(std::string_view(buffer.data(), whole));
        std::copy(buffer.begin() + static_cast<ptrdiff_t>(whole), buffer.begin() + static_cast<ptrdiff_t>(held),
                  buffer.begin());
        held -= whole;
    }
    return true;
}

void runSideBySide(const std::function<void()>& first, const std::function<void()>& second)
{
    // An exception leaving a thread would end the program: it is carried over.
    std::exception_ptr secondFailed;
    {
        std::jthread other;
        try {
            other = std::jthread([&] {
                try {
                    second();
                } catch (...) {
                    secondFailed = std::current_exception();
                }
            });
        } catch (const std::exception&) {  // no thread, or no memory to start one
            second();
        }
        first();
    }
    if (secondFailed) std::rethrow_exception(secondFailed);
}

namespace {

// Position of the first CR, LF or NUL at or after `end`; the text's size when none.
size_t lineEndFrom(std::string_view text, size_t end)
{
#if defined(__SSE2__)
    // Sixteen bytes at a time, compared at once.
    const __m128i cr = _mm_set1_epi8('\r'), lf = _mm_set1_epi8('\n'), nul = _mm_setzero_si128();
    for (; end + 16 <= text.size(); end += 16) {
        const __m128i x = _mm_loadu_si128(reinterpret_cast<const __m128i*>(text.data() + end));
        const __m128i ends =
            _mm_or_si128(_mm_or_si128(_mm_cmpeq_epi8(x, cr), _mm_cmpeq_epi8(x, lf)), _mm_cmpeq_epi8(x, nul));
        if (const auto found = static_cast<unsigned>(_mm_movemask_epi8(ends)); found != 0)
            return end + static_cast<size_t>(std::countr_zero(found));
    }
#endif
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
            return end + static_cast<size_t>(bit) / 8;
        }
    }
    while (end < text.size() && text[end] != '\r' && text[end] != '\n' && text[end] != '\0') ++end;
    return end;
}

}  // namespace

std::string_view nextTextLine(std::string_view text, size_t& pos)
{
    const size_t start = pos;
    const size_t end = lineEndFrom(text, start);
    pos = end;
    if (pos < text.size()) {
        const bool crlf = text[pos] == '\r' && pos + 1 < text.size() && text[pos + 1] == '\n';
        pos += crlf ? 2 : 1;
    }
    return text.substr(start, end - start);
}
