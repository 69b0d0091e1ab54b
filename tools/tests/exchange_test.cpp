// Export and import through the helpers, their replies and failures, File > Import and Export, pqtool info.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <thread>
#include <variant>

#include "app/app.h"
#include "files/files.h"
#include "tests/fake_window_layer.h"
#include "tools/exchange.h"

namespace fs = std::filesystem;

namespace {

const std::string hostile = PQ_SOURCE_DIR "/tools/tests/hostile/", cube = PQ_SOURCE_DIR "/samples/cube.pq";

std::string junk(size_t n)
{
    std::string t(n, 0);
    for (size_t i = 0; i < n; ++i) t[i] = static_cast<char>((i * 7919 + 13) % 251);
    return t;
}

std::span<const std::byte> bytesOf(const std::string& text) { return std::as_bytes(std::span(text)); }

std::string textOf(std::span<const std::byte> b) { return {reinterpret_cast<const char*>(b.data()), b.size()}; }
std::string replyOf(ImportReplyKind kind, const std::string& body)
{
    return textOf(importReplyHeader(kind, body.size())) + body + textOf(importReplyTrailer(bytesOf(body)));
}

// An export's problem in the interface's English; empty when it wrote.
std::string said(const ExportProblem& problem) { return exportProblemInLanguage(1, problem); }

std::string read(const std::string& file) { return {std::istreambuf_iterator<char>(std::ifstream(file).rdbuf()), {}}; }

class Tools : public ::testing::Test {
protected:
    // A folder of its own: other builds may run the same tests at the same time.
    Tools() { std::string pattern = (fs::temp_directory_path() / "pq_tools_XXXXXX").string(); dir = ::mkdtemp(pattern.data()); }
    ~Tools() override { fs::remove_all(dir); }

    std::string path(const std::string& name) const { return (dir / name).string(); }
    std::string write(const std::string& name, const std::string& bytes) const
    {
        return std::ofstream(path(name), std::ios::binary) << bytes, path(name);
    }
    std::string run(const std::string& arguments) const  // pqtool's exit status, then all it said
    {
        const int status = std::system(("\"" PQTOOL_PATH "\" " + arguments + " >" + path("said") + " 2>&1").c_str());
        return std::to_string(WEXITSTATUS(status)) + ": " + read(path("said"));
    }

    fs::path dir;
};

// The shared vertices, then every written corner as "x y z u v".
std::string describe(const Mesh& mesh)
{
    std::ostringstream out;
    out << mesh.vertices.size() << " vertices";
    for (const Triangle& t : std::span(mesh.triangles).first(writtenTriangleCount(mesh)))
        for (size_t k = 0; k < 3; ++k) {
            const Vec3 p = vertexPosition(mesh, t.vertexIndex[k]);
            out << (k == 0 ? "\n" : " | ") << p.x << ' ' << p.y << ' ' << p.z << ' ' << t.u[k] << ' ' << t.v[k];
        }
    return out.str();
}

// What the import gives: the mesh described, or its refusal in English.
std::string imported(const std::string& file, int32_t factor = 1, const ImportRun& how = {})
{
    auto result = importThroughHelper(file, factor, how);
    return std::holds_alternative<Mesh>(result) ? describe(std::get<Mesh>(result))
                                                : importProblemText(1, file, std::get<ImportProblem>(result));
}

// Three triangles sharing corners with texture coordinates of their own (a seam), values that need every
// digit of a float, and one under construction that no file receives.
Mesh seamMesh()
{
    Mesh mesh;
    for (const Vec3 p : {Vec3{0.1234567f, -0.7654321f, 0.3333333f}, Vec3{0.9f, 0.0f, -0.25f},
                         Vec3{-0.5f, 0.625f, 0.001f}, Vec3{0.2f, 0.8f, -0.9f}})
        appendVertex(mesh) = {p.x, p.y, p.z, 0, 0};
    const std::array<int32_t, 3> corners[] = {{0, 1, 2}, {1, 3, 2}, {0, 2, 3}, {0, 1, 1}};
    const std::array<float, 3> u[] = {{0, 1, 0}, {0.75f, 0.3f, 0.1f}, {0.2f, 0.4f, 0.7f}, {}};
    const std::array<float, 3> v[] = {{0, 0, 1}, {0.125f, 0.9f, 0.6f}, {0.2f, 0.8f, 0.05f}, {}};
    for (size_t i = 0; i < 4; ++i) appendTriangle(mesh) = {corners[i], u[i], v[i], 0};
    mesh.pendingCorner = 2;
    return mesh;
}

}  // namespace

