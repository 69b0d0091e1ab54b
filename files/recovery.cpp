// recovery.cpp: recovery copies of unsaved work in the user's state folder,
// one an editor: "recovery-PID.pqr" beside "recovery-PID.lock", which the
// editor holds locked (flock) while it runs, so the kernel frees it however
// the process ends and a starting editor can tell a copy left over from one
// still in use. The copy's bytes, all lengths 64-bit little-endian:
//   "PQRECOVERY1\n"  the header
//   3 lengths        of the mesh records, the texture's path, the file name
//   the three parts  the mesh as the native file holds it (60 bytes a triangle)
//   8 bytes          FNV-1a hash of everything before it
// No state beyond the files.
#include "files/files.h"
#include "files/process_io.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <utility>

namespace {

constexpr std::string_view recoveryHeader = "PQRECOVERY1\n";
constexpr std::string_view copyPrefix = "recovery-";
constexpr std::string_view copySuffix = ".pqr";
constexpr std::string_view lockSuffix = ".lock";
constexpr size_t lengthBytes = 8;
constexpr size_t hashBytes = 8;
constexpr size_t fixedBytes = recoveryHeader.size() + 3 * lengthBytes + hashBytes;

uint64_t fnv1a(std::span<const std::byte> bytes)
{
    uint64_t hash = 0xcbf29ce484222325ull;
    for (const std::byte b : bytes) hash = (hash ^ static_cast<uint64_t>(b)) * 0x100000001b3ull;
    return hash;
}

uint64_t numberAt(std::span<const std::byte> bytes, size_t at)
{
    uint64_t value = 0;
    for (size_t i = 0; i < 8; ++i) value |= static_cast<uint64_t>(bytes[at + i]) << (8 * i);
    return value;
}

// The process number a copy's or lock's name carries; nothing for other names.
std::optional<int> pidOfName(std::string_view name, std::string_view suffix)
{
    if (!name.starts_with(copyPrefix) || !name.ends_with(suffix)) return std::nullopt;
    const std::string_view digits = name.substr(copyPrefix.size(), name.size() - copyPrefix.size() - suffix.size());
    int pid = 0;
    const auto [end, error] = std::from_chars(digits.data(), digits.data() + digits.size(), pid);
    if (digits.empty() || error != std::errc() || end != digits.data() + digits.size() || pid <= 0) return std::nullopt;
    return pid;
}

std::string nameFor(const std::string& folder, int pid, std::string_view suffix)
{
    return folder + std::string(copyPrefix) + std::to_string(pid) + std::string(suffix);
}

// The names in the folder; empty when it cannot be read.
std::vector<std::string> folderNames(const std::string& folder)
{
    std::vector<std::string> names;
    DIR* listing = ::opendir(folder.c_str());
    if (listing == nullptr) return names;
    while (const dirent* entry = ::readdir(listing)) names.emplace_back(entry->d_name);
    ::closedir(listing);
    return names;
}

}  // namespace

HeldLock::HeldLock(HeldLock&& other) noexcept
    : fd(std::exchange(other.fd, -1)), path(std::move(other.path))
{
}

HeldLock& HeldLock::operator=(HeldLock&& other) noexcept
{
    if (this != &other) {
        release();
        fd = std::exchange(other.fd, -1);
        path = std::move(other.path);
    }
    return *this;
}

HeldLock::~HeldLock() { release(); }

void HeldLock::release()
{
    if (fd >= 0) ::close(fd);
    fd = -1;
}

void HeldLock::releaseAndRemove()
{
    // Removed while still held: a starting editor then either waits on this
    // file or makes a new one, never takes this one as free.
    if (fd >= 0) ::unlink(path.c_str());
    release();
}

