// exchange_test.cpp: export and import through assimp: round trips through
// every format, files written with other tools' conventions, and bad input;
// the import helper's limits and reply, and the hostile corpus.
#include <gtest/gtest.h>

#include <assimp/Importer.hpp>
#include <assimp/scene.h>

#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <span>
#include <string>
#include <variant>

#include "files/files.h"
#include "mesh/mesh.h"
#include "tools/exchange.h"

namespace fs = std::filesystem;

namespace {

class ExchangeTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // A folder of its own: other builds may run the same tests at the same time.
        std::string pattern = (fs::temp_directory_path() / "pq_exchange_XXXXXX").string();
        dir = ::mkdtemp(pattern.data());
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string path(const std::string& name) const { return (dir / name).string(); }
    std::string write(const std::string& name, const std::string& bytes) const
    {
        std::ofstream(path(name), std::ios::binary) << bytes;
        return path(name);
    }

    fs::path dir;
};

Mesh imported(const std::string& path, int32_t factor = 1)
{
    auto result = importThroughHelper(path, factor);
    if (const auto* problem = std::get_if<std::string>(&result)) {
        ADD_FAILURE() << path << ": " << *problem;
        return {};
    }
    return std::get<Mesh>(result);
}

std::string importError(const std::string& path, int32_t factor = 1, const ImportRun& how = {})
{
    auto result = importThroughHelper(path, factor, how);
    const auto* problem = std::get_if<std::string>(&result);
    return problem != nullptr ? *problem : std::string();
}

void addTriangle(Mesh& mesh, Vec3 a, Vec3 b, Vec3 c, std::array<float, 6> uv)
{
    std::array<int32_t, 3> index{};
    const Vec3 corners[] = {a, b, c};
    for (size_t k = 0; k < 3; ++k) {
        index[k] = findVertexAt(mesh, corners[k].x, corners[k].y, corners[k].z);
        if (index[k] < 0) {
            Vertex& v = appendVertex(mesh);
            v.x = corners[k].x;
            v.y = corners[k].y;
            v.z = corners[k].z;
            index[k] = static_cast<int32_t>(mesh.vertices.size() - 1);
        }
    }
    Triangle& t = appendTriangle(mesh);
    t.vertexIndex = index;
    t.u = {uv[0], uv[2], uv[4]};
    t.v = {uv[1], uv[3], uv[5]};
}

// Three triangles sharing corners whose texture coordinates differ per
// triangle (a seam), with values that need every digit of a float.
Mesh seamMesh()
{
    Mesh mesh;
    const Vec3 a{0.1234567f, -0.7654321f, 0.3333333f}, b{0.9f, 0.0f, -0.25f}, c{-0.5f, 0.625f, 0.001f},
               d{0.2f, 0.8f, -0.9f};
    addTriangle(mesh, a, b, c, {0.0f, 0.0f, 1.0f, 0.0f, 0.0f, 1.0f});
    addTriangle(mesh, b, d, c, {0.75f, 0.125f, 0.3f, 0.9f, 0.1f, 0.6f});  // b and c again, other coordinates
    addTriangle(mesh, a, c, d, {0.2f, 0.2f, 0.4f, 0.8f, 0.7f, 0.05f});
    return mesh;
}

// Same triangles in the same order, corners in the same winding, positions
// (and, when withUv, texture coordinates) within tolerance.
void expectSameTriangles(const Mesh& expected, const Mesh& actual, float tolerance, bool withUv)
{
    ASSERT_EQ(actual.triangles.size(), expected.triangles.size());
    for (size_t i = 0; i < expected.triangles.size(); ++i)
        for (size_t k = 0; k < 3; ++k) {
            const Triangle& e = expected.triangles[i];
            const Triangle& a = actual.triangles[i];
            const Vec3 pe = vertexPosition(expected, e.vertexIndex[k]);
            const Vec3 pa = vertexPosition(actual, a.vertexIndex[k]);
            EXPECT_NEAR(pa.x, pe.x, tolerance) << "triangle " << i << " corner " << k;
            EXPECT_NEAR(pa.y, pe.y, tolerance) << "triangle " << i << " corner " << k;
            EXPECT_NEAR(pa.z, pe.z, tolerance) << "triangle " << i << " corner " << k;
            if (withUv) {
                EXPECT_NEAR(a.u[k], e.u[k], tolerance) << "triangle " << i << " corner " << k;
                EXPECT_NEAR(a.v[k], e.v[k], tolerance) << "triangle " << i << " corner " << k;
            }
        }
}