// Binary formats and glTF keep every float bit, the text ones enough digits; STL holds no texture
// coordinates. The sample cube comes back bit for bit.
TEST_F(Tools, MeshesRoundTripThroughEveryFormat)
{
    Mesh asc, corpus, sample;
    ASSERT_TRUE(importAsc(asc, PQ_SOURCE_DIR "/tests/data/asc/UUSALKU.ASC", 1000));
    readMeshBytes(corpus, writeMeshBytes(asc), 1);  // shared as every import shares
    ASSERT_TRUE(loadMeshFile(sample, cube));
    for (const std::string extension : {"obj", "stl", "ply", "glb", "gltf", "dae", "3ds"})
        for (Mesh mesh : {seamMesh(), corpus, sample}) {
            if (extension == "stl")
                for (Triangle& t : mesh.triangles) t.u = t.v = {};
            ASSERT_EQ(said(exportMesh(mesh, path("mesh." + extension))), "");
            EXPECT_EQ(imported(path("mesh." + extension)), describe(mesh)) << extension;
        }
    for (const std::string extension : {"obj", "ply", "glb", "gltf", "dae", "3ds"})
        EXPECT_EQ(writeMeshBytes(std::get<Mesh>(importThroughHelper(path("mesh." + extension), 1))),
                  writeMeshBytes(sample));
}

// The OBJ and its material whole (seams split, V from the bottom, flat normals); glTF names the picture
// by URI. Companions go where the main file goes, through links too, and leave if it cannot be written.
TEST_F(Tools, ExportWritesCompanionsAndNamesTheTexture)
{
    fs::create_directories(dir / "models");
    fs::create_symlink(dir / "models/seam.obj", dir / "link.obj");
    ASSERT_EQ(said(exportMesh(seamMesh(), path("link.obj"), path("brick wall.png"))), "");
    const std::string obj = read(path("models/seam.obj")), mtl = read(path("models/seam.mtl"));
    EXPECT_EQ(obj.substr(obj.find("mtllib")),
              "mtllib seam.mtl\n\n# 4 vertex positions\nv 0.123456702 -0.765432119 0.333333313\nv 0.899999976 0 -0.25\n"
              "v -0.5 0.625 0.00100000005\nv 0.200000003 0.800000012 -0.899999976\n\n# 9 UV coordinates\nvt 0 1 0\n"
              "vt 1 1 0\nvt 0 0 0\nvt 0.75 0.875 0\nvt 0.300000012 0.100000024 0\nvt 0.100000001 0.399999976 0\n"
              "vt 0.200000003 0.800000012 0\nvt 0.400000006 0.199999988 0\nvt 0.699999988 0.949999988 0\n\n"
              "# 3 vertex normals\nvn 0.315144002 0.3519665 0.881364763\nvn 0.427854449 0.765211403 0.481032342\n"
              "vn -0.664731085 -0.442015499 -0.602291346\n\n# Mesh 'polyquill' with 3 faces\ng polyquill\n"
              "usemtl polyquill\nf  1/1/1 2/2/1 3/3/1\nf  2/4/2 4/5/2 3/6/2\nf  1/7/3 3/8/3 4/9/3\n\n");
    EXPECT_EQ(mtl.substr(mtl.find("newmtl")), "newmtl polyquill\nKd 1 1 1\nillum 1\nmap_Kd ../brick wall.png\n\n");
    ASSERT_EQ(said(exportMesh(seamMesh(), path("models/seam.gltf"), path("brick wall.png"))), "");
    EXPECT_NE(read(path("models/seam.gltf")).find("\"../brick%20wall.png\""), std::string::npos);
    EXPECT_NE(read(path("models/seam.gltf")).find("\"seam.bin\""), std::string::npos);
    ASSERT_EQ(::mkfifo(path("pipe.gltf").c_str(), 0600), 0);
    EXPECT_EQ(said(exportMesh(seamMesh(), path("pipe.gltf"))), "no program reads the FIFO");
    EXPECT_EQ(said(exportMesh(Mesh{}, path("empty.obj"))), "the mesh has no triangles to export");
    EXPECT_NE(said(exportMesh(seamMesh(), path("no/such/mesh.stl"))), "");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 3);  // pipe.gltf, link.obj, models
    // A failed export leaves an old companion byte for byte and makes no new one.
    fs::create_directory(dir / "kept.obj"), fs::create_directory(dir / "none.obj");
    write("kept.mtl", "old");
    EXPECT_EQ(said(exportMesh(seamMesh(), path("kept.obj"))) + said(exportMesh(seamMesh(), path("none.obj"))),
              "Is a directoryIs a directory");
    EXPECT_EQ(read(path("kept.mtl")), "old");
    EXPECT_FALSE(fs::exists(path("none.mtl")));
    // OBJ's and glTF's exporters would send other corners to a NaN: refused, and nothing written.
    Mesh nan = seamMesh();
    nan.vertices[3].y = std::nanf("");
    for (const std::string name : {"nan.obj", "nan.gltf", "nan.glb"})
        EXPECT_EQ(said(exportMesh(nan, path(name))),
                  "triangle 2 has a corner coordinate that is not a number, which this format cannot hold");
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 6) << "no nan.*";
}

