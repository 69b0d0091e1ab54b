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
#include <array>
#include <bit>
#include <cerrno>
#include <charconv>
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

constexpr uint64_t unlimited = std::numeric_limits<uint64_t>::max();

// The soft limit of a resource; no limit reads as the largest value.
uint64_t softLimit(int resource)
{
    struct rlimit limit {};
    if (::getrlimit(resource, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY) return unlimited;
    return limit.rlim_cur;
}

// A small text file whole (the kernel's own files report a size of 0); empty
// when it cannot be read.
std::string smallFileText(const std::string& path)
{
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    std::string text(65536, '\0');
    const auto n = file.fd >= 0 ? readFileAt(file.fd, std::as_writable_bytes(std::span(text)), 0) : std::nullopt;
    text.resize(n ? *n : 0);
    return text;
}

// The whole number at the start of the text (after blanks); nothing when there is none.
std::optional<uint64_t> leadingNumber(std::string_view text)
{
    text.remove_prefix(std::min(text.find_first_not_of(" \t"), text.size()));
    uint64_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc()) return std::nullopt;
    return value;
}

// The number after "NAME" (and its blanks or colon) at a line start; nothing when no line has it.
std::optional<uint64_t> namedNumber(std::string_view text, std::string_view name)
{
    for (size_t at = 0; at < text.size();) {
        const std::string_view line = nextTextLine(text, at);
        const bool named = line.starts_with(name) && line.size() > name.size();
        if (named && (line[name.size()] == ' ' || line[name.size()] == ':'))
            return leadingNumber(line.substr(name.size() + 1));
    }
    return std::nullopt;
}

// True when the comma-separated list holds the word.
bool listHolds(std::string_view list, std::string_view word)
{
    for (size_t at = 0; at <= list.size();) {
        const size_t end = std::min(list.find(',', at), list.size());
        if (list.substr(at, end - at) == word) return true;
        at = end + 1;
    }
    return false;
}

// What a cgroup's memory controller still lets its processes take: its limit
// minus its use, the inactive file cache it drops before it fails counted as
// free; nothing when it sets no limit.
std::optional<uint64_t> cgroupRoom(const std::string& folder, bool v2)
{
    const auto limit = leadingNumber(smallFileText(folder + (v2 ? "memory.max" : "memory.limit_in_bytes")));
    // Without a limit v2 says "max", v1 a number near 2^63.
    if (!limit || *limit >= (uint64_t{1} << 62)) return std::nullopt;
    const std::string usageFile = folder + (v2 ? "memory.current" : "memory.usage_in_bytes");
    const uint64_t usage = leadingNumber(smallFileText(usageFile)).value_or(0);
    const std::string_view cacheName = v2 ? "inactive_file" : "total_inactive_file";
    const uint64_t cache = namedNumber(smallFileText(folder + "memory.stat"), cacheName).value_or(0);
    const uint64_t used = usage - std::min(usage, cache);
    return *limit > used ? *limit - used : 0;
}

// The least room the memory cgroups of this process leave, at every level from
// its own up to the root of each hierarchy mounted (v2, and v1's memory controller).
uint64_t cgroupMemoryAvailable(const std::string& root)
{
    const std::string groups = smallFileText(root + "/proc/self/cgroup");
    const std::string mounts = smallFileText(root + "/proc/self/mountinfo");
    uint64_t room = unlimited;
    for (size_t at = 0; at < mounts.size();) {
        // "id parent dev ROOT MOUNTPOINT options... - TYPE source SUPEROPTIONS"
        const std::string_view line = nextTextLine(mounts, at);
        std::vector<std::string_view> words;
        for (size_t w = 0; w < line.size();) {
            const size_t end = std::min(line.find(' ', w), line.size());
            words.push_back(line.substr(w, end - w));
            w = end + 1;
        }
        const auto dash = std::find(words.begin(), words.end(), "-");
        if (words.size() < 5 || words.end() - dash < 4) continue;
        const bool v2 = dash[1] == "cgroup2";
        if (!v2 && !(dash[1] == "cgroup" && listHolds(dash[3], "memory"))) continue;
        // This hierarchy's line of /proc/self/cgroup: "0::PATH" for v2, "N:...,memory,...:PATH" for v1.
        std::optional<std::string> path;
        for (size_t g = 0; g < groups.size() && !path;) {
            const std::string_view entry = nextTextLine(groups, g);
            const size_t first = entry.find(':'), second = entry.find(':', first + 1);
            if (second == std::string_view::npos) continue;
            if (v2 ? entry.substr(0, second) == "0:" : listHolds(entry.substr(first + 1, second - first - 1), "memory"))
                path = std::string(entry.substr(second + 1));
        }
        if (!path || !path->starts_with('/')) continue;
        if (const std::string_view mountRoot = words[3]; mountRoot != "/" && path->starts_with(mountRoot))
            path = path->substr(mountRoot.size());
        // Each level's limit holds for all below it; levels this process cannot see are passed over.
        for (std::string level = *path;; level = level.substr(0, level.find_last_of('/'))) {
            if (const auto levelRoom = cgroupRoom(root + std::string(words[4]) + level + "/", v2))
                room = std::min(room, *levelRoom);
            if (level.empty()) break;
        }
    }
    return room;
}

// MemAvailable plus SwapFree of /proc/meminfo; the free pages when it cannot be read.
uint64_t systemMemoryAvailable(const std::string& root)
{
    const std::string meminfo = smallFileText(root + "/proc/meminfo");
    const auto available = namedNumber(meminfo, "MemAvailable");
    if (available && *available < unlimited / 2048)
        return (*available + std::min(namedNumber(meminfo, "SwapFree").value_or(0), unlimited / 2048)) * 1024;
    const long pages = ::sysconf(_SC_AVPHYS_PAGES);
    const long pageSize = ::sysconf(_SC_PAGESIZE);
    return pages > 0 && pageSize > 0 ? static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize) : unlimited;
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

uint64_t memoryAvailable(const std::string& root, uint64_t addressSpaceLimit, uint64_t dataLimit)
{
    // statm: the address space, then after three more counts the data and stack, in pages.
    const std::string statm = smallFileText(root + "/proc/self/statm");
    std::array<uint64_t, 6> pages{};
    std::string_view rest = statm;
    for (uint64_t& count : pages) {
        count = leadingNumber(rest).value_or(0);
        rest.remove_prefix(std::min(rest.find(' ', rest.find_first_not_of(' ')), rest.size()));
    }
    const auto pageSize = static_cast<uint64_t>(::sysconf(_SC_PAGESIZE));
    const auto left = [pageSize](uint64_t limit, uint64_t usedPages) {
        if (limit == unlimited) return unlimited;
        const uint64_t used = usedPages > limit / pageSize ? limit : usedPages * pageSize;
        return limit - used;
    };
    return std::min({systemMemoryAvailable(root), cgroupMemoryAvailable(root), left(addressSpaceLimit, pages[0]),
                     left(dataLimit, pages[5])});
}

uint64_t memoryAvailable()
{
    return memoryAvailable("", softLimit(RLIMIT_AS), softLimit(RLIMIT_DATA));
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