struct FormatCase {
    const char* extension;
    bool keepsUv;
    float tolerance;
    bool holdsNormals;
};

// Binary formats and glTF keep floats exactly; the text formats print enough
// digits to land within a float's rounding. 3DS holds no normals (and the
// exporter writes no smoothing groups), so readers make their own.
constexpr FormatCase formats[] = {
    {"obj", true, 1e-6f, true},  {"stl", false, 0.0f, true}, {"ply", true, 0.0f, true},
    {"glb", true, 0.0f, true},   {"gltf", true, 0.0f, true}, {"dae", true, 1e-6f, true},
    {"3ds", true, 1e-6f, false},
};

}  // namespace

TEST_F(ExchangeTest, TexturedMeshRoundTripsThroughEveryFormat)
{
    const Mesh mesh = seamMesh();
    for (const FormatCase& f : formats) {
        SCOPED_TRACE(f.extension);
        const std::string file = path(std::string("seam.") + f.extension);
        ASSERT_EQ(exportMesh(mesh, file), "");
        const Mesh back = imported(file);
        // 1 - (1 - v) may round in the last bit.
        expectSameTriangles(mesh, back, std::max(f.tolerance, 1e-7f), f.keepsUv);
        if (f.tolerance == 0.0f) {
            EXPECT_EQ(back.vertices.size(), mesh.vertices.size());
        }
    }
}

// Every normal a file holds, read back as it stands, is the unit normal of
// its face's winding in that file: smooth normals (or ones lying in the
// face's plane) light corners black in an engine.
TEST_F(ExchangeTest, NormalsAgreeWithEachFacesWinding)
{
    Mesh cube;
    ASSERT_TRUE(loadMeshFile(cube, PQ_SOURCE_DIR "/samples/cube.pq"));
    for (const Mesh& mesh : {cube, seamMesh()})
        for (const FormatCase& f : formats) {
            if (!f.holdsNormals) continue;
            SCOPED_TRACE(f.extension);
            const std::string file = path(std::string("normals.") + f.extension);
            ASSERT_EQ(exportMesh(mesh, file), "");
            Assimp::Importer importer;
            const aiScene* scene = importer.ReadFile(file, 0);
            ASSERT_NE(scene, nullptr) << importer.GetErrorString();
            size_t faces = 0;
            for (const aiMesh* m : std::span(scene->mMeshes, scene->mNumMeshes)) {
                ASSERT_TRUE(m->HasNormals());
                for (const aiFace& face : std::span(m->mFaces, m->mNumFaces)) {
                    ASSERT_EQ(face.mNumIndices, 3u);
                    const aiVector3D a = m->mVertices[face.mIndices[0]], b = m->mVertices[face.mIndices[1]],
                                     c = m->mVertices[face.mIndices[2]];
                    const aiVector3D winding = ((b - a) ^ (c - a)).Normalize();
                    for (unsigned k = 0; k < 3; ++k) {
                        const aiVector3D n = m->mNormals[face.mIndices[k]];
                        EXPECT_NEAR(n.Length(), 1.0f, 1e-5f) << "face " << faces << " corner " << k;
                        EXPECT_GT(n * winding, 0.9999f) << "face " << faces << " corner " << k;
                    }
                    ++faces;
                }
            }
            EXPECT_EQ(faces, mesh.triangles.size());
        }
}

TEST_F(ExchangeTest, ExportSplitsSeamsAndFlipsV)
{
    ASSERT_EQ(exportMesh(seamMesh(), path("seam.obj")), "");
    std::ifstream in(path("seam.obj"));
    int positions = 0, coordinates = 0;
    bool flipped = false;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind("v ", 0) == 0) ++positions;
        if (line.rfind("vt ", 0) == 0) {
            ++coordinates;
            // The first triangle's (0.75, 0.125) is written with V counted from the bottom.
            if (line.rfind("vt 0.75 0.875", 0) == 0) flipped = true;
        }
    }
    EXPECT_EQ(positions, 4);
    EXPECT_EQ(coordinates, 9);
    EXPECT_TRUE(flipped);
    EXPECT_TRUE(fs::exists(path("seam.mtl")));
}

