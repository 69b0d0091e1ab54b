// import_helper.cpp: pq_import_helper FILE MEMORY_BYTES CPU_SECONDS. Reads one
// file of another tool with assimp, which is not trusted with the program that
// asked: it runs here, under limits set before the file is opened, and the
// triangles go back on standard output as one import reply
// (files/import_reply.cpp), each corner with its own position. Exit status 0
// after a reply, importHelperOutOfMemory when an allocation failed, 2 for bad
// arguments; a crash or a CPU overrun ends it by a signal.
//
// Built without sanitizers: AddressSanitizer reserves terabytes of address
// space, which the address-space limit forbids.
#include <assimp/DefaultIOStream.h>
#include <assimp/DefaultIOSystem.h>
#include <assimp/Importer.hpp>
#include <assimp/postprocess.h>
#include <assimp/scene.h>
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cerrno>
#include <charconv>
#include <cstring>
#include <exception>
#include <memory>
#include <new>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "files/files.h"

namespace {

constexpr int exitBadArguments = 2;

[[noreturn]] void outOfMemory()
{
    ::_exit(importHelperOutOfMemory);
}

bool parseWhole(std::string_view text, uint64_t& value)
{
    const char* end = text.data() + text.size();
    const auto [last, error] = std::from_chars(text.data(), end, value);
    return !text.empty() && error == std::errc() && last == end;
}

// Lowers a limit to the values, or as far as they go below a lower one
// inherited from the caller.
bool setLimit(int resource, uint64_t soft, uint64_t hard)
{
    rlimit limit{};
    if (::getrlimit(resource, &limit) != 0) return false;
    const auto lower = [](rlim_t inherited, uint64_t wanted) {
        return inherited == RLIM_INFINITY ? static_cast<rlim_t>(wanted) : std::min(inherited, static_cast<rlim_t>(wanted));
    };
    limit.rlim_max = lower(limit.rlim_max, hard);
    limit.rlim_cur = std::min(lower(limit.rlim_cur, soft), limit.rlim_max);
    return ::setrlimit(resource, &limit) == 0;
}

// The address space the process takes now, mostly its libraries; 0 when unknown.
uint64_t addressSpaceInUse()
{
    char text[64] = {};
    const int fd = ::open("/proc/self/statm", O_RDONLY | O_CLOEXEC);
    if (fd < 0) return 0;
    const ssize_t n = ::read(fd, text, sizeof text - 1);
    ::close(fd);
    uint64_t pages = 0;
    if (n <= 0 || std::from_chars(text, text + n, pages).ec != std::errc()) return 0;
    return pages * static_cast<uint64_t>(::sysconf(_SC_PAGESIZE));
}

// The memory budget on top of what the program and its libraries occupy, the
// CPU time as given; no file may grow (so none is written) and a crash leaves
// no core file behind.
bool applyLimits(uint64_t memoryBytes, uint64_t cpuSeconds)
{
    const uint64_t addressSpace = addressSpaceInUse() + memoryBytes;
    return setLimit(RLIMIT_AS, addressSpace, addressSpace) && setLimit(RLIMIT_CPU, cpuSeconds, cpuSeconds + 1) &&
           setLimit(RLIMIT_FSIZE, 0, 0) && setLimit(RLIMIT_CORE, 0, 0);
}

// A stream over a file this helper opened itself.
class OpenedFileStream : public Assimp::DefaultIOStream {
public:
    OpenedFileStream(FILE* file, const std::string& name) : DefaultIOStream(file, name) {}
};

// The files the importer reads, the one named and those it names in turn (an
// OBJ's materials, a glTF's buffers), are opened only when they are regular
// files: a FIFO or a device named there would hold the helper or feed it
// without end. Opened without waiting, then checked on what was opened.
class RegularFilesOnly : public Assimp::DefaultIOSystem {
public:
    bool Exists(const char* path) const override
    {
        struct stat info {};
        return ::stat(path, &info) == 0 && S_ISREG(info.st_mode);
    }
    Assimp::IOStream* Open(const char* path, const char* mode) override
    {
        if (std::string_view(mode).find_first_of("wa+") != std::string_view::npos) return nullptr;
        const int fd = ::open(path, O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
        struct stat info {};
        if (fd < 0) return nullptr;
        FILE* file = ::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) ? ::fdopen(fd, "rb") : nullptr;
        if (file == nullptr) {
            ::close(fd);
            return nullptr;
        }
        // assimp owns the stream from here and frees it in Close.
        return std::make_unique<OpenedFileStream>(file, path).release();
    }
};

bool writeAll(std::span<const std::byte> bytes)
{
    while (!bytes.empty()) {
        const ssize_t n = ::write(STDOUT_FILENO, bytes.data(), bytes.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes = bytes.subspan(static_cast<size_t>(n));
    }
    return true;
}

bool sendReply(ImportReplyKind kind, std::span<const std::byte> body)
{
    return writeAll(importReplyHeader(kind, body.size())) && writeAll(body) && writeAll(importReplyTrailer(body));
}

bool sendMessage(std::string text)
{
    if (text.empty()) text = "the importer gave no reason";
    text.resize(std::min<size_t>(text.size(), maxImportMessageBytes));
    std::replace(text.begin(), text.end(), '\0', ' ');
    return sendReply(ImportReplyKind::Message, std::as_bytes(std::span(text.data(), text.size())));
}

void putFloat(std::vector<std::byte>& out, float value)
{
    const uint32_t bits = std::bit_cast<uint32_t>(value);
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::byte>(bits >> (8 * i)));
}

// The triangles of every node, each moved by the transforms from the root
// down, as native file records. Walked with a list rather than recursion, as
// the node tree may be as deep as the file is long.
std::vector<std::byte> collectRecords(const aiScene& scene)
{
    std::vector<std::byte> records;
    std::vector<std::pair<const aiNode*, aiMatrix4x4>> pending{{scene.mRootNode, aiMatrix4x4()}};
    while (!pending.empty()) {
        const auto [node, parent] = pending.back();
        pending.pop_back();
        const aiMatrix4x4 transform = parent * node->mTransformation;
        for (unsigned m = 0; m < node->mNumMeshes; ++m) {
            if (node->mMeshes[m] >= scene.mNumMeshes) continue;
            const aiMesh& mesh = *scene.mMeshes[node->mMeshes[m]];
            const aiVector3D* uvs = mesh.mTextureCoords[0];
            for (unsigned f = 0; f < mesh.mNumFaces; ++f) {
                const aiFace& face = mesh.mFaces[f];
                // Points and lines are left out: the mesh holds triangles only.
                if (face.mNumIndices != 3 ||
                    std::any_of(face.mIndices, face.mIndices + 3, [&](unsigned i) { return i >= mesh.mNumVertices; }))
                    continue;
                for (size_t k = 0; k < 3; ++k) {
                    const unsigned i = face.mIndices[k];
                    const aiVector3D p = transform * mesh.mVertices[i];
                    putFloat(records, uvs != nullptr ? uvs[i].x : 0.0f);
                    putFloat(records, uvs != nullptr ? 1.0f - uvs[i].y : 0.0f);
                    putFloat(records, p.x);
                    putFloat(records, p.y);
                    putFloat(records, p.z);
                }
            }
        }
        // Children pushed last first, so they are walked in file order.
        for (unsigned c = node->mNumChildren; c-- > 0;)
            if (node->mChildren[c] != nullptr) pending.emplace_back(node->mChildren[c], transform);
    }
    return records;
}

// The first face that names a vertex its mesh does not have, in words; empty
// when every face is sound. Checked before the steps that would read there.
std::string faceProblem(const aiScene& scene)
{
    for (unsigned m = 0; m < scene.mNumMeshes && scene.mMeshes != nullptr; ++m) {
        const aiMesh* mesh = scene.mMeshes[m];
        for (unsigned f = 0; mesh != nullptr && mesh->mFaces != nullptr && f < mesh->mNumFaces; ++f) {
            const aiFace& face = mesh->mFaces[f];
            for (unsigned k = 0; face.mIndices != nullptr && k < face.mNumIndices; ++k)
                if (face.mIndices[k] >= mesh->mNumVertices)
                    return "a face names vertex " + std::to_string(face.mIndices[k]) + " of " +
                           std::to_string(mesh->mNumVertices);
        }
    }
    return {};
}

bool importFile(const char* path)
{
    Assimp::Importer importer;
    importer.SetIOHandler(std::make_unique<RegularFilesOnly>().release());  // the importer owns it
    const aiScene* scene = importer.ReadFile(path, 0);
    if (scene == nullptr) return sendMessage(importer.GetErrorString());
    if (const std::string problem = faceProblem(*scene); !problem.empty()) return sendMessage(problem);
    constexpr unsigned steps = aiProcess_Triangulate | aiProcess_ValidateDataStructure | aiProcess_SortByPType;
    scene = importer.ApplyPostProcessing(steps);
    if (scene == nullptr) return sendMessage(importer.GetErrorString());
    if (scene->mRootNode == nullptr) return sendMessage("the file holds no scene");
    const std::vector<std::byte> records = collectRecords(*scene);
    if (records.empty()) return sendMessage("the file holds no triangles");
    return sendReply(ImportReplyKind::Triangles, records);
}

}  // namespace

int main(int argc, char** argv)
{
    uint64_t memoryBytes = 0, cpuSeconds = 0;
    if (argc != 4 || !parseWhole(argv[2], memoryBytes) || !parseWhole(argv[3], cpuSeconds) || cpuSeconds == 0)
        return exitBadArguments;
    if (!applyLimits(memoryBytes, cpuSeconds)) return sendMessage("the import limits could not be set") ? 0 : 1;
    std::set_new_handler(outOfMemory);
    try {
        return importFile(argv[1]) ? 0 : 1;
    } catch (const std::bad_alloc&) {
        outOfMemory();
    } catch (const std::exception& error) {
        return sendMessage(error.what()) ? 0 : 1;
    }
}
