// files_test.cpp: the native mesh file, the ASC import, pref.txt, the names
// rules and the file commands over the scripted window layer.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <bit>
#include <clocale>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <new>
#include <random>

#include "app/app.h"
#include "files/files.h"
#include "tests/fake_window_layer.h"
#include "tests/test_mesh.h"

namespace {

namespace fs = std::filesystem;

std::span<const std::byte> asBytes(std::string_view text)
{
    return std::as_bytes(std::span(text.data(), text.size()));
}

// A native file from raw floats, five per corner (U V X Y Z), little-endian.
std::vector<std::byte> floatsToBytes(const std::vector<float>& floats)
{
    std::vector<std::byte> bytes;
    for (float f : floats) {
        const uint32_t bits = std::bit_cast<uint32_t>(f);
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::byte>(bits >> (8 * i)));
    }
    return bytes;
}

uint32_t bitsOf(float f) { return std::bit_cast<uint32_t>(f); }

// Reference reader: the file read corner by corner with the linear findVertexAt.
void readWithFindVertexAt(Mesh& mesh, std::span<const std::byte> bytes)
{
    const auto at = [&](size_t offset) {
        uint32_t bits = 0;
        for (size_t i = 0; i < 4 && offset + i < bytes.size(); ++i)
            bits |= static_cast<uint32_t>(bytes[offset + i]) << (8 * i);
        return std::bit_cast<float>(bits);
    };
    for (size_t r = 0; r < bytes.size(); r += 60) {
        Triangle t;
        for (size_t k = 0; k < 3; ++k) {
            const size_t o = r + 20 * k;
            t.u[k] = at(o);
            t.v[k] = at(o + 4);
            int32_t p = findVertexAt(mesh, at(o + 8), at(o + 12), at(o + 16));
            if (p < 0) {
                p = static_cast<int32_t>(mesh.vertices.size());
                addVertex(mesh, at(o + 8), at(o + 12), at(o + 16), 1);
            }
            t.vertexIndex[k] = p;
        }
        mesh.triangles.push_back(t);
    }
}

void expectSameMesh(const Mesh& a, const Mesh& b)
{
    ASSERT_EQ(a.vertices.size(), b.vertices.size());
    ASSERT_EQ(a.triangles.size(), b.triangles.size());
    for (size_t i = 0; i < a.vertices.size(); ++i) {
        EXPECT_EQ(bitsOf(a.vertices[i].x), bitsOf(b.vertices[i].x)) << i;
        EXPECT_EQ(bitsOf(a.vertices[i].y), bitsOf(b.vertices[i].y)) << i;
        EXPECT_EQ(bitsOf(a.vertices[i].z), bitsOf(b.vertices[i].z)) << i;
        EXPECT_EQ(a.vertices[i].selected, b.vertices[i].selected) << i;
    }
    for (size_t i = 0; i < a.triangles.size(); ++i) {
        EXPECT_EQ(a.triangles[i].vertexIndex, b.triangles[i].vertexIndex) << i;
        EXPECT_EQ(a.triangles[i].selected, b.triangles[i].selected) << i;
    }
}

// A folder of its own under the system's temporary folder, removed afterwards.
class TempDir {
public:
    TempDir()
    {
        std::string pattern = (fs::temp_directory_path() / "pq_files_test_XXXXXX").string();
        path_ = ::mkdtemp(pattern.data());
    }
    ~TempDir()
    {
        std::error_code e;
        fs::remove_all(path_, e);
    }
    std::string operator/(std::string_view name) const { return (path_ / name).string(); }
    size_t entryCount() const { return static_cast<size_t>(std::distance(fs::directory_iterator(path_), {})); }

private:
    fs::path path_;
};

std::string fileText(const std::string& path)
{
    const auto bytes = readFileBytes(path);
    if (!bytes) return "<unreadable>";
    return std::string(reinterpret_cast<const char*>(bytes->data()), bytes->size());
}

void writeText(const std::string& path, std::string_view text)
{
    ASSERT_EQ(writeFileReplacing(path, asBytes(text)), "");
}

std::string dataFile(std::string_view name) { return std::string(PQ_TEST_DATA_DIR) + "/" + std::string(name); }

std::string_view asText(std::span<const std::byte> bytes)
{
    return std::string_view(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

}  // namespace

// ---- native file -------------------------------------------------------------------------

TEST(NativeFile, EmptyMeshIsAnEmptyFileAndBack)
{
    Mesh mesh;
    EXPECT_TRUE(writeMeshBytes(mesh).empty());
    readMeshBytes(mesh, {}, 1);
    EXPECT_TRUE(mesh.vertices.empty());
    EXPECT_TRUE(mesh.triangles.empty());
}

TEST(NativeFile, OneTriangleIsSixtyBytesInCornerOrder)
{
    Mesh mesh;
    addVertex(mesh, 1.5f, 2.0f, -3.0f);
    addVertex(mesh, 4.0f, 5.0f, 6.0f);
    addVertex(mesh, -7.25f, 8.0f, 9.0f);
    addTriangle(mesh, 2, 0, 1, {0.25f, 0.5f, 0.75f}, {1.0f, -1.0f, 2.0f});
    const auto bytes = writeMeshBytes(mesh);
    ASSERT_EQ(bytes.size(), 60u);
    // -7.25f is 0xC0E80000: little-endian at offset 8, the x of corner 0.
    EXPECT_EQ(bytes[8], std::byte{0x00});
    EXPECT_EQ(bytes[10], std::byte{0xE8});
    EXPECT_EQ(bytes[11], std::byte{0xC0});
    EXPECT_EQ(floatsToBytes({0.25f, 1.0f, -7.25f, 8.0f, 9.0f, 0.5f, -1.0f, 1.5f, 2.0f, -3.0f, 0.75f, 2.0f, 4.0f,
                             5.0f, 6.0f}),
              bytes);
}

TEST(NativeFile, HalfBuiltTriangleIsNotWritten)
{
    Mesh mesh;
    addVertex(mesh, 1, 2, 3);
    addVertex(mesh, 4, 5, 6);
    addTriangle(mesh, 0, 1, 0);
    addTriangle(mesh, 1, 0, 0);  // two corners chosen so far
    mesh.pendingCorner = 2;
    EXPECT_EQ(writeMeshBytes(mesh).size(), 60u);
    EXPECT_EQ(mesh.triangles.size(), 2u);  // the user can go on building it
    mesh.pendingCorner = 0;
    EXPECT_EQ(writeMeshBytes(mesh).size(), 120u);
}

TEST(NativeFile, FacesWithoutVerticesAreNotWritten)
{
    Mesh faces;
    importAscText(faces, "Face 0: A:0 B:1 C:2\n", 1);
    ASSERT_EQ(faces.triangles.size(), 1u);
    ASSERT_TRUE(faces.vertices.empty());
    EXPECT_TRUE(writeMeshBytes(faces).empty());
}

TEST(NativeFile, RoundTripIsBitForBit)
{
    const float nan = std::bit_cast<float>(0x7FA00001u);  // a signalling NaN with a payload
    const float denormal = std::numeric_limits<float>::denorm_min();
    Mesh mesh;
    addVertex(mesh, -0.0f, denormal, std::numeric_limits<float>::infinity());
    addVertex(mesh, 1e38f, -1e-38f, 0.1f);
    addVertex(mesh, 3.0f, 3.0f, 3.0f);
    addTriangle(mesh, 0, 1, 2, {nan, -0.0f, denormal}, {std::numeric_limits<float>::lowest(), 0.1f, -nan});
    addTriangle(mesh, 2, 1, 0, {1, 2, 3}, {4, 5, 6});
    const auto bytes = writeMeshBytes(mesh);

    Mesh back;
    readMeshBytes(back, bytes, 1);
    EXPECT_EQ(writeMeshBytes(back), bytes);
    EXPECT_EQ(back.vertices.size(), 3u);
    EXPECT_EQ(bitsOf(back.triangles[0].u[0]), 0x7FA00001u);
    EXPECT_EQ(bitsOf(back.vertices[0].x), 0x80000000u);  // -0 kept as written
}

TEST(NativeFile, SharingIsRebuiltOnReading)
{
    Mesh mesh;
    for (int i = 0; i < 4; ++i) addVertex(mesh, float(i), float(i * i), 1.0f);
    addVertex(mesh, 1.0f, 1.0f, 1.0f);   // 4: same position as vertex 1
    addVertex(mesh, 9.0f, 9.0f, 9.0f);   // 5: used by no triangle
    addTriangle(mesh, 0, 1, 2);
    addTriangle(mesh, 2, 4, 3);  // shares vertex 2, and vertex 4 stands on vertex 1

    Mesh back;
    readMeshBytes(back, writeMeshBytes(mesh), 1);
    ASSERT_EQ(back.vertices.size(), 4u);
    EXPECT_EQ(back.triangles[0].vertexIndex, (std::array<int32_t, 3>{0, 1, 2}));
    EXPECT_EQ(back.triangles[1].vertexIndex, (std::array<int32_t, 3>{2, 1, 3}));
    for (const Vertex& v : back.vertices) EXPECT_EQ(v.selected, 1);
    for (const Triangle& t : back.triangles) EXPECT_EQ(t.selected, 0);
}

TEST(NativeFile, ExistingVerticesTakePartFirstMatchAndSignedZero)
{
    Mesh mesh;
    addVertex(mesh, 0.0f, -0.0f, 0.0f, 0);
    addVertex(mesh, 2.0f, 2.0f, 2.0f, 0);
    addVertex(mesh, 2.0f, 2.0f, 2.0f, 1);  // the later twin is never chosen
    addTriangle(mesh, 0, 1, 2);
    mesh.triangles[0].selected = 1;
    const auto bytes = floatsToBytes({0, 0, 0, 0, 0, 0, 0, 2, 2, 2, 0, 0, 5, 5, 5});
    readMeshBytes(mesh, bytes, 1);
    ASSERT_EQ(mesh.vertices.size(), 4u);
    ASSERT_EQ(mesh.triangles.size(), 2u);
    EXPECT_EQ(mesh.triangles[1].vertexIndex, (std::array<int32_t, 3>{0, 1, 3}));
    EXPECT_EQ(mesh.vertices[0].selected, 0);  // kept its flags
    EXPECT_EQ(mesh.vertices[3].selected, 1);
    EXPECT_EQ(mesh.triangles[0].selected, 1);
    EXPECT_EQ(mesh.triangles[1].selected, 0);
}

TEST(NativeFile, NanPositionsNeverShare)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    Mesh mesh;
    addVertex(mesh, nan, 0, 0);
    readMeshBytes(mesh, floatsToBytes({0, 0, nan, 0, 0, 0, 0, nan, 0, 0, 0, 0, 0, nan, 0}), 1);
    EXPECT_EQ(mesh.vertices.size(), 4u);
    EXPECT_EQ(mesh.triangles[0].vertexIndex, (std::array<int32_t, 3>{1, 2, 3}));
}