TEST_F(ExchangeTest, GltfWritesItsBufferBesideIt)
{
    ASSERT_EQ(exportMesh(seamMesh(), path("seam.gltf")), "");
    EXPECT_TRUE(fs::exists(path("seam.bin")));
    std::ifstream in(path("seam.gltf"));
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("seam.bin"), std::string::npos);
}

TEST_F(ExchangeTest, TextureIsNamedRelativeToTheExportedFile)
{
    fs::create_directories(dir / "pictures");
    fs::create_directories(dir / "models");
    const std::string picture = write("pictures/brick wall.png", "a picture");
    // The file that holds the material, and how it names the picture.
    const std::pair<const char*, const char*> cases[] = {
        {"obj", "map_Kd ../pictures/brick wall.png"},   {"gltf", "\"../pictures/brick%20wall.png\""},
        {"glb", "\"../pictures/brick%20wall.png\""},    {"dae", ">../pictures/brick%20wall.png<"},
        {"3ds", "../pictures/brick wall.png"},
    };
    for (const auto& [extension, reference] : cases) {
        SCOPED_TRACE(extension);
        const std::string file = path(std::string("models/seam.") + extension);
        ASSERT_EQ(exportMesh(seamMesh(), file, picture), "");
        const auto bytes = readFileBytes(std::string_view(extension) == "obj" ? path("models/seam.mtl") : file);
        ASSERT_TRUE(bytes);
        const std::string text(reinterpret_cast<const char*>(bytes->data()), bytes->size());
        EXPECT_NE(text.find(reference), std::string::npos) << text;
    }
}

TEST_F(ExchangeTest, HalfBuiltTriangleIsLeftOut)
{
    Mesh mesh = seamMesh();
    appendTriangle(mesh).vertexIndex = {0, 1, 1};
    mesh.pendingCorner = 2;
    ASSERT_EQ(exportMesh(mesh, path("pending.ply")), "");
    EXPECT_EQ(imported(path("pending.ply")).triangles.size(), 3u);
}

TEST_F(ExchangeTest, CorpusMeshesRoundTrip)
{
    std::vector<std::pair<std::string, Mesh>> corpus;
    for (const auto& entry : fs::directory_iterator(PQ_SOURCE_DIR "/tests/data/asc")) {
        if (entry.path().extension() != ".ASC") continue;
        Mesh mesh;
        ASSERT_TRUE(importAsc(mesh, entry.path().string(), 1000));
        corpus.emplace_back(entry.path().filename().string(), std::move(mesh));
    }
    Mesh cube;
    ASSERT_TRUE(loadMeshFile(cube, PQ_SOURCE_DIR "/samples/cube.pq"));
    corpus.emplace_back("cube.pq", std::move(cube));
    ASSERT_GE(corpus.size(), 3u);

    for (const auto& [name, mesh] : corpus)
        for (const char* extension : {"obj", "stl", "ply", "glb", "gltf"}) {
            SCOPED_TRACE(name + " as " + extension);
            const std::string file = path("corpus." + std::string(extension));
            ASSERT_EQ(exportMesh(mesh, file), "");
            const Mesh back = imported(file);
            expectSameTriangles(mesh, back, 1e-6f, std::string(extension) != "stl");
        }
}

TEST_F(ExchangeTest, SampleCubeComesBackBitForBit)
{
    const auto file = readFileBytes(PQ_SOURCE_DIR "/samples/cube.pq");
    ASSERT_TRUE(file);
    const std::vector<std::byte> original(file->begin(), file->end());
    Mesh cube;
    readMeshBytes(cube, original, 1);
    for (const char* extension : {"obj", "ply", "glb", "gltf", "dae", "3ds"}) {
        SCOPED_TRACE(extension);
        ASSERT_EQ(exportMesh(cube, path(std::string("cube.") + extension)), "");
        EXPECT_EQ(writeMeshBytes(imported(path(std::string("cube.") + extension))), original);
    }
}