// Other tools' conventions: relative indices, quads, V from the bottom, binary STL; divided by the factor.
TEST_F(Tools, OtherToolsFilesAreRead)
{
    EXPECT_EQ(imported(write("quad.obj", "o Plane\nv 0 0 0\nv 2 0 0\nv 2 2 0\nv 0 2 0\nv 1 3 0\nvt 0 0\nvt 1 0\n"
                                         "vt 1 1\nvt 0 1\nvt 0.5 1\nvn 0 0 1\nf -5/-5/-1 -4/-4/-1 -3/-3/-1 -2/-2/-1\n"
                                         "f -2/4/1 -3/3/1 -1/5/1\n"), 2),
              "5 vertices\n0 0 0 0 1 | 1 0 0 1 1 | 1 1 0 1 0\n0 0 0 0 1 | 1 1 0 1 0 | 0 1 0 0 0\n0 1 0 0 0 | 1 1 0 1 0 | 0.5 1.5 0 0.5 0");
    std::string binary(80, ' ');
    binary += std::string("\2\0\0\0", 4);
    for (const std::array<float, 12> t : {std::array<float, 12>{0, 0, 1, 0, 0, 0, 1, 0, 0, 0, 1, 0},
                                          std::array<float, 12>{0, 0, 1, 1, 0, 0, 1, 1, 0, 0, 1, 0}})
        binary.append(reinterpret_cast<const char*>(t.data()), 48).append(2, '\0');
    EXPECT_EQ(imported(write("binary.stl", binary)),
              "4 vertices\n0 0 0 0 0 | 1 0 0 0 0 | 0 1 0 0 0\n1 0 0 0 0 | 1 1 0 0 0 | 0 1 0 0 0");
}

// Bad input of every format ends in one sentence naming the file and what is wrong with it; one cut
// halfway may hold triangles.
TEST_F(Tools, BadInputGivesOneSentence)
{
    fs::create_directory(dir / "models.obj");
    const std::pair<std::string, std::string> refused[] = {
        {write("lines.obj", "v 0 0 0\nv 1 0 0\nl 1 2\n"), " holds no triangles"},
        {write("count.stl", std::string(80, ' ') + "\xff\xff\xff\x0f" + std::string(50, ' ')),
         " is not a valid STL file: its contents are not in that format"},
        {write("index.ply", "ply\nformat ascii 1.0\nelement vertex 3\nproperty float x\nproperty float y\n"
                            "property float z\nelement face 1\nproperty list uchar int vertex_indices\nend_header\n"
                            "0 0 0\n1 0 0\n0 1 0\n3 0 1 9\n"),
         " is not a valid PLY file: a face names vertex 9 of 3"},
        {write("junk.dae", junk(4096)), " is not a valid COLLADA file: its XML is malformed"},
        {write("junk.3ds", junk(4096)), " is not a valid 3DS file: a part claims to be longer than the file"},
        {write("junk.gltf", junk(4096)), " is not a valid glTF file: its contents are not in that format"},
        {write("junk.fbx", junk(4096)), " is not a valid FBX file: it ends too early"},
    };
    for (const auto& [file, sentence] : refused) EXPECT_EQ(imported(file), file + sentence);
    for (const std::string extension : {"obj", "stl", "ply", "glb", "gltf", "dae", "3ds", "fbx"}) {
        const std::string empty = write("empty." + extension, "");
        EXPECT_EQ(imported(empty), empty + " is not a valid " + importFormatName(extension) + " file: it is empty");
        const std::string result = imported(write("junk." + extension, junk(4096)));
        EXPECT_TRUE(result.starts_with(path("junk." + extension) + " ")) << result;
        EXPECT_EQ(result.find("::"), std::string::npos) << result;
        if (extension == "fbx") continue;
        const std::string cut = path("cut." + extension);
        ASSERT_EQ(said(exportMesh(seamMesh(), cut)), "");
        fs::resize_file(cut, fs::file_size(cut) / 2);
        const std::string read = imported(cut);
        EXPECT_TRUE(read.starts_with(cut + " is not a valid ") ||
                    (extension != "glb" && std::count(read.begin(), read.end(), '\n') < 3)) << read;
    }
    const std::pair<std::string, std::string> exact[] = {
        {path("missing.obj"), "cannot import " + path("missing.obj") + ": No such file or directory"},
        {path("sub.obj/"), "cannot import " + path("sub.obj/") +
                               ": unknown format \"\": import reads obj, stl, ply, glb, gltf, dae, 3ds, fbx"},
        {path("models.obj"), "cannot import " + path("models.obj") + ": it is not a regular file"},
        {write("header.ply", "ply\nformat binary_little_endian 1.0\nelement vertex 1\n"),
         path("header.ply") + " is not a valid PLY file: the header has no end_header line"},
        {write("count.ply", "ply\nformat ascii 1.0\nelement vertex 99999999\nproperty float x\nend_header\n1\n"),
         path("count.ply") + " is not a valid PLY file: the header promises more data than the file holds"},
    };
    for (const auto& [file, sentence] : exact) EXPECT_EQ(imported(file), sentence);
    EXPECT_EQ(imported(path("cut.obj"), 0), "cannot import " + path("cut.obj") + ": the factor must not be 0");
}

