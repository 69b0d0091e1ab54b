// exchange.cpp: the assimp bridge for export: builds an aiScene from the mesh
// and writes what the exporters produce. (Import runs assimp in the import
// helper, tools/import_helper.cpp.)
#include "tools/exchange.h"

#include <assimp/Exporter.hpp>
#include <assimp/IOStream.hpp>
#include <assimp/IOSystem.hpp>
#include <assimp/scene.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <span>
#include <unordered_map>

#include "files/files.h"

namespace fs = std::filesystem;

namespace {

struct FormatName {
    std::string_view extension;
    const char* assimpId;
};

// Binary STL and PLY keep every float bit; the text formats print enough digits.
constexpr FormatName exportFormats[] = {
    {"obj", "obj"},   {"stl", "stlb"},     {"ply", "plyb"}, {"glb", "glb2"},
    {"gltf", "gltf2"}, {"dae", "collada"}, {"3ds", "3ds"},
};

// ---- export: files collected in memory, written whole afterwards -------------------------

using FileContents = std::map<std::string, std::vector<std::byte>>;

class MemoryStream : public Assimp::IOStream {
public:
    explicit MemoryStream(std::vector<std::byte>& bytes) : bytes_(bytes) {}

    size_t Read(void*, size_t, size_t) override { return 0; }
    size_t Write(const void* buffer, size_t size, size_t count) override
    {
        if (size == 0 || count == 0) return 0;
        const size_t length = size * count;
        if (position_ + length > bytes_.size()) bytes_.resize(position_ + length);
        std::memcpy(bytes_.data() + position_, buffer, length);
        position_ += length;
        return count;
    }
    aiReturn Seek(size_t offset, aiOrigin origin) override
    {
        const size_t base = origin == aiOrigin_SET ? 0 : origin == aiOrigin_CUR ? position_ : bytes_.size();
        // Seeking past the end is allowed, as with files: the next write
        // fills the gap with zeros.
        position_ = base + offset;
        return aiReturn_SUCCESS;
    }
    size_t Tell() const override { return position_; }
    size_t FileSize() const override { return bytes_.size(); }
    void Flush() override {}

private:
    std::vector<std::byte>& bytes_;
    size_t position_ = 0;
};

// Hands the exporters streams into `files`. The exporters own what Open
// returns: some close it here, some delete it themselves.
class MemoryWriter : public Assimp::IOSystem {
public:
    explicit MemoryWriter(FileContents& files) : files_(files) {}