std::vector<std::byte> writeRecoveryBytes(const RecoveryCopy& copy)
{
    const std::array<uint64_t, 3> lengths{copy.meshBytes.size(), copy.textureFileName.size(), copy.fileName.size()};
    std::vector<std::byte> out(fixedBytes + lengths[0] + lengths[1] + lengths[2]);
    size_t at = 0;
    const auto put = [&out, &at](std::span<const std::byte> part) {
        if (!part.empty()) std::memcpy(out.data() + at, part.data(), part.size());
        at += part.size();
    };
    const auto putNumber = [&out, &at](uint64_t value) {
        for (size_t i = 0; i < lengthBytes; ++i) out[at++] = static_cast<std::byte>(value >> (8 * i));
    };
    put(std::as_bytes(std::span(recoveryHeader)));
    for (const uint64_t length : lengths) putNumber(length);
    put(copy.meshBytes);
    put(std::as_bytes(std::span(copy.textureFileName)));
    put(std::as_bytes(std::span(copy.fileName)));
    putNumber(fnv1a(std::span(out).first(at)));
    return out;
}

std::optional<RecoveryCopy> readRecoveryBytes(std::span<const std::byte> bytes)
{
    if (bytes.size() < fixedBytes ||
        std::memcmp(bytes.data(), recoveryHeader.data(), recoveryHeader.size()) != 0)
        return std::nullopt;
    std::array<uint64_t, 3> lengths{};
    uint64_t total = fixedBytes;
    for (size_t i = 0; i < 3; ++i) {
        lengths[i] = numberAt(bytes, recoveryHeader.size() + i * lengthBytes);
        if (lengths[i] > bytes.size()) return std::nullopt;  // also keeps the sum from overflowing
        total += lengths[i];
    }
    if (total != bytes.size() || lengths[0] % 60 != 0) return std::nullopt;
    const size_t hashAt = bytes.size() - hashBytes;
    if (numberAt(bytes, hashAt) != fnv1a(bytes.first(hashAt))) return std::nullopt;
    size_t at = recoveryHeader.size() + 3 * lengthBytes;
    const auto take = [&](uint64_t length) {
        const auto part = bytes.subspan(at, static_cast<size_t>(length));
        at += part.size();
        return part;
    };
    const auto text = [](std::span<const std::byte> part) {
        return std::string(reinterpret_cast<const char*>(part.data()), part.size());
    };
    RecoveryCopy copy;
    const auto mesh = take(lengths[0]);
    copy.meshBytes.assign(mesh.begin(), mesh.end());
    copy.textureFileName = text(take(lengths[1]));
    copy.fileName = text(take(lengths[2]));
    return copy;
}

std::string recoveryCopyPath(const std::string& folder, int pid) { return nameFor(folder, pid, copySuffix); }

HeldLock lockRecovery(const std::string& folder, int pid)
{
    HeldLock lock;
    lock.path = nameFor(folder, pid, lockSuffix);
    lock.fd = ::open(lock.path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK, 0600);
    struct stat info {};
    if (lock.fd < 0) return lock;
    const bool regular = ::fstat(lock.fd, &info) == 0 && S_ISREG(info.st_mode);
    if (!regular || ::flock(lock.fd, LOCK_EX | LOCK_NB) != 0) lock.release();
    return lock;
}

std::vector<LeftCopy> leftRecoveryCopies(const std::string& folder, int ownPid)
{
    std::vector<LeftCopy> left;
    const std::vector<std::string> names = folderNames(folder);
    for (const std::string& name : names) {
        const auto pid = pidOfName(name, copySuffix);
        if (!pid) continue;
        LeftCopy copy;
        copy.path = folder + name;
        struct stat info {};
        if (::lstat(copy.path.c_str(), &info) != 0 || !S_ISREG(info.st_mode)) continue;
        copy.modified = static_cast<int64_t>(info.st_mtime);
        // This process's own number holds no copy of its own yet: a former process's.
        if (*pid != ownPid) copy.lock = lockRecovery(folder, *pid);
        if (*pid == ownPid || copy.lock.fd >= 0) left.push_back(std::move(copy));
    }
    // Locks of editors that ended without a copy.
    for (const std::string& name : names) {
        const auto pid = pidOfName(name, lockSuffix);
        if (!pid || *pid == ownPid) continue;
        const std::string copy = std::string(copyPrefix) + std::to_string(*pid) + std::string(copySuffix);
        if (std::find(names.begin(), names.end(), copy) == names.end()) lockRecovery(folder, *pid).releaseAndRemove();
    }
    std::sort(left.begin(), left.end(), [](const LeftCopy& a, const LeftCopy& b) { return a.modified > b.modified; });
    return left;
}