TEST(NativeFile, IndexAgreesWithFindVertexAtOnRandomFiles)
{
    // Few distinct values so positions repeat often; signed zeros and NaNs mixed in.
    const float values[] = {0.0f, -0.0f, 1.0f, -1.0f, 0.5f, std::numeric_limits<float>::quiet_NaN(),
                            std::numeric_limits<float>::infinity()};
    std::mt19937 random(12345);
    std::uniform_int_distribution<size_t> pick(0, std::size(values) - 1);
    for (int round = 0; round < 20; ++round) {
        Mesh fast;
        for (int i = 0; i < round; ++i) addVertex(fast, values[pick(random)], values[pick(random)], values[pick(random)]);
        Mesh reference = fast;
        std::vector<float> floats;
        for (int i = 0; i < 15 * 40; ++i) floats.push_back(values[pick(random)]);
        auto bytes = floatsToBytes(floats);
        bytes.resize(bytes.size() - static_cast<size_t>(round));  // short last record too
        readMeshBytes(fast, bytes, 1);
        readWithFindVertexAt(reference, bytes);
        expectSameMesh(fast, reference);
    }
}

TEST(NativeFile, FileReadInPiecesGivesWhatTheBytesGive)
{
    // Several of the reader's pieces, positions repeating across them, and a short last record.
    std::vector<float> floats;
    for (int i = 0; i < 15 * 40'000; ++i) floats.push_back(static_cast<float>(i % 7 == 4 ? i : (i * 31) % 389));
    auto bytes = floatsToBytes(floats);
    bytes.resize(bytes.size() - 7);
    TempDir dir;
    const std::string path = dir / "large.pq";
    ASSERT_EQ(writeFileReplacing(path, bytes), "");
    for (const int32_t factor : {1, 3}) {
        Mesh fromFile, fromBytes;
        addVertex(fromFile, 5, 155, 0);  // already there: later corners share it
        addVertex(fromBytes, 5, 155, 0);
        ASSERT_TRUE(mergeMeshFile(fromFile, path, factor));
        readMeshBytes(fromBytes, bytes, factor);
        EXPECT_EQ(fromFile.triangles.size(), 40'000u);
        expectSameMesh(fromFile, fromBytes);
    }
}

TEST(NativeFile, SixtyOneBytesGiveTwoTriangles)
{
    std::vector<std::byte> bytes = floatsToBytes({1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15});
    bytes.push_back(std::byte{0x42});
    Mesh mesh;
    readMeshBytes(mesh, bytes, 1);
    ASSERT_EQ(mesh.triangles.size(), 2u);
    const Triangle& second = mesh.triangles[1];
    EXPECT_EQ(bitsOf(second.u[0]), 0x42u);
    EXPECT_EQ(second.v[0], 0.0f);
    EXPECT_EQ(second.u[1], 0.0f);
    EXPECT_EQ(second.u[2], 0.0f);
    EXPECT_EQ(second.v[2], 0.0f);
    ASSERT_EQ(mesh.vertices.size(), 4u);  // three from the first record, the origin once
    EXPECT_EQ(second.vertexIndex, (std::array<int32_t, 3>{3, 3, 3}));
}

TEST(NativeFile, EveryTruncationReadsWithoutHarm)
{
    const auto whole = floatsToBytes(std::vector<float>(30, 1.25f));
    for (size_t length = 0; length <= whole.size(); ++length) {
        Mesh mesh;
        readMeshBytes(mesh, std::span(whole).first(length), 1);
        EXPECT_EQ(mesh.triangles.size(), (length + 59) / 60);
        for (const Triangle& t : mesh.triangles)
            for (int32_t p : t.vertexIndex) EXPECT_LT(static_cast<size_t>(p), mesh.vertices.size());
    }
}

TEST(NativeFile, FactorDividesPositionsNotTextureCoordinates)
{
    const auto bytes = floatsToBytes({0.5f, 0.25f, 3, -5, 7, 0, 0, 1, 1, 1, 0, 0, 2, 2, 2});
    Mesh halved;
    readMeshBytes(halved, bytes, 2);
    EXPECT_EQ(halved.vertices[0].x, 1.5f);
    EXPECT_EQ(halved.vertices[0].y, -2.5f);
    EXPECT_EQ(halved.vertices[0].z, 3.5f);
    EXPECT_EQ(halved.triangles[0].u[0], 0.5f);
    EXPECT_EQ(halved.triangles[0].v[0], 0.25f);

    Mesh mirrored;
    readMeshBytes(mirrored, bytes, -1);
    EXPECT_EQ(mirrored.vertices[0].x, -3.0f);

    Mesh joined;  // a divided corner joins an existing vertex at the divided place
    addVertex(joined, 0.5f, 0.5f, 0.5f);
    readMeshBytes(joined, bytes, 2);
    EXPECT_EQ(joined.triangles[0].vertexIndex[1], 0);

    Mesh none;
    readMeshBytes(none, bytes, 0);
    EXPECT_TRUE(none.triangles.empty());
}

TEST(NativeFile, JunkReadsAsFloatsWithoutHarm)
{
    std::mt19937 random(7);
    std::vector<std::byte> junk(60 * 1000 + 17);
    for (std::byte& b : junk) b = static_cast<std::byte>(random());
    Mesh mesh;
    readMeshBytes(mesh, junk, 1);
    EXPECT_EQ(mesh.triangles.size(), 1001u);
    Mesh reference;
    readWithFindVertexAt(reference, junk);
    expectSameMesh(mesh, reference);
}

TEST(NativeFile, SaveAndLoadThroughFiles)
{
    TempDir dir;
    Mesh mesh;
    addVertex(mesh, 1, 2, 3);
    addTriangle(mesh, 0, 0, 0, {0.5f, 0.5f, 0.5f});
    const std::string path = dir / "one.pq";
    ASSERT_EQ(saveMeshFile(mesh, path), "");
    EXPECT_EQ(fs::file_size(path), 60u);

    addTriangle(mesh, 0, 0, 0);
    ASSERT_EQ(saveMeshFile(mesh, path), "");  // replaces the old file
    EXPECT_EQ(fs::file_size(path), 120u);
    EXPECT_EQ(dir.entryCount(), 1u);  // no temporary file left behind

    Mesh back;
    ASSERT_TRUE(loadMeshFile(back, path));
    EXPECT_EQ(back.triangles.size(), 2u);
    EXPECT_EQ(back.vertices.size(), 1u);

    Mesh untouched;
    addVertex(untouched, 4, 4, 4);
    EXPECT_FALSE(loadMeshFile(untouched, dir / "missing.pq"));
    EXPECT_FALSE(loadMeshFile(untouched, dir / ""));  // a folder is not a mesh file
    EXPECT_FALSE(mergeMeshFile(untouched, "", 2));
    EXPECT_EQ(untouched.vertices.size(), 1u);
    EXPECT_TRUE(untouched.triangles.empty());
}

TEST(NativeFile, FailedSaveKeepsWhatWasThere)
{
    TempDir dir;
    Mesh mesh;
    addVertex(mesh, 1, 2, 3);
    addTriangle(mesh, 0, 0, 0);
    EXPECT_EQ(saveMeshFile(mesh, ""), "No such file or directory");
    EXPECT_EQ(saveMeshFile(mesh, dir / "no/such/folder/m.pq"), "No such file or directory");
    const std::string occupied = dir / "occupied";
    fs::create_directory(occupied);
    writeText(occupied + "/keep.txt", "keep");
    EXPECT_EQ(saveMeshFile(mesh, occupied), "Is a directory");
    EXPECT_EQ(fileText(occupied + "/keep.txt"), "keep");
    EXPECT_EQ(dir.entryCount(), 1u);  // the temporary file was removed
}

// ---- saving beside links, special files and limits ---------------------------------------

namespace {

struct stat statOf(const std::string& path)
{
    struct stat info {};
    EXPECT_EQ(::lstat(path.c_str(), &info), 0) << path;
    return info;
}

// Runs the check as an unprivileged user (in a child process when this one is
// root, which may write anything); false when it fails or cannot be run.
bool asUnprivilegedUser(const std::function<bool()>& check)
{
    if (::geteuid() != 0) return check();
    const pid_t child = ::fork();
    if (child == 0) {
        const bool passed = ::setgid(65534) == 0 && ::setuid(65534) == 0 && check();
        ::_exit(passed ? 0 : 1);
    }
    int status = 0;
    return child > 0 && ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

TEST(SaveTarget, LinksAreFollowedToTheFileTheyName)
{
    TempDir dir;
    fs::create_directory(dir / "sub");
    writeText(dir / "real.pq", "old");
    fs::create_symlink("../real.pq", dir / "sub/link.pq");  // relative to its folder
    fs::create_symlink(dir / "sub/link.pq", dir / "chain.pq");
    ASSERT_EQ(writeFileReplacing(dir / "chain.pq", asBytes("new")), "");
    EXPECT_EQ(fileText(dir / "real.pq"), "new");
    EXPECT_TRUE(fs::is_symlink(dir / "chain.pq"));
    EXPECT_TRUE(fs::is_symlink(dir / "sub/link.pq"));

    // A dangling link makes its target, as cp would.
    fs::create_symlink("made.pq", dir / "sub/dangling.pq");
    ASSERT_EQ(writeFileReplacing(dir / "sub/dangling.pq", asBytes("made")), "");
    EXPECT_EQ(fileText(dir / "sub/made.pq"), "made");
    EXPECT_TRUE(fs::is_symlink(dir / "sub/dangling.pq"));

    fs::create_symlink(dir / "loop2.pq", dir / "loop1.pq");
    fs::create_symlink(dir / "loop1.pq", dir / "loop2.pq");
    EXPECT_EQ(writeFileReplacing(dir / "loop1.pq", asBytes("x")), "Too many levels of symbolic links");
    EXPECT_TRUE(fs::is_symlink(dir / "loop1.pq"));
    // No temporary file left: sub, real.pq, chain.pq and the loop; link, dangling and made.
    EXPECT_EQ(dir.entryCount(), 5u);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "sub"), {}), 3);
}

TEST(SaveTarget, FifosAndCharacterDevicesAreWrittenInPlace)
{
    TempDir dir;
    const std::string fifo = dir / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(writeFileReplacing(fifo, asBytes("lost")), "no program reads the FIFO");

    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    ASSERT_GE(reader, 0);
    fs::create_symlink(fifo, dir / "link");
    EXPECT_EQ(writeFileReplacing(dir / "link", asBytes("through")), "");
    char received[16] = {};
    EXPECT_EQ(::read(reader, received, sizeof received), 7);
    EXPECT_EQ(std::string(received), "through");
    // A reader that has gone away ends neither the write nor the process.
    ::close(reader);
    EXPECT_TRUE(S_ISFIFO(statOf(fifo).st_mode));

    const std::string device = dir / "null";
    if (::mknod(device.c_str(), S_IFCHR | 0666, ::makedev(1, 3)) != 0) {
        GTEST_SKIP() << "no device nodes here";
    }
    EXPECT_EQ(writeFileReplacing(device, asBytes("discarded")), "");
    EXPECT_TRUE(S_ISCHR(statOf(device).st_mode));
    // A device that fails the write: its reason is the answer.
    const std::string full = dir / "full";
    ASSERT_EQ(::mknod(full.c_str(), S_IFCHR | 0666, ::makedev(1, 7)), 0);
    EXPECT_EQ(writeFileReplacing(full, asBytes("too much")), "No space left on device");
    EXPECT_EQ(dir.entryCount(), 4u);
}

TEST(SaveTarget, OtherSpecialFilesAreRefused)
{
    TempDir dir;
    const std::string socketPath = dir / "socket";
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socketPath.c_str());
    ASSERT_EQ(::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    EXPECT_EQ(writeFileReplacing(socketPath, asBytes("x")), "only files, FIFOs and character devices are written");
    EXPECT_TRUE(S_ISSOCK(statOf(socketPath).st_mode));
    ::close(listener);

    const std::string block = dir / "block";
    if (::mknod(block.c_str(), S_IFBLK | 0600, ::makedev(7, 0)) != 0) {
        GTEST_SKIP() << "no device nodes here";
    }
    EXPECT_EQ(writeFileReplacing(block, asBytes("x")), "a block device is never written");
    EXPECT_TRUE(S_ISBLK(statOf(block).st_mode));
}

TEST(SaveTarget, ReplacementKeepsModeAndOwner)
{
    TempDir dir;
    const std::string path = dir / "shared.pq";
    writeText(path, "old");
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::chown(path.c_str(), 65534, 65534), 0);
    }
    ASSERT_EQ(writeFileReplacing(path, asBytes("new")), "");
    const struct stat info = statOf(path);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    if (root) {
        EXPECT_EQ(info.st_uid, 65534u);
        EXPECT_EQ(info.st_gid, 65534u);
    }
    EXPECT_EQ(fileText(path), "new");
}