// Files an import names (an OBJ's material, a glTF's buffer) are opened only when regular: a FIFO holds nothing.
TEST_F(Tools, FilesAnImportNamesAreOpenedOnlyWhenRegular)
{
    ASSERT_EQ(::mkfifo(path("pipe.mtl").c_str(), 0600), 0);
    ASSERT_EQ(::mkfifo(path("pipe.bin").c_str(), 0600), 0);
    const ImportRun shortly{"", {64 << 20, 10, 10}};
    EXPECT_EQ(imported(write("fifo.obj", "mtllib pipe.mtl\nv 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n"), 1, shortly),
              "3 vertices\n0 0 0 0 0 | 1 0 0 0 0 | 0 1 0 0 0");
    ASSERT_EQ(said(exportMesh(seamMesh(), path("seam.gltf"))), "");
    std::string gltf = read(path("seam.gltf"));
    gltf.replace(gltf.find("\"seam.bin\""), 10, "\"pipe.bin\"");
    EXPECT_EQ(imported(write("fifo.gltf", gltf), 1, shortly),
              path("fifo.gltf") + " is not a valid glTF file: the file \"pipe.bin\" it refers to cannot be opened");
    EXPECT_EQ(importLimitsFor(0).wallSeconds, 30u);
}

// The importer's words become the user's, without its internal names and with at most 80 bytes of the file.
TEST(ImportWords, SayWhatIsWrongInTheUsersWords)
{
    const std::string notThere = "a face names a vertex that is not there", early = "it ends too early";
    const std::string x80(80, 'x'), e79(79, 'e');
    const std::pair<std::string, std::string> cases[] = {
        {"a face names vertex 9 of three", "a face names vertex 9 of three"},
        {"Validation failed: aiMesh::mFaces[0]::mIndices[2] is out of range", notThere},
        {"OBJ: vertex index out of range", notThere},
        {"OBJ: Invalid face index.", notThere},
        {"Validation failed: aiMesh::mFaces[0].mNumIndices is 0", "a face has no corners"},
        {"Validation failed: aiMesh::mFaces[3] is a LINE but lacks the LINE flag", "its parts do not fit together"},
        {"StreamReader: File is empty or EOF is already reached", early},
        {"Cannot parse string \"n.5 2\" as a real number: no digit", "a number cannot be read: \"n.5\""},
        {"Cannot parse string \"\" as a real number", "a number is missing"},
        {"Cannot parse string \"" + x80 + "yyy\" as a real number", "a number cannot be read: \"" + x80 + "\""},
        {"GLTF: could not open referenced file \"pipe.bin\"", "the file \"pipe.bin\" it refers to cannot be opened"},
        {"GLTF: could not open referenced file \"a\x7f\tb\"", "the file \"a  b\" it refers to cannot be opened"},
        {"GLTF: could not open referenced file \"" + e79 + "\xc3\xa9\"",
         "the file \"" + e79 + "\" it refers to cannot be opened"},
        {"mesh aiMesh::mBones[0] mAnimChannels named\n" + x80 + x80, "mesh named " + x80.substr(0, 69)},
        {"GLTF: Invalid accessor (\"polyquill\")", "GLTF: Invalid accessor (\"polyquill\")"},
    };
    for (const auto& [words, reason] : cases)
        EXPECT_EQ(importProblemText(1, "F.ply", importerWordsProblem(words)),
                  "F.ply is not a valid PLY file: " + reason);
    EXPECT_EQ(importProblemText(1, "F.glb", importerWordsProblem("Validation failed: aiScene::mNumMeshes is 0")),
              "F.glb holds no triangles");
    EXPECT_EQ(importProblemText(1, "F.dae", importerWordsProblem("aiMesh::mFaces[0]")),
              "F.dae is not a valid COLLADA file");
    EXPECT_EQ(importProblemText(0, "F.ply", importerWordsProblem("a face names vertex 9 of 3")),
              "F.ply ist keine gültige PLY-Datei: eine Fläche nennt Vertex 9 von 3");
    EXPECT_EQ(importProblemText(2, "F.obj", {ImportFailure::TookTooLong, {}, {}}), "F.obj prend trop de temps");
}

// The PLY check counts each scalar type's bytes: a file with every promised byte is read, one lacking a
// value and its face is refused before the reader believes it (a list needs only its count).
TEST_F(Tools, PlyHeaderCountsEachScalarsBytes)
{
    for (const auto& [type, size] : {std::pair<std::string, size_t>{"double", 8}, {"float64", 8}, {"float", 4},
                                     {"float32", 4}, {"int", 4}, {"int16", 2}}) {
        std::string file = "ply\nformat binary_little_endian 1.0\nelement vertex 3\nproperty " + type + " x\nproperty " + type +
                           " y\nproperty " + type + " z\nelement face 1\nproperty list uchar uchar vertex_indices\nend_header\n";
        for (const int value : {0, 0, 0, 1, 0, 0, 0, 1, 0}) {
            const double d = value;
            const float f = static_cast<float>(value);
            file.append(size == 8 ? reinterpret_cast<const char*>(&d)
                        : type.starts_with("float") ? reinterpret_cast<const char*>(&f)
                                                     : reinterpret_cast<const char*>(&value), size);
        }
        EXPECT_EQ(imported(write("whole.ply", file + std::string("\3\0\1\2", 4))),
                  "3 vertices\n0 0 0 0 0 | 1 0 0 0 0 | 0 1 0 0 0") << type;
        const std::string cut = write("cut.ply", file.substr(0, file.size() - size));
        EXPECT_EQ(imported(cut), cut + " is not a valid PLY file: the header promises more data than the file holds");
    }
}

