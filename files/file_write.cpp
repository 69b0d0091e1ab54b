// file_write.cpp: replacing files so that nothing half-written is ever left.
// A file is written whole into an unnamed file (O_TMPFILE) in its target's
// folder and given a temporary name only when complete, which is then renamed
// over the target; where the filesystem has no unnamed files, into a named
// temporary file that SIGINT, SIGTERM and SIGHUP remove. Several files are
// written as one: all complete before any takes its name. POSIX calls; the
// only state is the table of temporary names the signal handler reads.
#include "files/files.h"
#include "files/process_io.h"

#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <signal.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <mutex>
#include <system_error>
#include <utility>
#include <vector>

namespace {

// ---- names a signal must not leave behind ---------------------------------------------

// A signal handler reaches nothing but statics: this table is the one piece
// of process-wide state outside the state record. A writer takes a slot,
// copies a temporary name into it and arms it before the name exists on
// disk; the handler unlinks every armed name. Atomics, so any thread may
// write files while a signal comes.
struct TemporarySlot {
    std::atomic<bool> taken{false};
    std::atomic<bool> armed{false};
    char path[PATH_MAX] = {};
};
constexpr size_t temporarySlotCount = 32;
constinit std::array<TemporarySlot, temporarySlotCount> temporarySlots;
constexpr std::array<int, 3> cleanedSignals{SIGINT, SIGTERM, SIGHUP};
constinit std::array<struct sigaction, cleanedSignals.size()> previousActions{};
constinit std::once_flag cleanupInstalled;

// Removes the armed names, then does what was to be done with the signal
// before: the old handler, nothing for an ignored one, or the default end.
void removeTemporariesOnSignal(int signal, siginfo_t* info, void* context)
{
    const int savedErrno = errno;
    for (TemporarySlot& slot : temporarySlots)
        if (slot.armed.load(std::memory_order_acquire)) ::unlink(slot.path);
    const size_t which = static_cast<size_t>(
        std::find(cleanedSignals.begin(), cleanedSignals.end(), signal) - cleanedSignals.begin());
    const struct sigaction& previous = previousActions[which];
    if ((previous.sa_flags & SA_SIGINFO) != 0) {
        previous.sa_sigaction(signal, info, context);
    } else if (previous.sa_handler == SIG_DFL) {
        // Ends the process once this handler returns and the signal is unblocked.
        ::signal(signal, SIG_DFL);
        ::raise(signal);
    } else if (previous.sa_handler != SIG_IGN) {
        previous.sa_handler(signal);
    }
    errno = savedErrno;
}

// Installed before the first temporary name is armed; an ignored signal stays ignored.
void installCleanupHandler()
{
    for (size_t i = 0; i < cleanedSignals.size(); ++i) {
        if (::sigaction(cleanedSignals[i], nullptr, &previousActions[i]) != 0) continue;
        if ((previousActions[i].sa_flags & SA_SIGINFO) == 0 && previousActions[i].sa_handler == SIG_IGN) continue;
        struct sigaction action {};
        action.sa_sigaction = removeTemporariesOnSignal;
        action.sa_flags = SA_SIGINFO | SA_RESTART;
        sigemptyset(&action.sa_mask);
        for (const int s : cleanedSignals) sigaddset(&action.sa_mask, s);
        ::sigaction(cleanedSignals[i], &action, nullptr);
    }
}

// Holds a temporary name in the table from before it exists until it is
// gone or renamed. A name too long for a slot, or no free slot, goes unheld.
class HeldName {
public:
    HeldName() = default;
    HeldName(const HeldName&) = delete;
    HeldName& operator=(const HeldName&) = delete;
    ~HeldName() { release(); }

    void hold(const std::string& path)
    {
        release();
        if (path.size() >= PATH_MAX) return;
        std::call_once(cleanupInstalled, installCleanupHandler);
        for (TemporarySlot& slot : temporarySlots) {
            bool expected = false;
            if (!slot.taken.compare_exchange_strong(expected, true, std::memory_order_acquire)) continue;
            std::memcpy(slot.path, path.c_str(), path.size() + 1);
            slot.armed.store(true, std::memory_order_release);
            slot_ = &slot;
            return;
        }
    }
    void release()
    {
        if (slot_ == nullptr) return;
        slot_->armed.store(false, std::memory_order_release);
        slot_->taken.store(false, std::memory_order_release);
        slot_ = nullptr;
    }

private:
    TemporarySlot* slot_ = nullptr;
};

// ---- writing ------------------------------------------------------------------------------

// True when every byte was written; errno says why not.
bool writeAll(int fd, std::span<const std::byte> bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(fd, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) {
            errno = EIO;
            return false;
        }
        bytes = bytes.subspan(static_cast<size_t>(n));
    }
    return true;
}

