// exchange.cpp: the assimp bridge for export: builds an aiScene from the mesh
// and writes what the exporters produce. (Import runs assimp in the import
// helper, tools/import_helper.cpp.)
#include "tools/exchange.h"

#include <assimp/Exporter.hpp>
#include <assimp/IOStream.hpp>
#include <assimp/IOSystem.hpp>
#include <assimp/scene.h>

#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <span>
#include <unordered_map>

#include "files/files.h"

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

std::string listOf(const std::vector<std::string_view>& extensions)
{
    std::string text;
    for (std::string_view e : extensions) {
        if (!text.empty()) text += ", ";
        text += e;
    }
    return text;
}

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

// One vertex per distinct (position, texture coordinate) pair, in the order
// corners first use them.
struct CornerKey {
    int32_t vertex;
    uint32_t u, v;
    bool operator==(const CornerKey&) const = default;
};
struct CornerKeyHash {
    size_t operator()(const CornerKey& k) const
    {
        return std::hash<uint64_t>()((static_cast<uint64_t>(static_cast<uint32_t>(k.vertex)) << 32) ^
                                     (static_cast<uint64_t>(k.u) << 16) ^ k.v);
    }
};

// zUp stands the mesh on the Z axis for formats whose exporter writes the
// vertices unchanged while their importer turns Z-up into Y-up (3DS).
std::unique_ptr<aiScene> sceneOf(const Mesh& mesh, bool zUp)
{
    const size_t count =
        mesh.triangles.size() - (mesh.pendingCorner != 0 && !mesh.triangles.empty() ? 1 : 0);
    const std::span<const Triangle> triangles(mesh.triangles.data(), count);

    std::unordered_map<CornerKey, uint32_t, CornerKeyHash> vertexOf;
    std::vector<CornerKey> corners;
    std::vector<uint32_t> indices;
    indices.reserve(count * 3);
    for (const Triangle& t : triangles)
        for (size_t k = 0; k < 3; ++k) {
            const CornerKey key{clampVertexPosition(mesh, t.vertexIndex[k]), std::bit_cast<uint32_t>(t.u[k]),
                                std::bit_cast<uint32_t>(t.v[k])};
            const auto [it, added] = vertexOf.try_emplace(key, static_cast<uint32_t>(corners.size()));
            if (added) corners.push_back(key);
            indices.push_back(it->second);
        }

    auto out = std::make_unique<aiMesh>();
    out->mName = "polyquill";
    out->mPrimitiveTypes = aiPrimitiveType_TRIANGLE;
    out->mMaterialIndex = 0;
    out->mNumVertices = static_cast<unsigned>(corners.size());
    out->mVertices = newArray<aiVector3D>(corners.size());
    out->mTextureCoords[0] = newArray<aiVector3D>(corners.size());
    out->mNumUVComponents[0] = 2;
    for (size_t i = 0; i < corners.size(); ++i) {
        const Vec3 p = vertexPosition(mesh, corners[i].vertex);
        out->mVertices[i] = zUp ? aiVector3D(p.x, -p.z, p.y) : aiVector3D(p.x, p.y, p.z);
        out->mTextureCoords[0][i] =
            aiVector3D(std::bit_cast<float>(corners[i].u), 1.0f - std::bit_cast<float>(corners[i].v), 0.0f);
    }
    out->mNumFaces = static_cast<unsigned>(count);
    out->mFaces = newArray<aiFace>(count);
    for (size_t f = 0; f < count; ++f) {
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
    scene->mNumMaterials = 1;
    scene->mMaterials = newArray<aiMaterial*>(1);
    scene->mMaterials[0] = material.release();
    return scene;
}

}  // namespace

const std::vector<std::string_view>& exportExtensions()
{
    static const std::vector<std::string_view> list{"obj", "stl", "ply", "glb", "gltf", "dae", "3ds"};
    return list;
}

std::string exportMesh(const Mesh& mesh, const std::string& path)
{
    const std::string extension = lowerExtension(path);
    const auto format = std::find_if(std::begin(exportFormats), std::end(exportFormats),
                                     [&](const FormatName& f) { return f.extension == extension; });
    if (format == std::end(exportFormats))
        return "unknown format \"" + extension + "\": export writes " + listOf(exportExtensions());
    const std::unique_ptr<aiScene> scene = sceneOf(mesh, extension == "3ds");
    if (scene->mMeshes[0]->mNumFaces == 0) return "the mesh has no triangles to export";

    // Exported under the name the links lead to, so companions land beside
    // the main file and the names it holds for them are right.
    const std::string target = linkTarget(path);
    FileContents files;
    {
        Assimp::Exporter exporter;
        exporter.SetIOHandler(std::make_unique<MemoryWriter>(files).release());
        if (exporter.Export(scene.get(), format->assimpId, target, 0) != aiReturn_SUCCESS)
            return std::string("the exporter failed: ") + exporter.GetErrorString();
    }
    // Companions first, so the main file never refers to a missing one; those
    // this export made go again when the main file cannot be written.
    std::vector<std::string> made;
    for (const auto& [name, bytes] : files) {
        if (name == target) continue;
        const bool existed = ::access(linkTarget(name).c_str(), F_OK) == 0;
        if (std::string problem = writeFileReplacing(name, bytes); !problem.empty())
            return "cannot write " + name + ": " + problem;
        if (!existed) made.push_back(linkTarget(name));
    }
    const auto main = files.find(target);
    const std::string problem =
        main == files.end() ? std::string("the exporter wrote no file") : writeFileReplacing(target, main->second);
    if (problem.empty()) return {};
    for (const std::string& name : made) ::unlink(name.c_str());
    return "cannot write " + path + ": " + problem;
}