TEST(SaveTarget, ReadOnlyFileIsRefusedLikeShellRedirection)
{
    TempDir dir;
    const std::string path = dir / "locked.pq";
    writeText(path, "kept");
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    ASSERT_EQ(::chmod((dir / "").c_str(), 0777), 0);  // the user could make the temporary file
    EXPECT_TRUE(asUnprivilegedUser([&] { return writeFileReplacing(path, asBytes("lost")) == "Permission denied"; }));
    EXPECT_EQ(fileText(path), "kept");
    EXPECT_EQ(dir.entryCount(), 1u);
}

TEST(SaveTarget, NamesUpToTheLimitCanBeSaved)
{
    TempDir dir;
    std::string accented;
    while (accented.size() < 250) accented += "\xc3\xa9";  // é: the cut must not split it
    for (const std::string& name : {std::string(255, 'n'), accented + "a.pq"}) {
        SCOPED_TRACE(name.size());
        ASSERT_EQ(writeFileReplacing(dir / name, asBytes("long")), "");
        EXPECT_EQ(writeFileReplacing(dir / name, asBytes("again")), "");  // replacing it too
        EXPECT_EQ(fileText(dir / name), "again");
    }
    EXPECT_EQ(writeFileReplacing(dir / std::string(256, 'n'), asBytes("x")), "File name too long");
    EXPECT_EQ(dir.entryCount(), 2u);
}

