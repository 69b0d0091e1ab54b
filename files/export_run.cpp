// export_run.cpp: Export in other tools' formats, handed to the export helper,
// a child started with posix_spawn (the editor has threads, so it never forks
// itself). The child gets the mesh as native file bytes on one end of a socket
// pair, which is both its standard input and its standard output, and answers
// there. No state.
#include "files/files.h"
#include "files/process_io.h"

#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <filesystem>
#include <system_error>

namespace {

// Room for a reason and a path of PATH_MAX bytes, or a library's words.
constexpr size_t maxAnswerBytes = 8192;

// Sends every byte; false when the other end went away. MSG_NOSIGNAL: a child
// that died must not end this process with SIGPIPE.
bool sendAll(int fd, std::span<const std::byte> bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes = bytes.subspan(static_cast<size_t>(n));
    }
    return true;
}

// The child's answer up to its end of the socket, at most maxAnswerBytes of
// it, as one line of text.
std::string readAnswer(int fd)
{
    std::string answer;
    char chunk[256];
    for (;;) {
        const ssize_t n = ::read(fd, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        answer.append(chunk, std::min(static_cast<size_t>(n), maxAnswerBytes - answer.size()));
    }
    for (char& c : answer)
        if (static_cast<unsigned char>(c) < ' ') c = ' ';
    return answer;
}

}  // namespace

std::string helperProgram(std::string_view name)
{
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (error) return std::string(name);
    const std::filesystem::path beside = program.parent_path() / name;
    for (const std::filesystem::path& candidate : {beside, program.parent_path().parent_path() / name})
        if (::access(candidate.c_str(), X_OK) == 0) return candidate.string();
    return beside.string();
}

const std::vector<std::string_view>& exportExtensions()
{
    static const std::vector<std::string_view> list{"obj", "stl", "ply", "glb", "gltf", "dae", "3ds"};
    return list;
}

std::string extensionList(const std::vector<std::string_view>& extensions)
{
    std::string text;
    for (std::string_view e : extensions) text += (text.empty() ? "" : ", ") + std::string(e);
    return text;
}

std::string exportAnswerText(const ExportProblem& problem)
{
    return std::to_string(static_cast<int32_t>(problem.what)) + " " + std::to_string(problem.reason) + " " +
           problem.detail;
}

ExportProblem readExportAnswer(std::string_view answer)
{
    ExportProblem problem;
    int32_t what = 0;
    const char* end = answer.data() + answer.size();
    auto read = std::from_chars(answer.data(), end, what);
    if (read.ec == std::errc() && read.ptr != end && *read.ptr == ' ')
        read = std::from_chars(read.ptr + 1, end, problem.reason);
    const bool known = what > static_cast<int32_t>(ExportFailure::None) &&
                       what <= static_cast<int32_t>(ExportFailure::HelperFailed);
    if (read.ec != std::errc() || read.ptr == end || *read.ptr != ' ' || !known)
        return {ExportFailure::HelperFailed, 0, {}};
    problem.what = static_cast<ExportFailure>(what);
    problem.detail = std::string(read.ptr + 1, end);
    return problem;
}

ExportProblem exportThroughHelper(const Mesh& mesh, const std::string& path, const std::string& texture,
                                  const std::string& helper)
{
    const std::string program = helper.empty() ? helperProgram(exportHelperName) : helper;
    int ends[2] = {-1, -1};
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        return {ExportFailure::HelperNotStarted, errno, program};
    FileDescriptor mine, theirs;
    mine.fd = ends[0];
    theirs.fd = ends[1];

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, theirs.fd, STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, theirs.fd, STDOUT_FILENO);
    posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);

    std::string programArgument = program, output = path, picture = texture;
    char* arguments[] = {programArgument.data(), output.data(), texture.empty() ? nullptr : picture.data(), nullptr};
    pid_t child = -1;
    const int spawned = spawnHelper(child, program, actions, arguments);
    posix_spawn_file_actions_destroy(&actions);
    theirs.close();
    if (spawned != 0) return {ExportFailure::HelperNotStarted, spawned, program};

    // A child that stops reading has failed; its answer or its end tells why.
    sendAll(mine.fd, writeMeshBytes(mesh));
    ::shutdown(mine.fd, SHUT_WR);
    const std::string answer = readAnswer(mine.fd);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return {};
    if (WIFEXITED(status) && WEXITSTATUS(status) == 1) return readExportAnswer(answer);
    return {WIFSIGNALED(status) ? ExportFailure::HelperCrashed : ExportFailure::HelperFailed, 0, {}};
}