TEST(ImportReply, AnyDamageIsRefused)
{
    const std::string triangles = replyOf(ImportReplyKind::Triangles, std::string(120, '\1'));
    EXPECT_EQ(triangles.substr(0, 20), std::string("PQREPLY1\1\0\0\0\x78\0\0\0\0\0\0\0", 20));
    const std::optional<ImportReply> good = parseImportReply(bytesOf(triangles), 1000);
    ASSERT_TRUE(good && good->kind == ImportReplyKind::Triangles);
    EXPECT_EQ(std::pair(good->body.data(), good->body.size()), std::pair(bytesOf(triangles).data() + 20, size_t{120}));
    EXPECT_EQ(importReplyLength(bytesOf(triangles), 1000), triangles.size());
    EXPECT_TRUE(parseImportReply(bytesOf(replyOf(ImportReplyKind::Message, "no scene")), 0));
    std::vector<std::string> damaged{
        "", triangles.substr(0, 19), triangles.substr(0, triangles.size() - 1), triangles + '\0',
        replyOf(ImportReplyKind::Triangles, std::string(61, '\1')),    // not whole records
        replyOf(ImportReplyKind::Triangles, ""),                       // none at all
        replyOf(ImportReplyKind::Triangles, std::string(1020, '\1')),  // beyond the allowed body
        replyOf(ImportReplyKind::Message, ""), replyOf(ImportReplyKind::Message, std::string(maxImportMessageBytes + 1, 'm')),
        replyOf(ImportReplyKind::Message, std::string("nul\0inside", 10)), replyOf(static_cast<ImportReplyKind>(3), "x"),
    };
    for (size_t at : {0, 8, 12, 19, 40, 143}) damaged.emplace_back(triangles)[at] ^= 0x10;
    for (size_t i = 0; i < damaged.size(); ++i) EXPECT_FALSE(parseImportReply(bytesOf(damaged[i]), 1000)) << i;
    // A header that asks for more than allowed is refused before the body is read.
    EXPECT_FALSE(importReplyLength(bytesOf(triangles.substr(0, importReplyHeaderBytes)), 60));
    EXPECT_EQ(std::tuple(importLimitsFor(0).memoryBytes, importLimitsFor(1000).memoryBytes, importLimitsFor(1ull << 40).memoryBytes,
                         importLimitsFor(0).cpuSeconds), std::tuple(64u << 20, (64u << 20) + 200000u, 4ull << 30, 30u));
}

// The one slow case: a sleeping helper uses no CPU time; the wall clock ends it.
TEST_F(Tools, HelperThatFailsGivesOneSentence)
{
    const std::string file = write("cube.obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\nf 1 2 3\n");
    const std::string reply = write("reply", replyOf(ImportReplyKind::Triangles, std::string(60, '\0')));
    write("damaged", read(reply).replace(30, 1, "x"));
    write("huge", read(reply).substr(0, 12) + std::string("\xf0\xff\xff\xff\xff\xff\xff\x0f", 8));
    write("message", replyOf(ImportReplyKind::Message, "line one\nline two"));
    const std::string crashed = "the importer crashed on " + file, triangle = "1 vertices\n0 0 0 0 0 | 0 0 0 0 0 | 0 0 0 0 0";
    const std::pair<std::string, std::string> cases[] = {
        {"cat reply", triangle}, {"head -c 5 reply; sleep 0.5; tail -c +6 reply", triangle}, {"cat damaged", crashed}, {"cat huge", crashed},
        {"cat reply; echo more", crashed}, {"cat message", file + " is not a valid OBJ file: line one line two"},
        {"kill -SEGV $$", crashed}, {"cat reply; exit 1", crashed}, {"exit 3", file + " needs more memory than allowed"},
        {"kill -XCPU $$", file + " took too long"}, {"exec sleep 60", file + " took too long"},
    };
    for (const auto& [script, expected] : cases) {
        fs::permissions(write("helper", "#!/bin/sh\ncd '" + dir.string() + "'\n" + script + "\n"), fs::perms::owner_all);
        EXPECT_EQ(imported(file, 1, {path("helper"), {1 << 20, 1, 3}}), expected) << script;
    }
    EXPECT_EQ(imported(file, 1, {path("none"), {}}), "cannot import " + file + ": the helper " + path("none") +
                                                         " could not be started: No such file or directory");
    // Cancelled while the helper works: it is stopped long before its 15 s allowance ends.
    fs::permissions(write("helper", "#!/bin/sh\nexec sleep 60\n"), fs::perms::owner_all);
    std::atomic<bool> cancel = false;
    std::thread canceller([&cancel] { std::this_thread::sleep_for(std::chrono::milliseconds(200)), cancel = true; });
    EXPECT_EQ(imported(file, 1, {path("helper"), {1 << 20, 5, 15}, &cancel}), "cannot import " + file + ": cancelled");
    canceller.join();
}

