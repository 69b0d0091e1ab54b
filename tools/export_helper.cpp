// export_helper.cpp: the editor's Export, run outside the editor's process so
// that the exporters' library never shares it. Reads a native mesh file's
// bytes from standard input to its end, writes them with exportMesh to the
// path of its first argument, naming the picture of the optional second in
// the material, and answers on standard output with nothing (written) or
// exportAnswerText of why it was not. Exit status 0 written, 1 not written,
// 2 bad arguments. A write past the file-size limit is a failed write.
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <string>
#include <vector>

#include "files/files.h"
#include "tools/exchange.h"

int main(int argc, char** argv)
{
    ignoreFileSizeLimitSignal();
    if (argc < 2 || argc > 3) return 2;
    std::vector<std::byte> bytes;
    std::byte chunk[1 << 16];
    for (;;) {
        const ssize_t n = ::read(STDIN_FILENO, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return 1;
        if (n == 0) break;
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    Mesh mesh;
    readMeshBytes(mesh, bytes, 1);
    const ExportProblem failure = exportMesh(mesh, argv[1], argc == 3 ? argv[2] : "");
    const std::string problem = failure.what == ExportFailure::None ? std::string() : exportAnswerText(failure);
    for (size_t done = 0; done < problem.size();) {
        const ssize_t n = ::write(STDOUT_FILENO, problem.data() + done, problem.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    return problem.empty() ? 0 : 1;
}