TEST_F(ExchangeTest, ObjWithNegativeIndicesAndQuads)
{
    // A modeller's OBJ: relative indices, texture coordinates counted from the
    // bottom, a quad and a triangle, a normal channel that is ignored.
    const std::string file = write("quad.obj",
                                   "# exported by a modeller\n"
                                   "o Plane\n"
                                   "v 0 0 0\nv 2 0 0\nv 2 2 0\nv 0 2 0\nv 1 3 0\n"
                                   "vt 0 0\nvt 1 0\nvt 1 1\nvt 0 1\nvt 0.5 1\n"
                                   "vn 0 0 1\n"
                                   "f -5/-5/-1 -4/-4/-1 -3/-3/-1 -2/-2/-1\n"
                                   "f -2/4/1 -3/3/1 -1/5/1\n");
    const Mesh mesh = imported(file, 2);
    ASSERT_EQ(mesh.triangles.size(), 3u);
    EXPECT_EQ(mesh.vertices.size(), 5u);  // shared again by position
    // Every triangle keeps the file's counter-clockwise winding about +Z.
    for (const Triangle& t : mesh.triangles) {
        const Vec3 a = vertexPosition(mesh, t.vertexIndex[0]), b = vertexPosition(mesh, t.vertexIndex[1]),
                   c = vertexPosition(mesh, t.vertexIndex[2]);
        EXPECT_GT((b.x - a.x) * (c.y - a.y) - (b.y - a.y) * (c.x - a.x), 0.0f);
    }
    // Positions halved by the factor; the corner at (0, 0) is the picture's bottom left.
    bool foundOrigin = false;
    for (const Triangle& t : mesh.triangles)
        for (size_t k = 0; k < 3; ++k) {
            const Vec3 p = vertexPosition(mesh, t.vertexIndex[k]);
            EXPECT_LE(p.y, 1.5f);
            if (p.x == 0.0f && p.y == 0.0f) {
                foundOrigin = true;
                EXPECT_EQ(t.u[k], 0.0f);
                EXPECT_EQ(t.v[k], 1.0f);
            }
            if (p.x == 0.5f && p.y == 1.5f) {
                EXPECT_EQ(t.v[k], 0.0f);  // the apex at the top
            }
        }
    EXPECT_TRUE(foundOrigin);
}

TEST_F(ExchangeTest, BinaryAndAsciiStl)
{
    std::string binary(80, ' ');
    const auto put = [&binary](const void* data, size_t n) { binary.append(static_cast<const char*>(data), n); };
    const uint32_t count = 2;
    put(&count, 4);
    const float triangles[2][12] = {{0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0}, {0, 0, 1, 1, 0, 0, 1, 1, 0, 0, 1, 0}};
    for (const auto& t : triangles) {
        put(t, sizeof t);
        const uint16_t attributes = 0;
        put(&attributes, 2);
    }
    const Mesh fromBinary = imported(write("part.stl", binary));
    ASSERT_EQ(fromBinary.triangles.size(), 2u);
    EXPECT_EQ(fromBinary.vertices.size(), 4u);
    const Vec3 apex = vertexPosition(fromBinary, fromBinary.triangles[1].vertexIndex[1]);
    EXPECT_EQ(apex.x, 1.0f);
    EXPECT_EQ(apex.y, 1.0f);

    const Mesh fromText = imported(write("part_ascii.stl",
                                         "solid part\n"
                                         "  facet normal 0 0 1\n    outer loop\n"
                                         "      vertex 0 0 0\n      vertex 1 0 0\n      vertex 0 1 0\n"
                                         "    endloop\n  endfacet\n"
                                         "  facet normal 0 0 1\n    outer loop\n"
                                         "      vertex 1 0 0\n      vertex 1 1 0\n      vertex 0 1 0\n"
                                         "    endloop\n  endfacet\n"
                                         "endsolid part\n"),
                                   4);
    expectSameTriangles(fromBinary, imported(path("part.stl")), 0.0f, true);
    ASSERT_EQ(fromText.triangles.size(), 2u);
    const Vec3 corner = vertexPosition(fromText, fromText.triangles[1].vertexIndex[1]);
    EXPECT_EQ(corner.x, 0.25f);  // divided by the factor
    EXPECT_EQ(corner.y, 0.25f);
}