// Every file of tools/tests/hostile ends the import cleanly under a CPU limit of a second: triangles or
// one sentence that says why; pqtool says it in one line and keeps what was there.
TEST_F(Tools, HostileFilesEndCleanly)
{
    const std::string crashed = "the importer crashed on %", memory = "% needs more memory than allowed";
    std::pair<std::string, std::string> outcomes[] = {
        {"cut_faces.ply", ""},          {"nul.ply", ""},                {"sparse.gltf", ""},
        {"deep_json.glb", crashed},     {"deep_json.gltf", crashed},    {"huge_stride.dae", crashed},
        {"nan_count.ply", "% is not a valid PLY file: a face has no corners"},
        {"node_chain.gltf", crashed},   {"self_instance.dae", crashed},
        {"json_length.glb", memory},    {"p_list.dae", memory},         {"tree_bomb.gltf", memory},
        {"slow_polygon.obj", "% took too long"},
    };
    EXPECT_EQ(std::distance(fs::directory_iterator(hostile), {}), std::ssize(outcomes) + 1);  // and make_hostile.py
    for (auto& [name, outcome] : outcomes) {
        const std::string result = imported(hostile + name, 1, {"", {64 << 20, 1, 10}});
        if (outcome.empty()) EXPECT_EQ(result.find(" vertices\n"), 1u) << name;  // its triangles, whatever they are
        else EXPECT_EQ(result, outcome.replace(outcome.find('%'), 1, hostile + name));
    }
    EXPECT_EQ(run("import " + hostile + "deep_json.gltf " + write("out.pq", "previous")),
              "1: pqtool: the importer crashed on " + hostile + "deep_json.gltf\n");
    EXPECT_EQ(read(path("out.pq")), "previous");
}

TEST_F(Tools, ImportAndExportCommandsMergeWriteOrSayWhyNot)
{
    FakeWindowLayer fake;
    AppState state;
    state.windows = &fake;
    ::setenv("XDG_STATE_HOME", (dir / "state").c_str(), 1);  // made by the first export that remembers
    state.mesh = seamMesh();  // its half-built triangle is neither kept nor written
    state.prefs.language = 1;
    const Mesh before = state.mesh;
    files::cmdImport(state);  // cancelled
    files::cmdExport(state);  // cancelled
    fake.fileAnswers = {path("quad.obj"), path("missing.obj"), path("ship.xyz")};
    fake.promptAnswers = {"", "1"};
    files::cmdImport(state);
    files::cmdImport(state);
    files::cmdExport(state);
    ASSERT_EQ(fake.messages.size(), 2u);
    EXPECT_EQ(fake.prompts[0].title + "|" + fake.prompts[0].message, "Size|Reduction factor (divides the positions)");
    EXPECT_EQ(fake.messages[0].title + ": " + fake.messages[0].text,
              "Import: cannot import " + path("missing.obj") + ": No such file or directory");
    EXPECT_EQ(fake.messages[1].title + ": " + fake.messages[1].text, "Export: The file could not be written:\n" +
              path("ship.xyz") + "\nunknown format \"xyz\": export writes obj, stl, ply, glb, gltf, dae, 3ds");
    EXPECT_EQ(describe(state.mesh), describe(before));
    EXPECT_TRUE(fs::is_empty(dir));

    // V counted from the bottom in the file; (0.9, 0, -0.25) is the mesh's own vertex.
    fake.fileAnswers.push_back(write("quad.obj", "v 1.8 0 -0.5\nv 2 0 0\nv 2 2 0\nvt 0 0\nvt 1 0\nvt 1 0.25\nf 1/1 2/2 3/3\n"));
    fake.promptAnswers.push_back("2");
    files::cmdImport(state);
    EXPECT_EQ(fake.fileDialogs[5].filter, "OBJ STL PLY glTF COLLADA 3DS FBX|*.obj;*.stl;*.ply;*.glb;*.gltf;*.dae;*.3ds;*.fbx");
    EXPECT_EQ(describe(state.mesh), describe(before).replace(0, 1, "6") + "\n0.9 0 -0.25 0 1 | 1 0 0 1 1 | 1 1 0 1 0.75");
    EXPECT_EQ(state.mesh.pendingCorner, 0);
    state.textureFileName = path("brick.png");
    fs::create_directories(dir / "models");
    fake.fileAnswers.push_back(path("models/ship.obj"));
    files::cmdExport(state);
    EXPECT_EQ(fake.fileDialogs[6].filter,
              "OBJ|*.obj|STL|*.stl|PLY|*.ply|glTF binary|*.glb|glTF|*.gltf|COLLADA|*.dae|3DS|*.3ds");
    EXPECT_EQ(std::vector({fake.fileDialogs[5].save, fake.fileDialogs[6].save}), std::vector({false, true}));
    EXPECT_EQ(fake.messages.size(), 2u);
    EXPECT_NE(read(path("models/ship.obj")).find("# Mesh 'polyquill' with 4 faces"), std::string::npos);
    EXPECT_NE(read(path("models/ship.mtl")).find("map_Kd ../brick.png"), std::string::npos);
    // The proposal: the document's name with the format exported to last, which the next run remembers.
    state.prefs.dialogStartText = path("models/ship.pq");
    fake.fileAnswers = {path("ship.stl"), ""};
    files::cmdExport(state);
    loadUserState(state);
    files::cmdExport(state);
    EXPECT_EQ(std::pair(fake.fileDialogs[7].startText, fake.fileDialogs[7].filterIndex),
              std::pair(path("models/ship.obj"), 0));
    EXPECT_EQ(std::pair(fake.fileDialogs[8].startText, fake.fileDialogs[8].filterIndex),
              std::pair(path("models/ship.stl"), 1));
    ::unsetenv("XDG_STATE_HOME");
}