// ---- ASC import ---------------------------------------------------------------------------

namespace {

// The lines of a text cut at CR LF, CR, LF and NUL, and their lower-cased keywords.
std::vector<std::string> ascKeywords(std::string_view text)
{
    std::vector<std::string> keywords;
    std::string line;
    const auto finish = [&] {
        std::string keyword = line.substr(0, line.find(' '));
        for (char& c : keyword) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        keywords.push_back(keyword);
        line.clear();
    };
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n' || c == '\0') {
            finish();
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
        } else {
            line += c;
        }
    }
    if (!line.empty()) finish();
    return keywords;
}

const char* const boxAsc =
    "Ambient light color: Red=0.3 Green=0.3 Blue=0.3\r\n"
    "\r\n"
    "Named object: \"Box01\"\r\n"
    "Tri-mesh, Vertices: 8     Faces: 12\r\n"
    "Vertex list:\r\n"
    "Vertex 0:  X: -1     Y: -1     Z: -1\r\n"
    "Vertex 1:  X: 1     Y: -1     Z: -1\r\n"
    "Vertex 2:  X: -1     Y: 1     Z: -1\r\n"
    "Vertex 3:  X: 1     Y: 1     Z: -1\r\n"
    "Vertex 4:  X: -1     Y: -1     Z: 1\r\n"
    "Vertex 5:  X: 1     Y: -1     Z: 1\r\n"
    "Vertex 6:  X: -1     Y: 1     Z: 1\r\n"
    "Vertex 7:  X: 1     Y: 1     Z: 1\r\n"
    "Face list:\r\n"
    "Face 0:    A:0 B:2 C:3 AB:1 BC:1 CA:0\r\n"
    "Material:\"r255g255b255a0\"\r\n"
    "Smoothing:  1\r\n"
    "Face 1:    A:3 B:1 C:0 AB:1 BC:1 CA:0\r\n"
    "Face 2:    A:4 B:5 C:7 AB:1 BC:1 CA:0\r\n"
    "Face 3:    A:7 B:6 C:4 AB:1 BC:1 CA:0\r\n"
    "Face 4:    A:0 B:1 C:5 AB:1 BC:1 CA:0\r\n"
    "Face 5:    A:5 B:4 C:0 AB:1 BC:1 CA:0\r\n"
    "Face 6:    A:1 B:3 C:7 AB:1 BC:1 CA:0\r\n"
    "Face 7:    A:7 B:5 C:1 AB:1 BC:1 CA:0\r\n"
    "Face 8:    A:3 B:2 C:6 AB:1 BC:1 CA:0\r\n"
    "Face 9:    A:6 B:7 C:3 AB:1 BC:1 CA:0\r\n"
    "Face 10:    A:2 B:0 C:4 AB:1 BC:1 CA:0\r\n"
    "Face 11:    A:4 B:6 C:2 AB:1 BC:1 CA:0\r\n"
    "\r\n"
    "Page 1\r\n";

}  // namespace

TEST(AscImport, CorpusFileGivesOneVertexAndOneTrianglePerLine)
{
    const auto bytes = readFileBytes(dataFile("asc/UUSALKU.ASC"));
    ASSERT_TRUE(bytes);
    const auto keywords = ascKeywords(asText(*bytes));
    const auto count = [&](std::string_view k) { return std::count(keywords.begin(), keywords.end(), k); };

    Mesh mesh;
    ASSERT_TRUE(importAsc(mesh, dataFile("asc/UUSALKU.ASC"), 1));
    EXPECT_EQ(static_cast<long>(mesh.vertices.size()), count("vertex"));
    EXPECT_EQ(static_cast<long>(mesh.triangles.size()), count("face"));
    ASSERT_EQ(mesh.vertices.size(), 182u);  // s01: header + 152, Object: header + 28
    ASSERT_EQ(mesh.triangles.size(), 326u);

    const auto corner = [&](size_t triangle, size_t k) {
        return vertexPosition(mesh, mesh.triangles[triangle].vertexIndex[k]);
    };
    // s01 starts at 0; its Vertex k sits at 1 + k, its Face k is triangle 1 + k.
    EXPECT_EQ(mesh.triangles[0].vertexIndex, (std::array<int32_t, 3>{1, 1, 1}));  // "Face list:"
    EXPECT_EQ(mesh.triangles[1].vertexIndex, (std::array<int32_t, 3>{5, 6, 7}));  // Face 0: A:4 B:5 C:6
    EXPECT_EQ(corner(1, 0).x, 8.49833f);     // Vertex 4:  X: 8.49833     Y: 678.775696  Z: -57.951851
    EXPECT_EQ(corner(1, 0).z, -57.951851f);
    EXPECT_EQ(corner(1, 1).z, -56.242363f);  // Vertex 5
    EXPECT_EQ(corner(1, 2).x, 8.148356f);    // Vertex 6
    EXPECT_EQ(mesh.triangles[2].vertexIndex, (std::array<int32_t, 3>{8, 1, 2}));  // Face 1: A:7 B:0 C:1
    EXPECT_EQ(corner(2, 1).x, 7.463437f);     // Vertex 0
    EXPECT_EQ(mesh.triangles[272].vertexIndex, (std::array<int32_t, 3>{152, 147, 146}));  // Face 271: A:151 B:146 C:145
    EXPECT_EQ(corner(272, 0).y, 710.085388f);  // Vertex 151:  X: -24.558178  Y: 710.085388
    EXPECT_EQ(corner(272, 2).x, -15.90397f);   // Vertex 145
    // "Object" starts at 153: its header vertex is at the origin, Vertex k at 154 + k.
    EXPECT_EQ(vertexPosition(mesh, 153).y, 0.0f);
    EXPECT_EQ(mesh.triangles[273].vertexIndex, (std::array<int32_t, 3>{154, 154, 154}));
    EXPECT_EQ(mesh.triangles[274].vertexIndex, (std::array<int32_t, 3>{164, 163, 162}));  // Face 0: A:10 B:9 C:8
    EXPECT_EQ(corner(274, 0).x, -277.971741f);  // Vertex 10
    EXPECT_EQ(corner(274, 2).z, -83.752068f);   // Vertex 8
    EXPECT_EQ(mesh.triangles[325].vertexIndex, (std::array<int32_t, 3>{181, 173, 180}));  // Face 51: A:27 B:19 C:26
    EXPECT_EQ(corner(325, 0).z, 47.695572f);   // Vertex 27
    EXPECT_EQ(corner(325, 2).x, -71.123192f);  // Vertex 26
}

TEST(AscImport, SecondCorpusFileCountsToo)
{
    const auto bytes = readFileBytes(dataFile("asc/TESTI.ASC"));
    ASSERT_TRUE(bytes);
    const auto keywords = ascKeywords(asText(*bytes));
    Mesh mesh;
    importAscText(mesh, asText(*bytes), 1);
    EXPECT_EQ(static_cast<long>(mesh.vertices.size()), std::count(keywords.begin(), keywords.end(), "vertex"));
    EXPECT_EQ(static_cast<long>(mesh.triangles.size()), std::count(keywords.begin(), keywords.end(), "face"));
}

TEST(AscImport, BoxIntoEmptyAndIntoExistingMesh)
{
    Mesh mesh;
    importAscText(mesh, boxAsc, 1);
    ASSERT_EQ(mesh.vertices.size(), 9u);
    ASSERT_EQ(mesh.triangles.size(), 13u);
    EXPECT_EQ(vertexPosition(mesh, 0).x, 0.0f);
    EXPECT_EQ(mesh.triangles[0].vertexIndex, (std::array<int32_t, 3>{1, 1, 1}));
    EXPECT_EQ(mesh.triangles[1].vertexIndex, (std::array<int32_t, 3>{1, 3, 4}));
    EXPECT_EQ(vertexPosition(mesh, 4).x, 1.0f);  // Vertex 3 (1, 1, -1)
    EXPECT_EQ(vertexPosition(mesh, 4).y, 1.0f);
    EXPECT_EQ(vertexPosition(mesh, 4).z, -1.0f);
    for (const Vertex& v : mesh.vertices) EXPECT_EQ(v.selected, 1);
    for (const Triangle& t : mesh.triangles) {
        EXPECT_EQ(t.selected, 0);
        EXPECT_EQ(t.u, (std::array<float, 3>{}));
        EXPECT_EQ(t.v, (std::array<float, 3>{}));
    }

    Mesh existing;
    for (int i = 0; i < 5; ++i) addVertex(existing, -1, -1, -1);  // exactly on Vertex 0
    addTriangle(existing, 4, 3, 2);
    importAscText(existing, boxAsc, 1);
    ASSERT_EQ(existing.vertices.size(), 14u);  // never shared
    EXPECT_EQ(existing.triangles[0].vertexIndex, (std::array<int32_t, 3>{4, 3, 2}));
    EXPECT_EQ(existing.triangles[2].vertexIndex, (std::array<int32_t, 3>{6, 8, 9}));
    EXPECT_EQ(existing.triangles[13].vertexIndex, (std::array<int32_t, 3>{10, 12, 8}));
}

