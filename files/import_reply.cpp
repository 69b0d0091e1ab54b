// import_reply.cpp: the one message the import helper sends back through its
// pipe, written by the helper and checked by the editor and pqtool before they
// trust a byte of it. No state; no other code than the standard library, so
// the helper can build it without the rest of the program.
//
// Format, integers little-endian:
//   8 bytes  "PQREPLY1"
//   u32      kind: 1 triangles, 2 a message
//   u64      length of the body in bytes
//   body     triangles: native mesh file records, 60 bytes each, at least one;
//            message: 1 to maxImportMessageBytes bytes of text, no NUL
//   u32      FNV-1a hash of the body
// and nothing after it.
#include "files/files.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr char replyMagic[8] = {'P', 'Q', 'R', 'E', 'P', 'L', 'Y', '1'};
constexpr uint64_t recordBytes = 60;

void putLittleEndian(std::byte* out, uint64_t value, size_t bytes)
{
    for (size_t i = 0; i < bytes; ++i) out[i] = static_cast<std::byte>(value >> (8 * i));
}

uint64_t getLittleEndian(const std::byte* in, size_t bytes)
{
    uint64_t value = 0;
    for (size_t i = 0; i < bytes; ++i) value |= static_cast<uint64_t>(in[i]) << (8 * i);
    return value;
}

uint32_t fnv1a(std::span<const std::byte> bytes)
{
    uint32_t hash = 2166136261u;
    for (std::byte b : bytes) hash = (hash ^ static_cast<uint32_t>(b)) * 16777619u;
    return hash;
}

}  // namespace

std::array<std::byte, importReplyHeaderBytes> importReplyHeader(ImportReplyKind kind, uint64_t bodyBytes)
{
    std::array<std::byte, importReplyHeaderBytes> header{};
    std::memcpy(header.data(), replyMagic, sizeof replyMagic);
    putLittleEndian(header.data() + 8, static_cast<uint32_t>(kind), 4);
    putLittleEndian(header.data() + 12, bodyBytes, 8);
    return header;
}

std::array<std::byte, importReplyTrailerBytes> importReplyTrailer(std::span<const std::byte> body)
{
    std::array<std::byte, importReplyTrailerBytes> trailer{};
    putLittleEndian(trailer.data(), fnv1a(body), 4);
    return trailer;
}

std::optional<uint64_t> importReplyLength(std::span<const std::byte> header, uint64_t maxBodyBytes)
{
    if (header.size() < importReplyHeaderBytes || std::memcmp(header.data(), replyMagic, sizeof replyMagic) != 0)
        return std::nullopt;
    const uint64_t kind = getLittleEndian(header.data() + 8, 4);
    const uint64_t body = getLittleEndian(header.data() + 12, 8);
    const bool fits = kind == static_cast<uint32_t>(ImportReplyKind::Triangles)
                          ? body > 0 && body % recordBytes == 0 && body <= maxBodyBytes
                      : kind == static_cast<uint32_t>(ImportReplyKind::Message)
                          ? body > 0 && body <= maxImportMessageBytes
                          : false;
    if (!fits) return std::nullopt;
    return importReplyHeaderBytes + body + importReplyTrailerBytes;
}

std::optional<ImportReply> parseImportReply(std::span<const std::byte> reply, uint64_t maxBodyBytes)
{
    const std::optional<uint64_t> length = importReplyLength(reply, maxBodyBytes);
    if (!length || *length != reply.size()) return std::nullopt;
    const std::span<const std::byte> body = reply.subspan(importReplyHeaderBytes, reply.size() -
                                                                                      importReplyHeaderBytes -
                                                                                      importReplyTrailerBytes);
    if (getLittleEndian(reply.data() + reply.size() - importReplyTrailerBytes, 4) != fnv1a(body))
        return std::nullopt;
    const auto kind = static_cast<ImportReplyKind>(getLittleEndian(reply.data() + 8, 4));
    if (kind == ImportReplyKind::Message &&
        std::find(body.begin(), body.end(), std::byte{0}) != body.end())
        return std::nullopt;
    return ImportReply{kind, body};
}