// An export helper that is missing, crashes or stops reading is a message (and raises no SIGPIPE).
TEST_F(Tools, ExportHelperThatFailsIsAMessage)
{
    Mesh mesh = seamMesh();
    mesh.pendingCorner = 0;
    for (int i = 0; i < 20000; ++i) appendTriangle(mesh);
    const std::string helper = path("helper.sh");
    const auto answer = [](ExportFailure what, int32_t reason, const std::string& detail) {
        return "printf '%s' '" + exportAnswerText({what, reason, detail}) + "'; exit 1";
    };
    const std::pair<std::string, std::string> scripts[] = {
        {"", "the export helper " + helper + " could not be started: No such file or directory"},
        {"kill -SEGV $$", "the exporter crashed"},
        {"exit 1", "the export helper failed"},
        {"printf 'disk\\nfull'; exit 2", "the export helper failed"},
        {"printf 'disk\\nfull'; exit 1", "the export helper failed"},
        {"printf '11 0 x'; exit 1", "the export helper failed"},
        {answer(ExportFailure::CannotWrite, ENOSPC, ""), "No space left on device"},
        {answer(ExportFailure::CannotWrite, EFBIG, "a\nb.mtl"), "cannot write a b.mtl: File too large"},
        {answer(ExportFailure::ExporterFailed, 0, std::string(9000, '0')),
         "the exporter failed: " + std::string(8188, '0')},
        {"cat > \"$0.mesh\"; printf 'written'", ""},
    };
    for (const auto& [script, expected] : scripts) {
        if (!script.empty()) fs::permissions(write("helper.sh", "#!/bin/sh\n" + script + "\n"), fs::perms::owner_all);
        EXPECT_EQ(said(exportThroughHelper(mesh, path("out.glb"), "", helper)), expected) << script;
    }
    EXPECT_EQ(read(helper + ".mesh").size(), writeMeshBytes(mesh).size());
}

// Info's figures are those of convert's output: corners shared as the native reader shares them (a NaN
// equal to nothing), the box of the finite ones, and apart from it those not finite.
TEST_F(Tools, InfoReportsWhatConvertWrites)
{
    const auto record = [](std::array<float, 9> p) {
        std::array<float, 15> f{};
        for (size_t k = 0; k < 3; ++k) std::ranges::copy(std::array{0.25f, 0.75f, p[3 * k], p[3 * k + 1], p[3 * k + 2]}, &f[5 * k]);
        return std::string(reinterpret_cast<const char*>(f.data()), 60);
    };
    const float nan = std::nanf(""), inf = INFINITY;
    const std::string nanTriangle = record({nan, 0, 0, 1, 2, 3, -1, 5, -0.0f});
    const std::string other = record({4, -2, 0.0f, 1, 2, 3, 0.5f, 0.5f, -0.0f});
    const std::string nanFigures = "triangles: 2\nvertices: 5\nbounding box: x -1 to 4, y -2 to 5, z 0 to 3\nnot finite: 1\n";
    const std::pair<std::string, std::string> cases[] = {
        // Unused vertices, the header's origin and a face past the object's end.
        {write("unused.asc", "Named object: \"a\"\nVertex list:\nVertex 0: X:5 Y:7 Z:9\nVertex 1: X:6 Y:7 Z:9\n"
                             "Vertex 2: X:5 Y:8 Z:9\nVertex 3: X:-50 Y:-50 Z:-50\nFace list:\n"
                             "Face 0: A:0 B:1 C:2\nFace 1: A:0 B:2 C:40\n"),
         "triangles: 3\nvertices: 4\nbounding box: x -50 to 6, y -50 to 8, z -50 to 9\nnot finite: 0\n"},
        // The same NaN corner first and last: the box must not change.
        {write("nan_first.pq", nanTriangle + other), nanFigures}, {write("nan_last.pq", other + nanTriangle), nanFigures},
        {write("infinite.pq", record({inf, 0, 0, inf, 0, 0, 1, 1, 1})),
         "triangles: 1\nvertices: 2\nbounding box: x 1 to 1, y 1 to 1, z 1 to 1\nnot finite: 1\n"},
        {write("junk.pq", junk(3000)),
         "triangles: 50\nvertices: 150\nbounding box: x -3.1268e+35 to 1.4269e-23, y -3.1268e+35 to 2.46675e+07, "
         "z -3.1268e+35 to 3.961e+37\nnot finite: 1\n"},
        {write("truncated.pq", (other + other).substr(0, 91)),
         "triangles: 2\nvertices: 5\nbounding box: x 0 to 4, y -2 to 2, z 0 to 3\nnot finite: 0\n"},
    };
    const std::string out = path("converted.pq");
    for (const auto& [input, figures] : cases) {
        const std::string triangles = figures.substr(11, figures.find('\n') - 11);
        EXPECT_EQ(run("convert " + input + " " + out), "0: wrote " + out + ": " + triangles + " triangles\n");
        const std::string format = input.ends_with(".pq") ? "Polyquill mesh" : "3D-Studio ASCII export";
        EXPECT_EQ(run("info " + input), "0: file: " + input + "\nformat: " + format + "\n" + figures);
        EXPECT_EQ(run("info " + out), "0: file: " + out + "\nformat: Polyquill mesh\n" + figures);
    }
}