// The folder part of a path including its last "/"; empty for a bare name.
std::string folderOf(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? std::string() : path.substr(0, slash + 1);
}

// Follows symbolic links by their text, so that a dangling one leads to the
// name its target is to have. Sets `error` (ELOOP past the kernel's own limit
// of links) when it cannot go on.
std::string followLinkText(const std::string& path, int& error)
{
    constexpr int maxLinks = 40;
    std::string current = path;
    for (int links = 0; links <= maxLinks; ++links) {
        struct stat info {};
        if (::lstat(current.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return current;
        std::string target(PATH_MAX, '\0');
        const ssize_t n = ::readlink(current.c_str(), target.data(), target.size());
        if (n < 0 || static_cast<size_t>(n) >= target.size()) {
            error = n < 0 ? errno : ENAMETOOLONG;
            return current;
        }
        target.resize(static_cast<size_t>(n));
        current = target.starts_with('/') ? target : folderOf(current) + target;
    }
    error = ELOOP;
    return current;
}

// Blocks SIGPIPE in this thread while a FIFO is written, so a reader that goes
// away gives EPIPE instead of ending the process; a SIGPIPE raised meanwhile
// is taken before the old mask returns.
class PipeSignalHold {
public:
    PipeSignalHold()
    {
        sigemptyset(&pipeSignal_);
        sigaddset(&pipeSignal_, SIGPIPE);
        sigset_t pending;
        sigpending(&pending);
        wasPending_ = sigismember(&pending, SIGPIPE) == 1;
        pthread_sigmask(SIG_BLOCK, &pipeSignal_, &previous_);
    }
    PipeSignalHold(const PipeSignalHold&) = delete;
    PipeSignalHold& operator=(const PipeSignalHold&) = delete;
    ~PipeSignalHold()
    {
        sigset_t pending;
        sigpending(&pending);
        if (!wasPending_ && sigismember(&pending, SIGPIPE) == 1) {
            const timespec now{};
            sigtimedwait(&pipeSignal_, nullptr, &now);
        }
        pthread_sigmask(SIG_SETMASK, &previous_, nullptr);
    }

private:
    sigset_t pipeSignal_{};
    sigset_t previous_{};
    bool wasPending_ = false;
};

// A character device or FIFO takes the bytes where it is. Opened without
// waiting, so a FIFO that no program reads is refused at once.
int32_t writeInPlace(const std::string& path, std::span<const std::byte> bytes)
{
    FileDescriptor file(::open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC | O_NONBLOCK));
    struct stat info {};
    if (file.fd < 0) return errno == ENXIO ? writeNoFifoReader : errno;
    if (::fstat(file.fd, &info) != 0) return errno;
    if (!S_ISFIFO(info.st_mode) && !S_ISCHR(info.st_mode)) return writeFileChanged;
    const int flags = ::fcntl(file.fd, F_GETFL);
    if (flags < 0 || ::fcntl(file.fd, F_SETFL, flags & ~O_NONBLOCK) != 0) return errno;
    const PipeSignalHold hold;
    if (!writeAll(file.fd, bytes)) return errno;
    const int fd = std::exchange(file.fd, -1);
    return ::close(fd) == 0 ? 0 : errno;
}

// At most `bytes` of the name, not cut inside a UTF-8 sequence.
std::string nameCut(const std::string& name, size_t bytes)
{
    size_t cut = std::min(bytes, name.size());
    while (cut > 0 && cut < name.size() && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80) --cut;
    return name.substr(0, cut);
}

// Six characters of a temporary name from the clock and the process.
std::string temporarySuffix(int attempt)
{
    constexpr std::string_view letters = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    timespec now{};
    ::clock_gettime(CLOCK_REALTIME, &now);
    uint64_t mix = static_cast<uint64_t>(now.tv_nsec) ^ (static_cast<uint64_t>(now.tv_sec) << 30) ^
                   (static_cast<uint64_t>(::getpid()) << 16) ^ static_cast<uint64_t>(attempt) * 0x9E3779B97F4A7C15ull;
    mix = (mix ^ (mix >> 31)) * 0xBF58476D1CE4E5B9ull;
    std::string suffix;
    for (int i = 0; i < 6; ++i, mix /= letters.size()) suffix += letters[mix % letters.size()];
    return suffix;
}

// Makes a new name "TARGET.XXXXXX" beside the target with `make`, held in the
// table before it exists, within the folder's name limit. 0 or errno.
template <typename Make>
int32_t makeTemporaryName(const std::string& target, std::string& temporary, HeldName& held, Make make)
{
    const std::string folder = folderOf(target);
    long nameMax = ::pathconf(folder.empty() ? "." : folder.c_str(), _PC_NAME_MAX);
    if (nameMax <= 0) nameMax = NAME_MAX;
    const std::string stem = nameCut(target.substr(folder.size()), static_cast<size_t>(nameMax) - 8);
    for (int attempt = 0;; ++attempt) {
        temporary = folder + stem + "." + temporarySuffix(attempt);
        held.hold(temporary);
        if (make(temporary)) return 0;
        const int error = errno;
        held.release();
        if (error != EEXIST || attempt == 100) return error;
    }
}

// One file of a write: what it replaces, and the complete new content not
// yet under its name.
struct PendingFile {
    std::string target;               // where the links lead
    std::span<const std::byte> bytes;
    bool inPlace = false;             // a FIFO or character device, written at its turn
    bool existed = false;             // a regular file was there
    FileDescriptor unnamed;           // the complete unnamed file
    std::string temporary;            // or the complete named temporary file
    HeldName heldTemporary;
    std::string backup;               // a second name of the old file while others take their names
    HeldName heldBackup;

    PendingFile() = default;
    PendingFile(const PendingFile&) = delete;
    PendingFile& operator=(const PendingFile&) = delete;
    ~PendingFile()
    {
        if (!temporary.empty()) ::unlink(temporary.c_str());
        if (!backup.empty()) ::unlink(backup.c_str());
    }
};

// Writes the content into a new file beside the target: unnamed where the
// filesystem allows, else named. The old file's mode and, where the process
// may, its owner are taken over. 0 or errno.
int32_t writeBeside(PendingFile& file, const struct stat* old)
{
    const std::string folder = folderOf(file.target);
    FileDescriptor fd(::open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_WRONLY | O_CLOEXEC, 0666));
    // Where the filesystem has no unnamed files (EOPNOTSUPP, or EISDIR from an
    // older kernel), a named one; any other reason the named one gives again.
    if (fd.fd < 0) {
        const auto create = [&fd](const std::string& name) {
            fd.fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
            return fd.fd >= 0;
        };
        const int32_t error = makeTemporaryName(file.target, file.temporary, file.heldTemporary, create);
        if (error != 0) {
            file.temporary.clear();
            return error;
        }
    }
    if (old != nullptr) {
        // The owner first, as changing it clears the set-ID bits; those are
        // given back only when the owner (or at least the group) could be kept.
        const bool owned = ::fchown(fd.fd, old->st_uid, old->st_gid) == 0;
        const bool grouped = owned || ::fchown(fd.fd, static_cast<uid_t>(-1), old->st_gid) == 0;
        const mode_t kept = old->st_mode & (owned ? 07777 : grouped ? 03777 : 01777);
        if (::fchmod(fd.fd, kept) != 0) return errno;
    }
    if (!writeAll(fd.fd, file.bytes) || ::fsync(fd.fd) != 0) return errno;
    if (!file.temporary.empty()) {
        const int written = std::exchange(fd.fd, -1);
        return ::close(written) == 0 ? 0 : errno;
    }
    file.unnamed.fd = std::exchange(fd.fd, -1);
    return 0;
}