TEST(AscImport, EachObjectCountsFromItsOwnVertexList)
{
    Mesh mesh;
    importAscText(mesh,
                  "Named object: \"a\"\nVertex list:\nVertex 0: X:1 Y:1 Z:1\nVertex 1: X:2 Y:2 Z:2\n"
                  "Face list:\nFace 0: A:0 B:1 C:0\n"
                  "Named object: \"b\"\nVertex list:\nVertex 0: X:3 Y:3 Z:3\nFace list:\nFace 0: A:0 B:0 C:0\n",
                  1);
    ASSERT_EQ(mesh.vertices.size(), 5u);
    EXPECT_EQ(mesh.triangles[1].vertexIndex, (std::array<int32_t, 3>{1, 2, 1}));
    EXPECT_EQ(mesh.triangles[3].vertexIndex, (std::array<int32_t, 3>{4, 4, 4}));
    EXPECT_EQ(vertexPosition(mesh, 4).x, 3.0f);
}

TEST(AscImport, KeywordsFieldsAndFactor)
{
    Mesh mesh;
    importAscText(mesh, "Vertex 0:  X: 25.0     Y: -5.0     Z: 1.0", 10);
    ASSERT_EQ(mesh.vertices.size(), 1u);
    EXPECT_EQ(mesh.vertices[0].x, 2.5f);
    EXPECT_EQ(mesh.vertices[0].y, -0.5f);
    EXPECT_EQ(mesh.vertices[0].z, 1.0f / 10.0f);

    Mesh cased;
    importAscText(cased, "VERTEX 0: X:1 Y:2 Z:3\n vertex 0: X:1 Y:2 Z:3\nVertices: 8\nvErTeX:\nvErTeX lIsT:\nfAcE\n", 1);
    ASSERT_EQ(cased.vertices.size(), 2u);  // the blank-led line, "Vertices:" and "vErTeX:" are ignored
    EXPECT_EQ(cased.vertices[0].z, 3.0f);
    EXPECT_EQ(cased.vertices[1].x, 0.0f);  // "vErTeX lIsT:" has no fields 2 to 4
    ASSERT_EQ(cased.triangles.size(), 1u);  // "fAcE" without fields: the object start + 1
    EXPECT_EQ(cased.triangles[0].vertexIndex, (std::array<int32_t, 3>{1, 1, 1}));

    Mesh negative;
    importAscText(negative, "vertex 0: x: 6 y: 8 z: -2", -2);
    EXPECT_EQ(negative.vertices[0].x, -3.0f);
    EXPECT_EQ(negative.vertices[0].z, 1.0f);

    Mesh none;
    importAscText(none, boxAsc, 0);
    EXPECT_TRUE(none.vertices.empty());
    EXPECT_TRUE(none.triangles.empty());
}

TEST(AscImport, EveryLineEndSeparatesLines)
{
    // Line ends at every place within eight-byte steps of the text.
    for (size_t zeros = 0; zeros < 9; ++zeros) {
        for (std::string_view end : {std::string_view("\r\n"), std::string_view("\r"), std::string_view("\n"), std::string_view("\0", 1)}) {
            std::string text = "vertex 0: x:1 y:2 z:3." + std::string(zeros, '0');
            text += end;
            text += "face 0: a:0 b:0 c:0";
            text += end;
            text += "vertex 1: x:4 y:5 z:6";
            Mesh mesh;
            importAscText(mesh, text, 1);
            EXPECT_EQ(mesh.vertices.size(), 2u);
            EXPECT_EQ(mesh.triangles.size(), 1u);
            EXPECT_EQ(mesh.vertices[1].z, 6.0f);
        }
    }
    Mesh trailing;
    importAscText(trailing, "vertex 0: x:1 y:2 z:3\r", 1);
    EXPECT_EQ(trailing.vertices.size(), 1u);
    EXPECT_EQ(trailing.vertices[0].z, 3.0f);
}

TEST(AscImport, HostileInputStaysInsideTheVertexList)
{
    Mesh mesh;
    importAscText(mesh,
                  "vertex 0: x:1e39 y:-1e39 z:nan\n"
                  "vertex 1: x:inf y:1e-50 z:0x10\n"
                  "face 0: a:99999999999 b:-5 c:-99999999999\n"
                  "named object\n"
                  "face 0: a:2147483647 b:2147483646 c:0\n",
                  1);
    ASSERT_EQ(mesh.vertices.size(), 2u);
    EXPECT_EQ(mesh.vertices[0].x, std::numeric_limits<float>::infinity());
    EXPECT_EQ(mesh.vertices[0].y, -std::numeric_limits<float>::infinity());
    EXPECT_EQ(mesh.vertices[0].z, 0.0f);  // "nan" is no number
    EXPECT_EQ(mesh.vertices[1].x, 0.0f);
    EXPECT_EQ(mesh.vertices[1].z, 0.0f);
    ASSERT_EQ(mesh.triangles.size(), 2u);
    EXPECT_EQ(mesh.triangles[0].vertexIndex,
              (std::array<int32_t, 3>{std::numeric_limits<int32_t>::max(), -4, std::numeric_limits<int32_t>::min() + 1}));
    EXPECT_EQ(mesh.triangles[1].vertexIndex[0], std::numeric_limits<int32_t>::max());  // saturated, not wrapped
    // Reading such corners clamps into the list: past the end the last, negative the first.
    EXPECT_EQ(vertexPosition(mesh, mesh.triangles[0].vertexIndex[0]).z, 0.0f);
    EXPECT_EQ(vertexPosition(mesh, mesh.triangles[0].vertexIndex[1]).x, std::numeric_limits<float>::infinity());
    EXPECT_EQ(writeMeshBytes(mesh).size(), 120u);
}

TEST(AscImport, EmptyJunkAndHugeInputs)
{
    Mesh mesh;
    importAscText(mesh, "", 1);
    EXPECT_TRUE(mesh.vertices.empty());

    std::mt19937 random(99);
    std::string junk(200000, '\0');
    for (char& c : junk) c = static_cast<char>(random());
    importAscText(mesh, junk, 3);
    EXPECT_EQ(writeMeshBytes(mesh).size(), 60 * mesh.triangles.size());

    std::string huge = "vertex 0: x:";
    huge.append(50u << 20, '7');  // a 50 MB line: one huge number
    huge += " y:1 z:2\nface 0: a:0 b:";
    huge.append(1u << 20, ':');
    Mesh big;
    importAscText(big, huge, 1);
    ASSERT_EQ(big.vertices.size(), 1u);
    EXPECT_EQ(big.vertices[0].x, std::numeric_limits<float>::infinity());
    EXPECT_EQ(big.vertices[0].y, 1.0f);
    ASSERT_EQ(big.triangles.size(), 1u);
    EXPECT_EQ(big.triangles[0].vertexIndex, (std::array<int32_t, 3>{1, 1, 1}));

    Mesh nulls;
    importAscText(nulls, std::string(1000, '\0'), 1);
    EXPECT_TRUE(nulls.vertices.empty());
}

TEST(AscImport, MissingFileChangesNothing)
{
    Mesh mesh;
    EXPECT_FALSE(importAsc(mesh, dataFile("asc/NO_SUCH.ASC"), 1));
    EXPECT_FALSE(importAsc(mesh, "", 1));
    EXPECT_TRUE(mesh.vertices.empty());
}

// ---- pref.txt ---------------------------------------------------------------------------