    bool Exists(const char* path) const override { return files_.count(path) != 0; }
    char getOsSeparator() const override { return '/'; }
    Assimp::IOStream* Open(const char* path, const char* mode) override
    {
        if (mode == nullptr || (std::strchr(mode, 'w') == nullptr && std::strchr(mode, 'a') == nullptr))
            return nullptr;
        std::vector<std::byte>& bytes = files_[path];
        bytes.clear();
        return std::make_unique<MemoryStream>(bytes).release();
    }
    void Close(Assimp::IOStream* stream) override { std::unique_ptr<Assimp::IOStream>{stream}; }

private:
    FileContents& files_;
};

template <typename T>
T* newArray(size_t count)
{
    // The scene deletes its arrays with delete[]; ownership passes to it.
    return std::make_unique<T[]>(count).release();
}

// One vertex per distinct (position, texture coordinate, normal), in the
// order corners first use them.
struct CornerKey {
    int32_t vertex;
    std::array<uint32_t, 5> bits;  // u, v and the normal's x, y, z
    bool operator==(const CornerKey&) const = default;
};
struct CornerKeyHash {
    size_t operator()(const CornerKey& k) const
    {
        uint64_t h = static_cast<uint32_t>(k.vertex);
        for (uint32_t b : k.bits) h = (h ^ b) * 0x100000001B3ull;
        return static_cast<size_t>(h ^ (h >> 29));
    }
};

// The unit normal of the face its winding gives: (b - a) x (c - a), so every
// exporter writes it instead of making smooth normals of its own. A face
// without area (or with a position that is not finite) has no direction; it
// gets +Z, so that every normal written is a unit vector.
aiVector3D faceNormal(Vec3 a, Vec3 b, Vec3 c)
{
    const double ux = double{b.x} - a.x, uy = double{b.y} - a.y, uz = double{b.z} - a.z;
    const double vx = double{c.x} - a.x, vy = double{c.y} - a.y, vz = double{c.z} - a.z;
    const double nx = uy * vz - uz * vy, ny = uz * vx - ux * vz, nz = ux * vy - uy * vx;
    const double length = std::sqrt(nx * nx + ny * ny + nz * nz);
    if (!(length > 0.0) || !std::isfinite(length)) return {0.0f, 0.0f, 1.0f};
    return {static_cast<float>(nx / length), static_cast<float>(ny / length), static_cast<float>(nz / length)};
}

// zUp stands the mesh on the Z axis for formats whose exporter writes the
// vertices unchanged while their importer turns Z-up into Y-up (3DS).
// `texture`, when not empty, is the picture's name as the material gives it.
std::unique_ptr<aiScene> sceneOf(const Mesh& mesh, bool zUp, const std::string& texture)
{
    const auto triangles = std::span(mesh.triangles).first(writtenTriangleCount(mesh));
    const auto turned = [zUp](Vec3 p) { return zUp ? aiVector3D(p.x, -p.z, p.y) : aiVector3D(p.x, p.y, p.z); };

    std::unordered_map<CornerKey, uint32_t, CornerKeyHash> vertexOf;
    std::vector<CornerKey> corners;
    std::vector<uint32_t> indices;
    indices.reserve(triangles.size() * 3);
    for (const Triangle& t : triangles) {
        const aiVector3D f = faceNormal(vertexPosition(mesh, t.vertexIndex[0]),
                                        vertexPosition(mesh, t.vertexIndex[1]), vertexPosition(mesh, t.vertexIndex[2]));
        const aiVector3D normal = turned(Vec3{f.x, f.y, f.z});
        for (size_t k = 0; k < 3; ++k) {
            const CornerKey key{clampVertexPosition(mesh, t.vertexIndex[k]),
                                {std::bit_cast<uint32_t>(t.u[k]), std::bit_cast<uint32_t>(t.v[k]),
                                 std::bit_cast<uint32_t>(normal.x), std::bit_cast<uint32_t>(normal.y),
                                 std::bit_cast<uint32_t>(normal.z)}};
            const auto [it, added] = vertexOf.try_emplace(key, static_cast<uint32_t>(corners.size()));
            if (added) corners.push_back(key);
            indices.push_back(it->second);
        }
    }

    auto out = std::make_unique<aiMesh>();
    out->mName = "polyquill";
    out->mPrimitiveTypes = aiPrimitiveType_TRIANGLE;
    out->mMaterialIndex = 0;
    out->mNumVertices = static_cast<unsigned>(corners.size());
    out->mVertices = newArray<aiVector3D>(corners.size());
    out->mNormals = newArray<aiVector3D>(corners.size());
    out->mTextureCoords[0] = newArray<aiVector3D>(corners.size());
    out->mNumUVComponents[0] = 2;
    for (size_t i = 0; i < corners.size(); ++i) {
        const std::array<uint32_t, 5>& bits = corners[i].bits;
        out->mVertices[i] = turned(vertexPosition(mesh, corners[i].vertex));
        out->mNormals[i] = aiVector3D(std::bit_cast<float>(bits[2]), std::bit_cast<float>(bits[3]),
                                      std::bit_cast<float>(bits[4]));
        out->mTextureCoords[0][i] =
            aiVector3D(std::bit_cast<float>(bits[0]), 1.0f - std::bit_cast<float>(bits[1]), 0.0f);
    }
    out->mNumFaces = static_cast<unsigned>(triangles.size());
    out->mFaces = newArray<aiFace>(triangles.size());
    for (size_t f = 0; f < triangles.size(); ++f) {
        aiFace& face = out->mFaces[f];
        face.mNumIndices = 3;
        face.mIndices = newArray<unsigned>(3);
        std::copy_n(&indices[f * 3], 3, face.mIndices);
    }

    auto scene = std::make_unique<aiScene>();
    scene->mRootNode = std::make_unique<aiNode>("polyquill").release();
    scene->mRootNode->mNumMeshes = 1;
    scene->mRootNode->mMeshes = newArray<unsigned>(1);
    scene->mNumMeshes = 1;
    scene->mMeshes = newArray<aiMesh*>(1);
    scene->mMeshes[0] = out.release();
    auto material = std::make_unique<aiMaterial>();
    const aiString materialName("polyquill");
    material->AddProperty(&materialName, AI_MATKEY_NAME);
    // White, so that the picture shows in its own colours.
    const aiColor3D white(1.0f, 1.0f, 1.0f);
    material->AddProperty(&white, 1, AI_MATKEY_COLOR_DIFFUSE);
    if (!texture.empty()) {
        const aiString picture(texture);
        material->AddProperty(&picture, AI_MATKEY_TEXTURE_DIFFUSE(0));
    }
    scene->mNumMaterials = 1;
    scene->mMaterials = newArray<aiMaterial*>(1);
    scene->mMaterials[0] = material.release();
    return scene;
}

// The first finished triangle, counted from 1, with a NaN among its corners'
// positions and texture coordinates; 0 when there is none.
size_t firstTriangleWithNaN(const Mesh& mesh)
{
    const auto triangles = std::span(mesh.triangles).first(writtenTriangleCount(mesh));
    for (size_t i = 0; i < triangles.size(); ++i) {
        for (size_t k = 0; k < 3; ++k) {
            const Vec3 p = vertexPosition(mesh, triangles[i].vertexIndex[k]);
            if (std::isnan(p.x) || std::isnan(p.y) || std::isnan(p.z) || std::isnan(triangles[i].u[k]) ||
                std::isnan(triangles[i].v[k]))
                return i + 1;
        }
    }
    return 0;
}

// How the exported file names the picture: its path relative to the file's
// folder, with "/" between folders. glTF names it by URI, so there every byte
// but letters, digits, "-._~" and "/" is percent-escaped.
std::string pictureReference(const std::string& texture, const std::string& path, std::string_view extension)
{
    std::error_code error;
    const fs::path folder = fs::absolute(path, error).parent_path();
    fs::path relative = fs::relative(fs::absolute(texture, error), folder, error);
    if (error || relative.empty()) relative = fs::absolute(texture, error);
    const std::string name = relative.generic_string();
    if (extension != "gltf" && extension != "glb") return name;
    std::string uri;
    for (const char c : name) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                           std::string_view("-._~/").find(c) != std::string_view::npos;
        if (plain) {
            uri += c;
        } else {
            constexpr char hex[] = "0123456789ABCDEF";
            const auto byte = static_cast<unsigned char>(c);
            uri += {'%', hex[byte >> 4], hex[byte & 15]};
        }
    }
    return uri;
}

}  // namespace