// Where the path's bytes go, and the file they replace: refused for what is
// never written. 0 or the reason.
int32_t prepare(PendingFile& file, const std::string& path)
{
    if (path.empty()) return ENOENT;
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0) {
        if (errno != ENOENT) return errno;
        // Nothing there yet, or a dangling link: the file is made where the last link points.
        int error = 0;
        file.target = followLinkText(path, error);
        return error != 0 ? error : writeBeside(file, nullptr);
    }
    if (S_ISREG(info.st_mode)) {
        file.target = linkTarget(path);
        file.existed = true;
        // Refused where a shell's "cat >" would be; the folder alone would allow the rename.
        if (::faccessat(AT_FDCWD, file.target.c_str(), W_OK, AT_EACCESS) != 0) return errno;
        return writeBeside(file, &info);
    }
    if (S_ISCHR(info.st_mode) || S_ISFIFO(info.st_mode)) {
        file.target = path;
        file.inPlace = true;
        return 0;
    }
    if (S_ISDIR(info.st_mode)) return EISDIR;
    return S_ISBLK(info.st_mode) ? writeBlockDevice : writeSpecialFile;
}

// Gives the unnamed file a temporary name of its own. 0 or errno.
int32_t nameUnnamed(PendingFile& file)
{
    const std::string self = "/proc/self/fd/" + std::to_string(file.unnamed.fd);
    const auto link = [&](const std::string& name) {
        if (::linkat(AT_FDCWD, self.c_str(), AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0) return true;
        // Without /proc, the descriptor itself (which needs a privilege).
        return errno == ENOENT && ::linkat(file.unnamed.fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0;
    };
    const int32_t error = makeTemporaryName(file.target, file.temporary, file.heldTemporary, link);
    if (error != 0) file.temporary.clear();
    file.unnamed.close();
    return error;
}

// Puts the complete file under its name; with `keepOld`, the file it
// replaces keeps a second name so that it can be put back. 0 or errno.
int32_t takeName(PendingFile& file, bool keepOld)
{
    if (file.inPlace) return writeInPlace(file.target, file.bytes);
    if (file.temporary.empty())
        if (const int32_t error = nameUnnamed(file); error != 0) return error;
    if (keepOld && file.existed) {
        const auto link = [&file](const std::string& name) { return ::link(file.target.c_str(), name.c_str()) == 0; };
        const int32_t error = makeTemporaryName(file.target, file.backup, file.heldBackup, link);
        // Without a second name (no hard links here) the old file cannot be put back.
        if (error != 0) file.backup.clear();
    }
    if (::rename(file.temporary.c_str(), file.target.c_str()) != 0) return errno;
    file.temporary.clear();
    file.heldTemporary.release();
    return 0;
}

// Takes back a file that already took its name: the old file returns, or the
// new one goes when there was none.
void putBack(PendingFile& file)
{
    if (file.inPlace) return;
    if (!file.existed) {
        ::unlink(file.target.c_str());
        return;
    }
    // An old file that cannot return keeps its second name rather than being lost.
    if (!file.backup.empty()) ::rename(file.backup.c_str(), file.target.c_str());
    file.backup.clear();
    file.heldBackup.release();
}

}  // namespace

std::string writeReasonText(int32_t reason)
{
    switch (reason) {
    case 0: return {};
    case writeNoFifoReader: return "no program reads the FIFO";
    case writeFileChanged: return "the file changed while it was opened";
    case writeBlockDevice: return "a block device is never written";
    case writeSpecialFile: return "only files, FIFOs and character devices are written";
    default: return std::generic_category().message(reason);
    }
}

void ignoreFileSizeLimitSignal() { ::signal(SIGXFSZ, SIG_IGN); }

std::string linkTarget(const std::string& path)
{
    // The kernel's own answer where the target exists; it also knows links
    // whose text is no path, like those under /proc.
    if (char* real = ::realpath(path.c_str(), nullptr)) {
        std::string resolved(real);
        std::free(real);
        return resolved;
    }
    int error = 0;
    return followLinkText(path, error);
}

int32_t replaceFiles(std::span<const FileToWrite> files, size_t& failed)
{
    std::vector<std::unique_ptr<PendingFile>> pending;
    for (failed = 0; failed < files.size(); ++failed) {
        pending.push_back(std::make_unique<PendingFile>());
        pending.back()->bytes = files[failed].bytes;
        if (const int32_t reason = prepare(*pending.back(), files[failed].path); reason != 0) return reason;
    }
    // Every file is complete: now they take their names, the last one last.
    for (failed = 0; failed < files.size(); ++failed) {
        const bool last = failed + 1 == files.size();
        if (const int32_t reason = takeName(*pending[failed], !last); reason != 0) {
            for (size_t i = 0; i < failed; ++i) putBack(*pending[i]);
            return reason;
        }
    }
    failed = files.size();
    return 0;
}

int32_t replaceFile(const std::string& path, std::span<const std::byte> bytes)
{
    const FileToWrite file{path, bytes};
    size_t failed = 0;
    return replaceFiles(std::span(&file, 1), failed);
}

std::string writeFileReplacing(const std::string& path, std::span<const std::byte> bytes)
{
    return writeReasonText(replaceFile(path, bytes));
}
