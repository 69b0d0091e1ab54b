// import_sandbox.cpp: other tools' mesh files read by the import helper, a
// child process started with posix_spawn (the editor has threads, so it never
// forks itself). The child gets the input's name and limits, no standard input
// or error, and no other descriptor than the pipe of its reply; the reply is
// checked before anything is allocated for it. No state.
#include "files/files.h"
#include "files/process_io.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstring>
#include <filesystem>
#include <new>
#include <sstream>

namespace {

constexpr uint64_t baseImportMemory = 64ull << 20;
constexpr uint64_t importMemoryPerFileByte = 200;
constexpr uint64_t maxImportMemory = 4ull << 30;
constexpr uint32_t importCpuSeconds = 30;
constexpr uint32_t importWallSeconds = 30;
constexpr uint64_t recordBytes = 60;
// Triangles beyond this would overflow the mesh's 32-bit corner positions.
constexpr uint64_t maxReplyTriangles = INT32_MAX / 3;
// The PLY check reads no more of the file than this.
constexpr size_t maxPlyHeaderBytes = 64 * 1024;

// Bytes of one PLY scalar type; 0 when unknown.
size_t plyTypeSize(std::string_view type)
{
    if (type == "char" || type == "uchar" || type == "int8" || type == "uint8") return 1;
    if (type == "short" || type == "ushort" || type == "int16" || type == "uint16") return 2;
    if (type == "int" || type == "uint" || type == "float" || type == "int32" || type == "uint32" ||
        type == "float32")
        return 4;
    if (type == "double" || type == "float64") return 8;
    return 0;
}

ImportProblem notValid(ImportReason reason) { return {ImportFailure::NotValid, reason, {}}; }

// The PLY reader believes the header's element counts. Checks the promise
// against the bytes after the header: each element needs at least its scalars
// (in text, a character and a blank per property). Nothing when it can hold.
std::optional<ImportProblem> plyHeaderProblem(const std::string& path, uint64_t fileBytes)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return ImportProblem{ImportFailure::CannotOpen, {}, {std::generic_category().message(errno)}};
    std::string head(maxPlyHeaderBytes, '\0');
    const ssize_t n = ::read(fd, head.data(), head.size());
    ::close(fd);
    head.resize(n > 0 ? static_cast<size_t>(n) : 0);

    std::istringstream lines(head);
    std::string line;
    bool binary = false;
    std::vector<std::pair<double, double>> elements;  // count, smallest bytes of one
    size_t headerBytes = 0;
    while (std::getline(lines, line) && !lines.eof()) {
        headerBytes += line.size() + 1;
        if (!line.empty() && line.back() == '\r') line.pop_back();
        std::istringstream words(line);
        std::string keyword;
        words >> keyword;
        if (keyword == "format") {
            std::string kind;
            words >> kind;
            binary = kind != "ascii";
        } else if (keyword == "element") {
            std::string name;
            double count = 0;
            words >> name >> count;
            elements.emplace_back(count, 0.0);
        } else if (keyword == "property" && !elements.empty()) {
            std::string type, countType;
            words >> type;
            if (type == "list") words >> countType;
            const size_t size = plyTypeSize(type == "list" ? countType : type);
            elements.back().second += binary ? static_cast<double>(size) : 2.0;
        } else if (keyword == "end_header") {
            double needed = 0;
            for (const auto& [count, bytes] : elements) needed += count * bytes;
            // Text may end without the last blank.
            if (needed - 1 > static_cast<double>(fileBytes) - static_cast<double>(headerBytes))
                return notValid(ImportReason::HeaderPromisesMore);
            return std::nullopt;
        }
    }
    return notValid(ImportReason::HeaderWithoutEnd);
}

// How the helper's run ended, as far as the parent can tell.
struct HelperRun {
    std::string startProblem;  // the helper could not be started
    std::vector<std::byte> reply;
    bool replyRefused = false;  // longer than its header allows, or a header no reply has
    bool timedOut = false;      // killed here after the wall-clock allowance
    bool cancelled = false;     // killed here when the caller asked
    int status = 0;             // as waitpid reports it
    double cpuSeconds = 0;
};

// Reads the reply until the helper closes the pipe, refusing it as soon as it
// cannot be valid, within the wall-clock limit (a helper that sleeps or waits
// uses no CPU time) and until the caller asks to cancel.
void readReply(int fd, const ImportLimits& limits, uint64_t maxBodyBytes, const std::atomic<bool>* cancel,
               HelperRun& run)
{
    // The longest wait on the pipe between two looks at the cancel flag.
    constexpr int64_t cancelPollMs = 5;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(limits.wallSeconds);
    std::optional<uint64_t> length;
    std::vector<std::byte> chunk(64 * 1024);
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            run.timedOut = true;
            return;
        }
        if (cancel != nullptr && cancel->load()) {
            run.cancelled = true;
            return;
        }
        pollfd ready{fd, POLLIN, 0};
        const int64_t wait = cancel != nullptr ? std::min<int64_t>(left.count(), cancelPollMs) : left.count();
        const int polled = ::poll(&ready, 1, static_cast<int>(std::min<int64_t>(wait, INT_MAX)));
        if (polled < 0 && errno != EINTR) {
            run.replyRefused = true;
            return;
        }
        if (polled <= 0) continue;
        const ssize_t n = ::read(fd, chunk.data(), chunk.size());
        if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
        if (n < 0) {
            run.replyRefused = true;
            return;
        }
        if (n == 0) return;
        const auto bytes = static_cast<size_t>(n);
        if (length && run.reply.size() + bytes > *length) {
            run.replyRefused = true;
            return;
        }
        run.reply.insert(run.reply.end(), chunk.begin(), chunk.begin() + n);
        if (!length && run.reply.size() >= importReplyHeaderBytes) {
            length = importReplyLength(run.reply, maxBodyBytes);
            if (!length || run.reply.size() > *length) {
                run.replyRefused = true;
                return;
            }
        }
    }
}