TEST(Preferences, WrittenByteForByte)
{
    Preferences prefs;
    prefs.language = 1;
    prefs.snapGrid = 0.5f;
    prefs.oldGlWarned = 0;
    prefs.dialogStartText = "pq";
    EXPECT_EQ(writePreferencesText(prefs), "1\r\n0.500000\r\n0\r\npq");
    EXPECT_EQ(writePreferencesText(Preferences{}), "0\r\n0.000000\r\n0\r\n");
    prefs.language = -7;
    prefs.snapGrid = 0.25f;
    prefs.oldGlWarned = 1;
    prefs.dialogStartText = "/home/me/ship 2.pq";
    EXPECT_EQ(writePreferencesText(prefs), "-7\r\n0.250000\r\n1\r\n/home/me/ship 2.pq");
}

TEST(Preferences, SnapGridWrittenAsPrintfWouldInAnyLocale)
{
    std::setlocale(LC_ALL, "C");
    for (float f : {0.1f, 1.0f / 3.0f, 123456.789f, -2.5e-7f, 0.0000005f, 3.4e38f, -0.0f}) {
        char expected[400];
        std::snprintf(expected, sizeof expected, "%f", static_cast<double>(f));
        Preferences prefs;
        prefs.snapGrid = f;
        EXPECT_EQ(writePreferencesText(prefs), "0\r\n" + std::string(expected) + "\r\n0\r\n") << f;
    }
    // A comma-decimal locale must not change the file (when the system has one).
    if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8") != nullptr) {
        Preferences prefs;
        prefs.snapGrid = 0.5f;
        EXPECT_EQ(writePreferencesText(prefs), "0\r\n0.500000\r\n0\r\n");
        EXPECT_EQ(readPreferencesText("0\r\n0.5\r\n").snapGrid, 0.5f);
        std::setlocale(LC_ALL, "C");
    }
}

TEST(Preferences, ReadWithEveryLineEnd)
{
    for (std::string_view end : {std::string_view("\r\n"), std::string_view("\n"), std::string_view("\r"), std::string_view("\0", 1)}) {
        std::string text = "1";
        text += end;
        text += "0.25";
        text += end;
        text += "1";
        text += end;
        text += "C:\\m\\ship.pq";
        const Preferences prefs = readPreferencesText(text);
        EXPECT_EQ(prefs.language, 1);
        EXPECT_EQ(prefs.snapGrid, 0.25f);
        EXPECT_EQ(prefs.oldGlWarned, 1);
        EXPECT_EQ(prefs.dialogStartText, "C:\\m\\ship.pq");
    }
    // Text after the fourth line is not part of it.
    EXPECT_EQ(readPreferencesText("0\n0\n0\nstart\nmore").dialogStartText, "start");
}

TEST(Preferences, ShortEmptyAndJunkFiles)
{
    const Preferences french = readPreferencesText("2");
    EXPECT_EQ(french.language, 2);
    EXPECT_EQ(french.snapGrid, 0.0f);
    EXPECT_EQ(french.oldGlWarned, 0);
    EXPECT_EQ(french.dialogStartText, "");

    const Preferences empty = readPreferencesText("");
    EXPECT_EQ(empty.language, 0);
    EXPECT_EQ(empty.dialogStartText, "");

    const Preferences junk = readPreferencesText("abc\r\nxyz\r\n\xff\xfe\r\n\x01\x02");
    EXPECT_EQ(junk.language, 0);
    EXPECT_EQ(junk.snapGrid, 0.0f);
    EXPECT_EQ(junk.dialogStartText, "\x01\x02");

    const Preferences extreme = readPreferencesText("99999999999\r\n1e999\r\n-99999999999\r\n");
    EXPECT_EQ(extreme.language, std::numeric_limits<int32_t>::max());
    EXPECT_EQ(extreme.snapGrid, std::numeric_limits<float>::infinity());
    EXPECT_EQ(extreme.oldGlWarned, std::numeric_limits<int32_t>::min());

    std::string longLine(50u << 20, 'x');
    EXPECT_EQ(readPreferencesText("1\n2\n3\n" + longLine).dialogStartText.size(), longLine.size());
}

TEST(Preferences, FilesThroughPaths)
{
    TempDir dir;
    Preferences prefs;
    prefs.language = 1;
    prefs.snapGrid = 0.5f;
    prefs.dialogStartText = "pq";
    ASSERT_TRUE(writePreferences(prefs, dir / "pref.txt"));
    EXPECT_EQ(fileText(dir / "pref.txt"), "1\r\n0.500000\r\n0\r\npq");

    Preferences back;
    ASSERT_TRUE(readPreferences(back, dir / "pref.txt"));
    EXPECT_EQ(back.language, 1);
    EXPECT_EQ(back.snapGrid, 0.5f);
    EXPECT_EQ(back.dialogStartText, "pq");

    Preferences kept;
    kept.language = 2;
    EXPECT_FALSE(readPreferences(kept, dir / "missing.txt"));
    EXPECT_EQ(kept.language, 2);
    EXPECT_FALSE(writePreferences(prefs, dir / "no/folder/pref.txt"));

    AppState state;
    state.programDirectory = dir / "";
    state.prefs.oldGlWarned = 1;
    writePreferences(state);  // into the program's folder
    EXPECT_EQ(fileText(dir / "pref.txt"), "0\r\n0.000000\r\n1\r\n");

    // The start-up read finds it there, whatever the current directory is.
    AppState started;
    started.programDirectory = state.programDirectory;
    readPreferences(started);
    EXPECT_EQ(started.prefs.oldGlWarned, 1);

    // A program folder without pref.txt leaves the working directory's to be read.
    const fs::path elsewhere = dir / "start";
    fs::create_directories(elsewhere / "program");
    writeText(elsewhere / "pref.txt", "2");
    const fs::path previous = fs::current_path();
    fs::current_path(elsewhere);
    AppState fallback;
    fallback.programDirectory = (elsewhere / "program" / "").string();
    readPreferences(fallback);
    fs::current_path(previous);
    EXPECT_EQ(fallback.prefs.language, 2);
}

// ---- names ---------------------------------------------------------------------------------

TEST(Names, CommandLineParametersAreJoined)
{
    EXPECT_EQ(commandLineFileName({}), "");
    EXPECT_EQ(commandLineFileName({"/tmp/ship.pq"}), "/tmp/ship.pq");
    EXPECT_EQ(commandLineFileName({"/tmp/my", "big", "ship.pq"}), "/tmp/my big ship.pq");
}

TEST(Names, SaveExtensionRule)
{
    EXPECT_EQ(withSaveExtension("C:\\m\\ship"), "C:\\m\\ship.pq");
    EXPECT_EQ(withSaveExtension("C:\\old.set\\ship"), "C:\\old.set\\ship.pq");
    EXPECT_EQ(withSaveExtension("/home/me/ship"), "/home/me/ship.pq");
    EXPECT_EQ(withSaveExtension("/home/old.set/ship"), "/home/old.set/ship.pq");
    EXPECT_EQ(withSaveExtension("/home/old.set\\ship"), "/home/old.set\\ship.pq");
    EXPECT_EQ(withSaveExtension("ship.PQ"), "ship.PQ");
    EXPECT_EQ(withSaveExtension("ship.txt"), "ship.txt");
    EXPECT_EQ(withSaveExtension("/m/ship.txt"), "/m/ship.txt");
    EXPECT_EQ(withSaveExtension("ship."), "ship..pq");
    EXPECT_EQ(withSaveExtension("ship.\"x"), "ship.\"x.pq");  // the extension ends at the quote
    EXPECT_EQ(withSaveExtension("ship.a\"x"), "ship.a\"x");
    EXPECT_EQ(withSaveExtension("/m/"), "/m/.pq");
    EXPECT_EQ(withSaveExtension(".hidden"), ".hidden");
}

// ---- commands ---------------------------------------------------------------------------

namespace {

struct CommandFixture : ::testing::Test {
    TempDir dir;
    FakeWindowLayer fake;
    AppState state;

    CommandFixture()
    {
        state.windows = &fake;
        state.prefs.dialogStartText = "/start/here.pq";
    }

    // A two-triangle file at dir/name; returns its path.
    std::string meshFile(std::string_view name)
    {
        Mesh mesh;
        addVertex(mesh, 2, 4, 6);
        addVertex(mesh, 8, 10, 12);
        addVertex(mesh, -2, -4, -6);
        addTriangle(mesh, 0, 1, 2, {0.5f, 0.5f, 0.5f}, {0.25f, 0.25f, 0.25f});
        addTriangle(mesh, 2, 1, 0);
        const std::string path = dir / name;
        EXPECT_EQ(saveMeshFile(mesh, path), "");
        return path;
    }