// Several inputs: outputs named by stem in input order, a failure among them, the summary and the exit status;
// names that clash, or several inputs without a folder, are refused before anything is written.
TEST_F(Tools, BatchNamesOutputsReportsInOrderAndRefusesClashesFirst)
{
    const std::string asc = PQ_SOURCE_DIR "/tests/data/asc/", out = path("out");
    const std::string said = run("convert " + asc + "UUSALKU.ASC " + path("gone.asc") + " " + asc +
                                 "TESTI.ASC --out-dir " + out + " --factor 100 -j 2");
    EXPECT_EQ(said.substr(0, said.find(" in ")),
              "1: wrote " + out + "/UUSALKU.pq: 326 triangles\npqtool: cannot read " + path("gone.asc") + "\nwrote " +
                  out + "/TESTI.pq: 12 triangles\npqtool: 3 files: 2 done, 1 failed");
    EXPECT_NE(run("info " + out + "/TESTI.pq").find("x -2.54022 to 1.9864"), std::string::npos) << "divided by 100";
    EXPECT_EQ(run("thumbnail " + asc + "TESTI.ASC " + out + "/TESTI.pq --out-dir " + path("new")).substr(0, 2), "2:");
    EXPECT_EQ(run("export " + asc + "TESTI.ASC --out-dir " + path("new")).substr(0, 2), "2:") << "no --format";
    EXPECT_EQ(run("import " + asc + "TESTI.ASC " + cube + " " + path("x.pq")).substr(0, 2), "2:") << "no --out-dir";
    EXPECT_FALSE(fs::exists(path("new")));
    EXPECT_EQ(run("info " + out + "/*.pq -j 1").substr(0, 2), "0:");
    EXPECT_EQ(run("export " + out + "/*.pq --out-dir " + path("glb") + " --format glb").substr(0, 2), "0:");
    EXPECT_TRUE(fs::exists(path("glb/UUSALKU.glb")) && fs::exists(path("glb/TESTI.glb")));
    EXPECT_EQ(run("thumbnail " + asc + "TESTI.ASC --out-dir " + out), "0: wrote " + out + "/TESTI.png: 256x163\n")
        << "256 pixels unless --size";
}

// The picture beside a mesh with its stem goes into export's material and render's and thumbnail's 3D view,
// unless --no-texture; a thumbnail is the 3D view alone, framed, in the mesh's proportions.
TEST_F(Tools, PicturesBesideTheMeshTextureExportsAndThumbnails)
{
    fs::copy_file(PQ_SOURCE_DIR "/tests/data/asc/UUSALKU.ASC", path("far.asc"));
    const auto greenAt = [this](const std::string& png, int32_t x, int32_t y) {
        const std::string bytes = read(path(png));
        const RgbImage image = decodePng(std::span(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size()));
        const uint8_t* p = &image.rgb[(static_cast<size_t>(y) * static_cast<size_t>(image.width) + x) * 3];
        const char* colour = p[1] > p[0] + 50 ? " green" : p[0] > 40 && p[1] < p[0] + 20 ? " grey" : " dark";
        return std::to_string(image.width) + "x" + std::to_string(image.height) + colour;
    };
    EXPECT_EQ(run("thumbnail " + path("far.asc") + " " + path("grey.png") + " 256"), "0: wrote " + path("grey.png") +
                                                                                         ": 123x256\n");
    EXPECT_EQ(greenAt("grey.png", 40, 30), "123x256 grey");
    RgbImage green{2, 2, std::vector<uint8_t>(12, 0)};
    for (size_t i = 1; i < 12; i += 3) green.rgb[i] = 255;
    const std::vector<uint8_t> png = encodePng(green);
    write("far.png", std::string(png.begin(), png.end()));
    EXPECT_EQ(run("thumbnail " + path("far.asc") + " " + path("green.png") + " 64").substr(0, 2), "0:");
    EXPECT_EQ(greenAt("green.png", 10, 8), "31x64 green");
    const std::string render = "render " + path("far.asc") + " " + path("r.png") + " --frame --view 3d --size 64x64";
    EXPECT_EQ(run(render).substr(0, 2), "0:");
    EXPECT_EQ(greenAt("r.png", 32, 10), "64x64 green");
    run(render + " --no-texture");
    EXPECT_EQ(greenAt("r.png", 32, 10), "64x64 grey");
    fs::create_directory(dir / "m");
    run("export " + path("far.asc") + " " + path("m/far.obj"));
    EXPECT_NE(read(path("m/far.mtl")).find("map_Kd ../far.png"), std::string::npos);
    run("export " + path("far.asc") + " " + path("m/far.obj") + " --no-texture");
    EXPECT_EQ(read(path("m/far.mtl")).find("map_Kd"), std::string::npos);
}