HelperRun runHelper(const std::string& helper, const std::string& path, const ImportLimits& limits,
                    uint64_t maxBodyBytes, const std::atomic<bool>* cancel)
{
    HelperRun run;
    int ends[2] = {-1, -1};
    if (::pipe2(ends, O_CLOEXEC) != 0) {
        run.startProblem = std::generic_category().message(errno);
        return run;
    }
    FileDescriptor readEnd, writeEnd;
    readEnd.fd = ends[0];
    writeEnd.fd = ends[1];

    // The child's standard output is the pipe; nothing else stays open.
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, writeEnd.fd, STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, STDIN_FILENO);
    posix_spawn_file_actions_addclose(&actions, STDERR_FILENO);
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);

    std::string memory = std::to_string(limits.memoryBytes), cpu = std::to_string(limits.cpuSeconds);
    std::string program = helper, input = path;
    char* arguments[] = {program.data(), input.data(), memory.data(), cpu.data(), nullptr};
    pid_t child = -1;
    const int spawned = spawnHelper(child, helper, actions, arguments);
    posix_spawn_file_actions_destroy(&actions);
    writeEnd.close();
    if (spawned != 0) {
        run.startProblem = std::generic_category().message(spawned);
        return run;
    }

    readReply(readEnd.fd, limits, maxBodyBytes, cancel, run);
    readEnd.close();
    if (run.timedOut || run.replyRefused || run.cancelled) ::kill(child, SIGKILL);
    rusage usage{};
    while (::wait4(child, &run.status, 0, &usage) < 0 && errno == EINTR) {
    }
    run.cpuSeconds = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    return run;
}

}  // namespace

std::string lowerExtension(const std::string& path)
{
    const std::string name = std::filesystem::path(path).filename().string();
    const size_t dot = name.find_last_of('.');
    if (dot == std::string::npos) return {};
    std::string extension = name.substr(dot + 1);
    std::transform(extension.begin(), extension.end(), extension.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return extension;
}

const std::vector<std::string_view>& importExtensions()
{
    static const std::vector<std::string_view> list{"obj", "stl", "ply", "glb", "gltf", "dae", "3ds", "fbx"};
    return list;
}

ImportLimits importLimitsFor(uint64_t fileBytes)
{
    const uint64_t scaled = fileBytes > (maxImportMemory - baseImportMemory) / importMemoryPerFileByte
                                ? maxImportMemory
                                : baseImportMemory + importMemoryPerFileByte * fileBytes;
    return {scaled, importCpuSeconds, importWallSeconds};
}

std::variant<Mesh, ImportProblem> importThroughHelper(const std::string& path, int32_t factor, const ImportRun& how)
{
    const auto failed = [](ImportFailure failure, std::vector<std::string> values = {}) {
        return ImportProblem{failure, ImportReason::Other, std::move(values)};
    };
    if (factor == 0) return failed(ImportFailure::FactorZero);
    const std::string extension = lowerExtension(path);
    const auto& known = importExtensions();
    if (std::find(known.begin(), known.end(), extension) == known.end())
        return failed(ImportFailure::UnknownFormat, {extension});
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return failed(ImportFailure::CannotOpen, {std::generic_category().message(errno)});
    if (!S_ISREG(info.st_mode)) return failed(ImportFailure::NotRegular);
    const auto fileBytes = static_cast<uint64_t>(info.st_size);
    if (fileBytes == 0) return notValid(ImportReason::Empty);
    if (extension == "ply")
        if (auto problem = plyHeaderProblem(path, fileBytes)) return *problem;

    const ImportLimits limits = how.limits.memoryBytes != 0 ? how.limits : importLimitsFor(fileBytes);
    const std::string helper = how.helper.empty() ? helperProgram(importHelperName) : how.helper;
    const uint64_t maxBodyBytes = std::min(limits.memoryBytes, maxReplyTriangles * recordBytes);
    const HelperRun run = runHelper(helper, path, limits, maxBodyBytes, how.cancel);
    if (!run.startProblem.empty()) return failed(ImportFailure::HelperNotStarted, {helper, run.startProblem});
    if (run.cancelled) return failed(ImportFailure::Cancelled);

    if (run.timedOut) return failed(ImportFailure::TookTooLong);
    if (WIFSIGNALED(run.status)) {
        const int signal = WTERMSIG(run.status);
        if (signal == SIGXCPU || (signal == SIGKILL && run.cpuSeconds >= limits.cpuSeconds))
            return failed(ImportFailure::TookTooLong);
        return failed(ImportFailure::Crashed);
    }
    if (WIFEXITED(run.status) && WEXITSTATUS(run.status) == importHelperOutOfMemory)
        return failed(ImportFailure::NeedsMemory);
    if (!WIFEXITED(run.status) || WEXITSTATUS(run.status) != 0 || run.replyRefused)
        return failed(ImportFailure::Crashed);
    const std::optional<ImportReply> reply = parseImportReply(run.reply, maxBodyBytes);
    if (!reply) return failed(ImportFailure::Crashed);
    if (reply->kind == ImportReplyKind::Message) {
        const auto* words = reinterpret_cast<const char*>(reply->body.data());
        return importerWordsProblem(std::string_view(words, reply->body.size()));
    }
    Mesh mesh;
    try {
        readMeshBytes(mesh, reply->body, factor);
    } catch (const std::bad_alloc&) {
        return failed(ImportFailure::NeedsMemory);
    }
    return mesh;
}