    void giveWork()
    {
        addVertex(state.mesh, 1, 1, 1);
        addTriangle(state.mesh, 0, 0, 0);
        state.currentFileName = "/old/name.pq";
        resetDocumentHistory(state);  // as if opened from there
    }

    void expectMeshDialog(size_t index, bool save, std::string_view filter = "Polyquill|*.PQ")
    {
        ASSERT_LT(index, fake.fileDialogs.size());
        const auto& d = fake.fileDialogs[index];
        EXPECT_EQ(d.title, "");
        EXPECT_EQ(d.startText, "/start/here.pq");
        EXPECT_EQ(d.filter, filter);
        EXPECT_EQ(d.filterIndex, 1);
        EXPECT_EQ(d.save, save);
    }

    // A file of a terabyte that takes no disk space: larger than any memory.
    std::string hugeFile(std::string_view name)
    {
        const std::string path = dir / name;
        std::ofstream(path).put('x');
        fs::resize_file(path, 1ull << 40);
        return path;
    }

    // Runs a command that must refuse, and checks it changed nothing and said `text`.
    template <typename Command>
    void expectRefused(Command command, const std::string& text)
    {
        const std::vector<std::byte> before = writeMeshBytes(state.mesh);
        const Mesh mesh = state.mesh;
        const std::string name = state.currentFileName;
        fake.messages.clear();
        command(state);
        EXPECT_EQ(writeMeshBytes(state.mesh), before) << text;
        EXPECT_EQ(state.mesh.triangles.size(), mesh.triangles.size()) << text;
        EXPECT_EQ(state.mesh.vertices.size(), mesh.vertices.size()) << text;
        EXPECT_EQ(state.mesh.pendingCorner, mesh.pendingCorner) << text;
        EXPECT_EQ(state.currentFileName, name) << text;
        ASSERT_EQ(fake.messages.size(), 1u) << text;
        EXPECT_EQ(fake.messages[0].text, text);
    }

    void expectFactorPrompt(size_t index)
    {
        ASSERT_LT(index, fake.prompts.size());
        EXPECT_EQ(fake.prompts[index].title, "Größe/Size/Dimension");
        EXPECT_EQ(fake.prompts[index].message, "Verkleinerungsfaktor/Scalefactor/Facteur de réduction");
        EXPECT_EQ(fake.prompts[index].defaultText, "5");
    }
};

}  // namespace

TEST_F(CommandFixture, OpenReplacesTheMeshWithTheChosenFile)
{
    giveWork();
    state.mesh.pendingCorner = 1;
    fake.choiceAnswers.push_back(1);  // the half-built triangle is discarded
    const std::string path = meshFile("two.pq");
    fake.fileAnswers.push_back(path);
    files::cmdOpen(state);
    expectMeshDialog(0, false);
    EXPECT_EQ(state.currentFileName, path);
    EXPECT_EQ(state.mesh.triangles.size(), 2u);
    EXPECT_EQ(state.mesh.vertices.size(), 3u);
    EXPECT_EQ(state.mesh.pendingCorner, 0);
    EXPECT_TRUE(fake.prompts.empty());
}

TEST_F(CommandFixture, CancelledOpenChangesNothing)
{
    giveWork();
    files::cmdOpen(state);
    EXPECT_EQ(fake.fileDialogs.size(), 1u);
    EXPECT_EQ(state.mesh.triangles.size(), 1u);
    EXPECT_EQ(state.currentFileName, "/old/name.pq");
}

TEST_F(CommandFixture, OpenOfAFileThatCannotBeReadChangesNothingAndSaysSo)
{
    giveWork();
    ASSERT_EQ(::mkfifo((dir / "fifo.pq").c_str(), 0600), 0);
    fs::create_directory(dir / "folder.pq");
    const std::string huge = hugeFile("huge.pq");
    const struct {
        std::string path;
        int32_t language;
        std::string text;
    } cases[] = {
        {dir / "missing.pq", 1, "cannot read " + dir / "missing.pq"},
        {dir / "fifo.pq", 0, "Die Datei " + dir / "fifo.pq" + " kann nicht gelesen werden"},
        {dir / "folder.pq", 2, "impossible de lire " + dir / "folder.pq"},
        {huge, 1, "not enough memory to read " + huge},
        {huge, 0, "Nicht genug Speicher, um " + huge + " zu lesen"},
        {huge, 2, "pas assez de mémoire pour lire " + huge},
    };
    for (const auto& c : cases) {
        state.prefs.language = c.language;
        fake.fileAnswers.push_back(c.path);
        expectRefused(files::cmdOpen, c.text);
    }
}

TEST_F(CommandFixture, SaveAsksForANameOnceAndAddsTheExtension)
{
    giveWork();
    state.currentFileName.clear();
    fake.fileAnswers.push_back(dir / "ship");
    files::cmdSave(state);
    expectMeshDialog(0, true);
    EXPECT_EQ(state.currentFileName, dir / "ship.pq");
    EXPECT_EQ(fs::file_size(dir / "ship.pq"), 60u);
    EXPECT_FALSE(fs::exists(dir / "ship"));

    addTriangle(state.mesh, 0, 0, 0);
    files::cmdSave(state);  // the name is known now: no dialog
    EXPECT_EQ(fake.fileDialogs.size(), 1u);
    EXPECT_EQ(fs::file_size(dir / "ship.pq"), 120u);
    EXPECT_TRUE(fake.messages.empty());
}

TEST_F(CommandFixture, CancelledSaveWritesNothing)
{
    giveWork();
    state.currentFileName.clear();
    files::cmdSave(state);
    EXPECT_EQ(state.currentFileName, "");
    EXPECT_EQ(dir.entryCount(), 0u);
    EXPECT_TRUE(fake.messages.empty());
}

TEST_F(CommandFixture, SaveKeepsAnExtensionItFinds)
{
    giveWork();
    state.currentFileName = dir / "ship.txt";
    files::cmdSave(state);
    EXPECT_EQ(state.currentFileName, dir / "ship.txt");
    EXPECT_EQ(fs::file_size(dir / "ship.txt"), 60u);
}

TEST_F(CommandFixture, FailedSaveTellsTheUserAndNamesThePath)
{
    giveWork();
    state.currentFileName = dir / "missing/folder/ship.pq";
    files::cmdSave(state);
    ASSERT_EQ(fake.messages.size(), 1u);
    EXPECT_EQ(fake.messages[0].title, "Save");
    EXPECT_EQ(fake.messages[0].text,
              "The file could not be written:\n" + (dir / "missing/folder/ship.pq") + "\nNo such file or directory");

    fake.fileAnswers.push_back(dir / "missing/other");
    files::cmdSaveAs(state);
    ASSERT_EQ(fake.messages.size(), 2u);
    EXPECT_EQ(fake.messages[1].title, "Save");
    EXPECT_NE(fake.messages[1].text.find(dir / "missing/other"), std::string::npos);
}

TEST_F(CommandFixture, SaveAsWritesExactlyTheChosenName)
{
    giveWork();
    fake.fileAnswers.push_back(dir / "ship");
    files::cmdSaveAs(state);
    expectMeshDialog(0, true);
    EXPECT_EQ(state.currentFileName, dir / "ship");
    EXPECT_EQ(fs::file_size(dir / "ship"), 60u);

    files::cmdSaveAs(state);  // cancelled: the name stays, nothing is written
    EXPECT_EQ(state.currentFileName, dir / "ship");
    EXPECT_EQ(dir.entryCount(), 1u);
}

TEST_F(CommandFixture, MergeDividesByTheRoundedFactor)
{
    const std::string path = meshFile("two.pq");
    const std::pair<std::string, float> cases[] = {{"2", 1.0f}, {"2.5", 1.0f}, {"3.5", 0.5f}, {" -2xyz", -1.0f}};
    for (const auto& [answer, x] : cases) {
        AppState s;
        s.windows = &fake;
        s.currentFileName = "/old/name.pq";
        fake.fileAnswers.push_back(path);
        fake.promptAnswers.push_back(answer);
        files::cmdMerge(s);
        ASSERT_EQ(s.mesh.triangles.size(), 2u) << answer;
        EXPECT_EQ(s.mesh.vertices[0].x, x) << answer;
        EXPECT_EQ(s.mesh.triangles[0].u[0], 0.5f);
        EXPECT_EQ(s.currentFileName, "/old/name.pq");
    }
    expectFactorPrompt(0);
}

