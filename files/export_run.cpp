// export_run.cpp: Export in other tools' formats, handed to the export helper,
// a child started with posix_spawn (the editor has threads, so it never forks
// itself). The child gets the mesh as native file bytes on one end of a socket
// pair, which is both its standard input and its standard output, and answers
// there. No state.
#include "app/app.h"
#include "files/files.h"
#include "files/process_io.h"

#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <system_error>

namespace {

constexpr size_t maxAnswerBytes = 1000;

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

std::string exportThroughHelper(const Mesh& mesh, const std::string& path, const std::string& texture,
                                const std::string& helper, int32_t language)
{
    const std::string program = helper.empty() ? helperProgram(exportHelperName) : helper;
    int ends[2] = {-1, -1};
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0)
        return std::generic_category().message(errno);
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
    if (spawned != 0)
        return textOf(language, Text::HelperNotStarted, {program, std::generic_category().message(spawned)});

    // A child that stops reading has failed; its answer or its end tells why.
    sendAll(mine.fd, writeMeshBytes(mesh));
    ::shutdown(mine.fd, SHUT_WR);
    const std::string answer = readAnswer(mine.fd);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) return {};
    if (WIFEXITED(status) && WEXITSTATUS(status) == 1 && !answer.empty()) return answer;
    return textOf(language, WIFSIGNALED(status) ? Text::ExporterCrashed : Text::ExportHelperFailed);
}