ExportProblem exportMesh(const Mesh& mesh, const std::string& path, const std::string& texture)
{
    const std::string extension = lowerExtension(path);
    const auto format = std::find_if(std::begin(exportFormats), std::end(exportFormats),
                                     [&](const FormatName& f) { return f.extension == extension; });
    if (format == std::end(exportFormats)) return {ExportFailure::UnknownFormat, 0, extension};
    if (extension == "obj" || extension == "gltf" || extension == "glb")
        if (const size_t triangle = firstTriangleWithNaN(mesh); triangle != 0)
            return {ExportFailure::NotANumber, 0, std::to_string(triangle)};
    // Exported under the name the links lead to, so companions land beside
    // the main file and the names it holds for them (and the picture) are right.
    const std::string target = linkTarget(path);
    const std::string picture = texture.empty() ? std::string() : pictureReference(texture, target, extension);
    const std::unique_ptr<aiScene> scene = sceneOf(mesh, extension == "3ds", picture);
    if (scene->mMeshes[0]->mNumFaces == 0) return {ExportFailure::NoTriangles, 0, {}};

    FileContents files;
    {
        Assimp::Exporter exporter;
        exporter.SetIOHandler(std::make_unique<MemoryWriter>(files).release());
        if (exporter.Export(scene.get(), format->assimpId, target, 0) != aiReturn_SUCCESS)
            return {ExportFailure::ExporterFailed, 0, exporter.GetErrorString()};
    }
    const auto main = files.find(target);
    if (main == files.end()) return {ExportFailure::NoFileMade, 0, {}};
    // The main file last: it names the companions, which are all in place by then.
    std::vector<FileToWrite> written;
    for (const auto& [name, bytes] : files)
        if (name != target) written.push_back({name, bytes});
    written.push_back({target, main->second});
    size_t failed = 0;
    // The file asked for is named by the caller; a companion by its own name.
    if (const int32_t reason = replaceFiles(written, failed); reason != 0)
        return {ExportFailure::CannotWrite, reason, failed + 1 < written.size() ? written[failed].path : std::string()};
    return {};
}