TEST_F(CommandFixture, MergeAppendsAfterAHalfBuiltTriangleIsDropped)
{
    const std::string path = meshFile("two.pq");
    addVertex(state.mesh, 1, 2, 3, 0);  // exactly where a merged corner lands (factor 2)
    addTriangle(state.mesh, 0, 0, 0);
    addTriangle(state.mesh, 0, 0, 0);  // under construction
    state.mesh.pendingCorner = 2;
    fake.fileAnswers.push_back(path);
    fake.promptAnswers.push_back("2");
    files::cmdMerge(state);
    expectMeshDialog(0, false);
    EXPECT_EQ(state.mesh.pendingCorner, 0);
    ASSERT_EQ(state.mesh.triangles.size(), 3u);
    EXPECT_EQ(state.mesh.triangles[1].vertexIndex[0], 0);  // joined the existing vertex
    EXPECT_EQ(state.mesh.vertices.size(), 3u);
}

TEST_F(CommandFixture, MergeWithNothingToDoChangesNothing)
{
    const std::string path = meshFile("two.pq");
    addTriangle(state.mesh, 0, 0, 0);
    state.mesh.pendingCorner = 1;
    files::cmdMerge(state);  // dialog cancelled: no prompt
    EXPECT_TRUE(fake.prompts.empty());
    EXPECT_TRUE(fake.messages.empty());
    fake.fileAnswers.push_back(dir / "missing.pq");
    files::cmdMerge(state);  // unreadable: no prompt, but a word why
    EXPECT_TRUE(fake.prompts.empty());
    ASSERT_EQ(fake.messages.size(), 1u);
    EXPECT_EQ(fake.messages[0].text, "Die Datei " + dir / "missing.pq" + " kann nicht gelesen werden");
    for (const char* answer : {"", "0.4", "abc", "-0.5"}) {  // factors that round to 0
        fake.fileAnswers.push_back(path);
        fake.promptAnswers.push_back(answer);
        files::cmdMerge(state);
    }
    EXPECT_EQ(fake.prompts.size(), 4u);
    EXPECT_EQ(state.mesh.triangles.size(), 1u);
    EXPECT_EQ(state.mesh.pendingCorner, 1);  // the half-built triangle survives
}

TEST_F(CommandFixture, MergeAscImportsWithItsOwnFilter)
{
    state.currentFileName = "/old/name.pq";
    state.mesh.pendingCorner = 1;
    addTriangle(state.mesh, 0, 0, 0);
    fake.fileAnswers.push_back(dataFile("asc/UUSALKU.ASC"));
    fake.promptAnswers.push_back("10");
    files::cmdMergeAsc(state);
    expectMeshDialog(0, false, "ASC|*.ASC");
    expectFactorPrompt(0);
    EXPECT_EQ(state.mesh.pendingCorner, 0);
    ASSERT_EQ(state.mesh.triangles.size(), 326u);  // the half-built one went first
    EXPECT_EQ(state.mesh.vertices.size(), 182u);
    EXPECT_EQ(state.mesh.vertices[1].x, 7.463437f / 10.0f);
    EXPECT_EQ(state.currentFileName, "/old/name.pq");
}

TEST_F(CommandFixture, MergeAscCancelledOrZeroOrMissing)
{
    files::cmdMergeAsc(state);
    EXPECT_TRUE(fake.prompts.empty());
    fake.fileAnswers.push_back(dataFile("asc/UUSALKU.ASC"));
    fake.promptAnswers.push_back("");
    files::cmdMergeAsc(state);
    fake.fileAnswers.push_back(dataFile("asc/NO_SUCH.ASC"));
    files::cmdMergeAsc(state);  // the prompt comes first, then nothing
    EXPECT_EQ(fake.prompts.size(), 2u);
    EXPECT_TRUE(state.mesh.vertices.empty());
}

TEST_F(CommandFixture, MergingAFileLargerThanMemoryIsRefusedWithTheHalfBuiltTriangleKept)
{
    state.prefs.language = 1;
    giveWork();
    addVertex(state.mesh, 2, 2, 2, 1);
    addCorner(state.mesh);  // a half-built triangle on vertex 1
    const std::string pq = hugeFile("huge.pq");
    const std::string asc = hugeFile("huge.asc");
    fake.fileAnswers.push_back(pq);
    expectRefused(files::cmdMerge, "not enough memory to read " + pq);
    fake.fileAnswers.push_back(asc);
    fake.promptAnswers.push_back("1");
    expectRefused(files::cmdMergeAsc, "not enough memory to read " + asc);
    EXPECT_EQ(state.mesh.triangles.back().vertexIndex[0], 1);
}

TEST_F(CommandFixture, CommandLineFileLargerThanMemoryIsNotTaken)
{
    const std::string huge = hugeFile("huge.pq");
    loadCommandLineFile(state, {huge});
    EXPECT_TRUE(state.mesh.triangles.empty());
    EXPECT_EQ(state.currentFileName, "") << "Save must not write over it";
    ASSERT_EQ(fake.messages.size(), 1u);
    EXPECT_EQ(fake.messages[0].text, "Nicht genug Speicher, um " + huge + " zu lesen");
}

TEST(ReadFileBytes, AFileLargerThanMemoryIsRefusedBeforeReading)
{
    TempDir dir;
    const std::string path = dir / "huge";
    std::ofstream(path).put('x');
    fs::resize_file(path, 1ull << 40);
    EXPECT_THROW(readFileBytes(path), std::bad_alloc);
    Mesh mesh;
    EXPECT_THROW(loadMeshFile(mesh, path), std::bad_alloc);
    EXPECT_THROW(importAsc(mesh, path, 1), std::bad_alloc);
    EXPECT_TRUE(mesh.vertices.empty());
    Preferences prefs;
    prefs.language = 2;
    EXPECT_FALSE(readPreferences(prefs, path));
    EXPECT_EQ(prefs.language, 2);
    EXPECT_GT(memoryAvailable(), 0u);
}

TEST_F(CommandFixture, CommandLineFileAndDialogStart)
{
    const std::string path = meshFile("two.pq");
    loadCommandLineFile(state, {path});
    EXPECT_EQ(state.currentFileName, path);
    EXPECT_EQ(state.mesh.triangles.size(), 2u);

    rememberDialogStart(state);
    EXPECT_EQ(state.prefs.dialogStartText, path);

    AppState empty;
    empty.prefs.dialogStartText = "kept";
    loadCommandLineFile(empty, {});
    rememberDialogStart(empty);
    EXPECT_EQ(empty.currentFileName, "");
    EXPECT_EQ(empty.prefs.dialogStartText, "kept");
}

TEST(SampleCube, ShippedCubeIsTwelveTexturedTrianglesWithinTheViews)
{
    Mesh cube;
    ASSERT_TRUE(loadMeshFile(cube, std::string(PQ_SOURCE_DIR) + "/samples/cube.pq"));
    ASSERT_EQ(cube.triangles.size(), 12u);
    EXPECT_EQ(cube.vertices.size(), 8u);
    for (const Vertex& v : cube.vertices) {
        EXPECT_EQ(std::fabs(v.x), 0.5f);
        EXPECT_EQ(std::fabs(v.y), 0.5f);
        EXPECT_EQ(std::fabs(v.z), 0.5f);
    }
    Mesh pattern = cube;
    autoTexCoords(pattern, 0.0f, 1.0f);
    for (size_t i = 0; i < cube.triangles.size(); ++i) {
        EXPECT_EQ(cube.triangles[i].u, pattern.triangles[i].u);
        EXPECT_EQ(cube.triangles[i].v, pattern.triangles[i].v);
        // Wound outwards: the normal points away from the centre.
        const Vec3 a = vertexPosition(cube, cube.triangles[i].vertexIndex[0]);
        const Vec3 b = vertexPosition(cube, cube.triangles[i].vertexIndex[1]);
        const Vec3 c = vertexPosition(cube, cube.triangles[i].vertexIndex[2]);
        const Vec3 e1{b.x - a.x, b.y - a.y, b.z - a.z}, e2{c.x - a.x, c.y - a.y, c.z - a.z};
        const Vec3 n{e1.y * e2.z - e1.z * e2.y, e1.z * e2.x - e1.x * e2.z, e1.x * e2.y - e1.y * e2.x};
        EXPECT_GT(n.x * (a.x + b.x + c.x) + n.y * (a.y + b.y + c.y) + n.z * (a.z + b.z + c.z), 0.0f) << i;
    }
}