TEST_F(ExchangeTest, BadInputGivesAMessage)
{
    ASSERT_EQ(exportMesh(seamMesh(), path("good.glb")), "");
    std::ifstream in(path("good.glb"), std::ios::binary);
    const std::string good((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string junk;
    for (int i = 0; i < 4096; ++i) junk += static_cast<char>((i * 7919 + 13) % 251);

    for (const char* extension : {"obj", "stl", "ply", "glb", "gltf", "dae", "3ds", "fbx"}) {
        SCOPED_TRACE(extension);
        EXPECT_NE(importError(write(std::string("empty.") + extension, "")), "");
        EXPECT_NE(importError(write(std::string("junk.") + extension, junk)), "");
    }
    EXPECT_NE(importError(write("truncated.glb", good.substr(0, good.size() / 2))), "");
    // Counts beyond what the file holds, which the reader would chase past its end.
    EXPECT_NE(importError(write("header.ply", "ply\nformat binary_little_endian 1.0\nelement vertex 99999999\n")), "");
    EXPECT_NE(importError(write("count.ply", "ply\nformat ascii 1.0\nelement vertex 99999999\nproperty float x\n"
                                             "end_header\n1\n")),
              "");
    EXPECT_NE(importError(write("faces.ply", "ply\nformat binary_little_endian 1.0\nelement vertex 1\n"
                                             "property float x\nelement face 99999999\n"
                                             "property list uchar int vertex_index\nend_header\n" +
                                                 std::string(4, '\0'))),
              "");
    std::string stl(80, ' ');
    stl += std::string("\xff\xff\xff\x0f", 4) + std::string(50, '\0');
    EXPECT_NE(importError(write("count.stl", stl)), "");
    // Cut halfway, the text formats may still hold whole triangles; none may crash or hang.
    for (const char* extension : {"obj", "stl", "ply", "dae", "3ds", "gltf"}) {
        SCOPED_TRACE(extension);
        const std::string name = std::string("cut.") + extension;
        ASSERT_EQ(exportMesh(seamMesh(), path(name)), "");
        const auto size = fs::file_size(path(name));
        fs::resize_file(path(name), size / 2);
        auto result = importThroughHelper(path(name), 1);
        if (const Mesh* mesh = std::get_if<Mesh>(&result)) {
            EXPECT_LT(mesh->triangles.size(), 3u);
        }
    }
    EXPECT_NE(importError(write("lines.obj", "v 0 0 0\nv 1 0 0\nl 1 2\n")), "");
    EXPECT_NE(importError(path("missing.obj")), "");
    EXPECT_NE(importError(dir.string() + "/sub.obj/"), "");
    EXPECT_NE(importError(write("mesh.xyz", "v 0 0 0\n")), "");
    EXPECT_NE(importError(path("good.glb"), 0), "");
}

TEST_F(ExchangeTest, ExportRefusalsKeepTheOldFile)
{
    EXPECT_NE(exportMesh(seamMesh(), path("mesh.xyz")), "");
    EXPECT_NE(exportMesh(Mesh{}, path("empty.obj")), "");
    EXPECT_FALSE(fs::exists(path("empty.obj")));
    EXPECT_NE(exportMesh(seamMesh(), path("no/such/folder/mesh.stl")), "");

    const std::string kept = write("kept.stl", "previous");
    ASSERT_EQ(exportMesh(seamMesh(), kept), "");
    EXPECT_EQ(imported(kept).triangles.size(), 3u);
}

// ---- the import helper: limits, crashes and its reply ------------------------------------

namespace {

std::span<const std::byte> bytesOf(const std::string& text)
{
    return std::as_bytes(std::span(text.data(), text.size()));
}

std::string replyOf(ImportReplyKind kind, const std::string& body)
{
    const auto header = importReplyHeader(kind, body.size());
    const auto trailer = importReplyTrailer(bytesOf(body));
    return std::string(reinterpret_cast<const char*>(header.data()), header.size()) + body +
           std::string(reinterpret_cast<const char*>(trailer.data()), trailer.size());
}

// Exit status and what pqtool said on its error stream.
std::pair<int, std::string> runPqtool(const std::string& arguments, const std::string& errors)
{
    const int status = std::system((std::string("\"") + PQTOOL_PATH + "\" " + arguments + " 2> \"" + errors + "\" > \"" + errors + ".out\"").c_str());
    std::ifstream in(errors);
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, text};
}

}  // namespace

TEST(ImportReply, AnyDamageIsRefused)
{
    const std::string triangles = replyOf(ImportReplyKind::Triangles, std::string(120, '\1'));
    const std::optional<ImportReply> good = parseImportReply(bytesOf(triangles), 1000);
    ASSERT_TRUE(good);
    EXPECT_EQ(good->kind, ImportReplyKind::Triangles);
    EXPECT_EQ(good->body.size(), 120u);
    EXPECT_EQ(importReplyLength(bytesOf(triangles), 1000), triangles.size());
    EXPECT_TRUE(parseImportReply(bytesOf(replyOf(ImportReplyKind::Message, "no scene")), 0));

    std::vector<std::string> damaged{
        "",
        triangles.substr(0, 19),
        triangles.substr(0, triangles.size() - 1),
        triangles + '\0',
        replyOf(ImportReplyKind::Triangles, std::string(61, '\1')),   // not whole records
        replyOf(ImportReplyKind::Triangles, ""),                      // none at all
        replyOf(ImportReplyKind::Triangles, std::string(1020, '\1')),  // beyond the allowed body
        replyOf(ImportReplyKind::Message, ""),
        replyOf(ImportReplyKind::Message, std::string(maxImportMessageBytes + 1, 'm')),
        replyOf(ImportReplyKind::Message, std::string("nul\0inside", 10)),
        replyOf(static_cast<ImportReplyKind>(3), "x"),
    };
    for (size_t at : {0, 8, 12, 19, 40, 143}) {
        damaged.push_back(triangles);
        damaged.back()[at] ^= 0x10;
    }
    for (size_t i = 0; i < damaged.size(); ++i)
        EXPECT_FALSE(parseImportReply(bytesOf(damaged[i]), 1000)) << "case " << i;
    // A header that asks for more than allowed is refused before the body is read.
    EXPECT_FALSE(importReplyLength(bytesOf(triangles.substr(0, importReplyHeaderBytes)), 60));
}

TEST(ImportReply, LimitsGrowWithTheFile)
{
    EXPECT_EQ(importLimitsFor(0).memoryBytes, 64u << 20);
    EXPECT_EQ(importLimitsFor(1000).memoryBytes, (64u << 20) + 200000u);
    EXPECT_EQ(importLimitsFor(1ull << 40).memoryBytes, 4ull << 30);
    EXPECT_EQ(importLimitsFor(0).cpuSeconds, 30u);
}

TEST_F(ExchangeTest, HelperThatFailsGivesOneSentence)
{
    const std::string file = write("cube.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    const std::string reply = write("reply", replyOf(ImportReplyKind::Triangles, std::string(60, '\0')));
    std::string damaged = replyOf(ImportReplyKind::Triangles, std::string(60, '\0'));
    damaged[30] = 'x';
    write("damaged", damaged);
    const std::string huge = replyOf(ImportReplyKind::Triangles, std::string(60, '\0')).substr(0, 12) +
                             std::string("\xf0\xff\xff\xff\xff\xff\xff\x0f", 8);
    write("huge", huge);
    write("message", replyOf(ImportReplyKind::Message, "line one\nline two"));
    const struct {
        std::string script;
        std::string expected;
    } cases[] = {
        {"cat '" + reply + "'", ""},
        {"cat '" + path("damaged") + "'", "the importer crashed on " + file},
        {"cat '" + path("huge") + "'", "the importer crashed on " + file},
        {"cat '" + reply + "'; echo more", "the importer crashed on " + file},
        {"cat '" + path("message") + "'", "cannot import " + file + ": line one line two"},
        {"kill -SEGV $$", "the importer crashed on " + file},
        {"cat '" + reply + "'; exit 1", "the importer crashed on " + file},
        {"exit 3", file + " needs more memory than allowed"},
        {"kill -XCPU $$", file + " took too long"},
        {"exec sleep 60", file + " took too long"},  // no CPU time used: the wall clock ends it
    };
    for (size_t i = 0; i < std::size(cases); ++i) {
        SCOPED_TRACE(cases[i].script);
        const std::string helper = write("helper" + std::to_string(i), "#!/bin/sh\n" + cases[i].script + "\n");
        fs::permissions(helper, fs::perms::owner_all);
        EXPECT_EQ(importError(file, 1, {helper, {1 << 20, 1}}), cases[i].expected);
    }
    EXPECT_NE(importError(file, 1, {path("no_helper"), {}}).find("could not be started"), std::string::npos);
}

TEST_F(ExchangeTest, LimitsEndTheImporter)
{
    const std::string corpus = PQ_SOURCE_DIR "/tools/tests/hostile/";
    EXPECT_EQ(importError(corpus + "tree_bomb.gltf"), corpus + "tree_bomb.gltf needs more memory than allowed");
    EXPECT_EQ(importError(corpus + "slow_polygon.obj", 1, {"", {64 << 20, 1}}),
              corpus + "slow_polygon.obj took too long");
    EXPECT_EQ(importError(corpus + "deep_json.gltf"), "the importer crashed on " + corpus + "deep_json.gltf");
}

// Every file of the hostile corpus (tools/tests/hostile/make_hostile.py)
// ends pqtool import cleanly: a mesh, or one line and the old output kept.
TEST_F(ExchangeTest, HostileFilesEndCleanly)
{
    size_t files = 0;
    for (const auto& entry : fs::directory_iterator(PQ_SOURCE_DIR "/tools/tests/hostile")) {
        if (entry.path().extension() == ".py") continue;
        ++files;
        SCOPED_TRACE(entry.path().filename().string());
        const std::string out = write("out.pq", "previous");
        const auto [status, said] = runPqtool("import \"" + entry.path().string() + "\" \"" + out + "\"", path("said"));
        if (status == 0) {
            EXPECT_EQ(said, "");
            continue;
        }
        EXPECT_EQ(status, 1);
        EXPECT_EQ(said.rfind("pqtool: ", 0), 0u) << said;
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << said;
        EXPECT_NE(said.find(entry.path().string()), std::string::npos) << said;
        EXPECT_EQ(readFileBytes(out).value_or(FileBytes{}).size(), 8u);
    }
    EXPECT_EQ(files, 13u);
}

TEST_F(ExchangeTest, CompanionsGoWhereTheMainFileGoes)
{
    // Through a dangling link the OBJ and its .mtl are both made at the target.
    fs::create_directory(dir / "real");
    fs::create_symlink(dir / "real/model.obj", dir / "link.obj");
    ASSERT_EQ(exportMesh(seamMesh(), path("link.obj")), "");
    EXPECT_TRUE(fs::is_symlink(dir / "link.obj"));
    EXPECT_TRUE(fs::exists(dir / "real/model.mtl"));
    EXPECT_FALSE(fs::exists(path("link.mtl")));
    std::ifstream obj(dir / "real/model.obj");
    const std::string text((std::istreambuf_iterator<char>(obj)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("mtllib model.mtl"), std::string::npos);

    // A main file that cannot be written takes away the companion it brought;
    // the refusal names its reason, in pqtool's words too.
    ASSERT_EQ(::mkfifo(path("pipe.gltf").c_str(), 0600), 0);
    EXPECT_EQ(exportMesh(seamMesh(), path("pipe.gltf")), "cannot write " + path("pipe.gltf") + ": no program reads the FIFO");
    EXPECT_FALSE(fs::exists(path("pipe.bin")));
    ASSERT_EQ(::mkfifo(path("pipe.pq").c_str(), 0600), 0);
    const auto [status, said] = runPqtool("cube \"" + path("pipe.pq") + "\"", path("said"));
    EXPECT_EQ(status, 1);
    EXPECT_EQ(said, "pqtool: cannot write " + path("pipe.pq") + ": no program reads the FIFO\n");
    EXPECT_TRUE(fs::is_fifo(path("pipe.pq")));
}
