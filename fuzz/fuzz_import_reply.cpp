// fuzz_import_reply.cpp: the import helper's reply as the parent checks it, on
// any bytes. A reply that passes must be whole: its length agrees with its
// header, and its triangles read as a mesh of exactly that many.
#include <cstdlib>

#include "files/files.h"
#include "mesh/mesh.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const auto bytes = std::as_bytes(std::span(data, size));
    constexpr uint64_t maxBody = 60 * 1000;
    const std::optional<ImportReply> reply = parseImportReply(bytes, maxBody);
    if (!reply) return 0;
    if (importReplyLength(bytes, maxBody) != size) std::abort();
    if (reply->kind == ImportReplyKind::Triangles) {
        Mesh mesh;
        readMeshBytes(mesh, reply->body, 1);
        if (mesh.triangles.size() * 60 != reply->body.size()) std::abort();
    }
    return 0;
}
