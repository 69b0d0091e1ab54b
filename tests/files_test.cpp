// files_test.cpp: the native file, saving, ASC import, pref.txt, names and the file commands.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <poll.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/wait.h>
#include <unistd.h>

#include <bit>
#include <clocale>
#include <csignal>
#include <cstring>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <new>
#include <numeric>
#include <random>
#include <thread>

#include "app/app.h"
#include "files/files.h"
#include "tests/fake_window_layer.h"
#include "tests/test_mesh.h"

namespace {

namespace fs = std::filesystem;
using Corners = std::array<int32_t, 3>;
using Place = std::array<float, 3>;
constexpr float inf = std::numeric_limits<float>::infinity();
const std::string lineEnds[] = {"\r\n", "\r", "\n", std::string(1, '\0')};

std::span<const std::byte> asBytes(std::string_view text) { return std::as_bytes(std::span(text.data(), text.size())); }
uint32_t bitsOf(float f) { return std::bit_cast<uint32_t>(f); }

// A native file from raw floats, five per corner (U V X Y Z), little-endian.
std::vector<std::byte> floatsToBytes(const std::vector<float>& floats)
{
    std::vector<std::byte> bytes;
    for (float f : floats)
        for (int i = 0; i < 4; ++i) bytes.push_back(static_cast<std::byte>(bitsOf(f) >> (8 * i)));
    return bytes;
}

// Reference reader: corner by corner with the linear findVertexAt, a short last record zero-padded.
void readWithFindVertexAt(Mesh& mesh, std::vector<std::byte> bytes, int32_t factor)
{
    bytes.resize((bytes.size() + 59) / 60 * 60);
    std::vector<float> f(bytes.size() / 4);
    if (!f.empty()) std::memcpy(f.data(), bytes.data(), bytes.size());
    const auto place = [&](size_t o) { return factor == 1 ? f[o] : f[o] / static_cast<float>(factor); };
    for (size_t o = 0; o < f.size(); o += 5) {
        Triangle& t = o % 15 == 0 ? mesh.triangles.emplace_back() : mesh.triangles.back();
        const size_t k = o / 5 % 3;
        t.u[k] = f[o], t.v[k] = f[o + 1];
        t.vertexIndex[k] = findVertexAt(mesh, place(o + 2), place(o + 3), place(o + 4));
        if (t.vertexIndex[k] < 0) {
            t.vertexIndex[k] = static_cast<int32_t>(mesh.vertices.size());
            addVertex(mesh, place(o + 2), place(o + 3), place(o + 4), 1);
        }
    }
}

void expectSameMesh(const Mesh& a, const Mesh& b)
{
    const auto flat = [](const Mesh& m) {
        std::vector<uint32_t> out;
        for (const Vertex& v : m.vertices) out.insert(out.end(), {bitsOf(v.x), bitsOf(v.y), bitsOf(v.z), uint32_t(v.selected), uint32_t(v.marked)});
        out.push_back(~0u);
        for (const Triangle& t : m.triangles)
            for (int k = 0; k < 3; ++k) out.insert(out.end(), {uint32_t(t.vertexIndex[k]), bitsOf(t.u[k]), bitsOf(t.v[k]), uint32_t(t.selected)});
        return out;
    };
    EXPECT_EQ(flat(a), flat(b));
}

auto places(const Mesh& m) { std::vector<Place> p; for (const Vertex& v : m.vertices) p.push_back({v.x, v.y, v.z}); return p; }

struct TempDir {
    fs::path path = [] {
        std::string pattern = (fs::temp_directory_path() / "pq_files_test_XXXXXX").string();
        return fs::path(::mkdtemp(pattern.data()));
    }();
    ~TempDir() { std::error_code ignored; fs::remove_all(path, ignored); }
    std::string operator/(std::string_view name) const { return (path / name).string(); }
    size_t entryCount() const { return static_cast<size_t>(std::distance(fs::directory_iterator(path), {})); }
};

std::string fileText(const std::string& path)
{
    const auto b = readFileBytes(path);
    return b ? std::string(reinterpret_cast<const char*>(b->data()), b->size()) : "<unreadable>";
}

void writeText(const std::string& path, std::string_view text) { ASSERT_EQ(writeFileReplacing(path, asBytes(text)), ""); }
std::string dataFile(std::string_view name) { return std::string(PQ_TEST_DATA_DIR) + "/" + std::string(name); }

// A file of a terabyte that takes no disk space: larger than any memory.
std::string hugeFile(const std::string& path) { std::ofstream(path).put('x'); fs::resize_file(path, 1ull << 40); return path; }

TEST(NativeFile, WritesSixtyBytesPerFinishedTriangleInCornerOrder)
{
    Mesh mesh;
    EXPECT_TRUE(writeMeshBytes(mesh).empty());
    for (const Place p : {Place{1.5f, 2, -3}, Place{4, 5, 6}, Place{-7.25f, 8, 9}}) addVertex(mesh, p[0], p[1], p[2]);
    addTriangle(mesh, 2, 0, 1, {0.25f, 0.5f, 0.75f}, {1.0f, -1.0f, 2.0f});
    const auto one = floatsToBytes({0.25f, 1, -7.25f, 8, 9, 0.5f, -1, 1.5f, 2, -3, 0.75f, 2, 4, 5, 6});
    EXPECT_EQ(writeMeshBytes(mesh), one);
    EXPECT_EQ(std::vector(one.begin() + 8, one.begin() + 12),
              (std::vector{std::byte{0}, std::byte{0}, std::byte{0xE8}, std::byte{0xC0}}));  // -7.25f
    addTriangle(mesh, 0, 1, 0);
    mesh.pendingCorner = 2;  // under construction: not part of the file yet
    EXPECT_EQ(writeMeshBytes(mesh), one);
    mesh.pendingCorner = 0;
    EXPECT_EQ(writeMeshBytes(mesh).size(), 120u);
    Mesh faces;  // faces without vertices to stand on have no positions to write
    importAscText(faces, "Face 0: A:0 B:1 C:2\n", 1);
    EXPECT_EQ(faces.triangles.size(), 1u);
    EXPECT_TRUE(writeMeshBytes(faces).empty());
}

TEST(NativeFile, ReadAgreesWithTheLinearSearchOnRandomTruncatedAndJunkFiles)
{
    // Few distinct values so positions repeat often; signed zeros and NaNs mixed in.
    const float values[] = {0.0f, -0.0f, 1.0f, -1.0f, 0.5f, std::numeric_limits<float>::quiet_NaN(), inf};
    std::mt19937 random(12345);
    std::uniform_int_distribution<size_t> pick(0, std::size(values) - 1);
    for (int round = 0; round < 24; ++round) {
        SCOPED_TRACE(round);
        Mesh fast;
        for (int i = 0; i < round; ++i) addVertex(fast, values[pick(random)], values[pick(random)], values[pick(random)], i % 2);
        Mesh reference = fast;
        std::vector<std::byte> bytes;
        if (round < 20) {
            std::vector<float> floats(static_cast<size_t>(15 * round));
            for (float& f : floats) f = values[pick(random)];
            bytes = floatsToBytes(floats);
            bytes.resize(bytes.size() - std::min(bytes.size(), static_cast<size_t>(round * 3)));  // short last records
        } else {
            bytes.resize(60 * 300 + static_cast<size_t>(round));  // junk read as floats
            for (std::byte& b : bytes) b = static_cast<std::byte>(random());
        }
        const int32_t factor = round % 3 == 0 ? 1 : round % 3 == 1 ? 2 : -3;
        readMeshBytes(fast, bytes, factor);
        readWithFindVertexAt(reference, bytes, factor);
        EXPECT_EQ(fast.triangles.size(), (bytes.size() + 59) / 60);
        expectSameMesh(fast, reference);
        Mesh shared = fast, roundTrip;  // sharing in place is the file's round trip
        shareCornerPositions(shared);
        readMeshBytes(roundTrip, writeMeshBytes(fast), 1);
        expectSameMesh(shared, roundTrip);
    }
    Mesh none;  // factor 0 reads nothing
    readMeshBytes(none, floatsToBytes(std::vector<float>(15, 1)), 0);
    expectSameMesh(none, {});
}

TEST(NativeFile, FilesAreReadInPiecesAndSavedWhole)
{
    // Several of the reader's pieces, positions repeating across them, a short last record.
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
    Mesh mesh;
    addVertex(mesh, 1, 2, 3, 1), addTriangle(mesh, 0, 0, 0, {0.5f, 0.5f, 0.5f});
    ASSERT_EQ(saveMeshFile(mesh, path), "");  // replaces the large file
    Mesh back;
    ASSERT_TRUE(loadMeshFile(back, path));
    expectSameMesh(back, mesh);
    EXPECT_FALSE(loadMeshFile(back, dir / "missing.pq"));
    EXPECT_FALSE(loadMeshFile(back, dir / ""));  // a folder is not a mesh file
    EXPECT_FALSE(mergeMeshFile(back, "", 2));
    expectSameMesh(back, mesh);
    EXPECT_EQ(saveMeshFile(mesh, dir / "no/such/folder/m.pq"), "No such file or directory");
    fs::create_directory(dir / "occupied");
    EXPECT_EQ(saveMeshFile(mesh, dir / "occupied"), "Is a directory");
    EXPECT_EQ(dir.entryCount(), 2u);  // no temporary file left behind
}

mode_t typeOf(const std::string& path) { struct stat i {}; return ::lstat(path.c_str(), &i) == 0 ? i.st_mode & S_IFMT : 0; }

// True when `check` holds in a forked child, which must not die of a signal.
template <class Check> bool holdsInChild(Check check)
{
    const pid_t child = ::fork();
    if (child == 0) ::_exit(check() ? 0 : 1);
    int status = 1;
    return ::waitpid(child, &status, 0) == child && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

TEST(SaveTarget, LinksAreFollowedReplacementKeepsModeAndOwnerAndRefusesWhatTheUserMayNotWrite)
{
    TempDir dir;
    fs::create_directory(dir / "sub");
    writeText(dir / "real.pq", "old");
    fs::create_symlink("../real.pq", dir / "sub/link.pq");  // relative to its folder
    fs::create_symlink(dir / "sub/link.pq", dir / "chain.pq");
    ASSERT_EQ(writeFileReplacing(dir / "chain.pq", asBytes("new")), "");
    EXPECT_EQ(fileText(dir / "real.pq"), "new");
    fs::create_symlink("made.pq", dir / "sub/dangling.pq");  // makes its target, as cp would
    ASSERT_EQ(writeFileReplacing(dir / "sub/dangling.pq", asBytes("made")), "");
    EXPECT_EQ(fileText(dir / "sub/made.pq"), "made");
    fs::create_symlink(dir / "loop2.pq", dir / "loop1.pq");
    fs::create_symlink(dir / "loop1.pq", dir / "loop2.pq");
    EXPECT_EQ(writeFileReplacing(dir / "loop1.pq", asBytes("x")), "Too many levels of symbolic links");
    for (const char* link : {"chain.pq", "sub/link.pq", "sub/dangling.pq", "loop1.pq"}) EXPECT_EQ(typeOf(dir / link), S_IFLNK) << link;
    // No temporary file left: sub, real.pq, chain.pq and the loop; link, dangling and made.
    EXPECT_EQ(dir.entryCount(), 5u);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir / "sub"), {}), 3);

    const std::string path = dir / "shared.pq";
    writeText(path, "old");
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    ASSERT_EQ(::chown(path.c_str(), 65534, 65534), ::geteuid() == 0 ? 0 : -1);
    ASSERT_EQ(writeFileReplacing(path, asBytes("new")), "");
    struct stat info {};
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(std::pair(info.st_uid, info.st_gid), ::geteuid() == 0 ? std::pair(65534u, 65534u) : std::pair(::getuid(), ::getgid()));
    // Read-only is refused like shell redirection in a writable folder (as an unprivileged child).
    ASSERT_EQ(::chmod(path.c_str(), 0444), 0);
    ASSERT_EQ(::chmod(dir.path.c_str(), 0777), 0);
    EXPECT_TRUE(holdsInChild([&] { return (::geteuid() != 0 || (::setgid(65534) == 0 && ::setuid(65534) == 0)) &&
                                          writeFileReplacing(path, asBytes("lost")) == "Permission denied"; }));
    // So is a write past the file size limit; the old file stays.
    EXPECT_TRUE(holdsInChild([&] { const rlimit small{10, 10}; return std::signal(SIGXFSZ, SIG_IGN) != SIG_ERR &&
                                          ::setrlimit(RLIMIT_FSIZE, &small) == 0 && ::chmod(path.c_str(), 0644) == 0 &&
                                          writeFileReplacing(path, asBytes(std::string(100, 'x'))) == "File too large"; }));
    EXPECT_EQ(fileText(path), "new");
    // Names up to the limit; the temporary name is cut without splitting a UTF-8 sequence.
    std::string accented = "a";
    while (accented.size() < 255) accented += "\xc3\xa9";
    ASSERT_EQ(writeFileReplacing(dir / accented, asBytes("again")), "");
    EXPECT_EQ(writeFileReplacing(dir / accented, asBytes("again")) + fileText(dir / accented), "again");
    EXPECT_EQ(writeFileReplacing(dir / std::string(256, 'n'), asBytes("x")), "File name too long");
    EXPECT_EQ(dir.entryCount(), 7u);
}

TEST(SaveTarget, SpecialFilesAreWrittenInPlaceOrRefused)
{
    TempDir dir;
    const std::string fifo = dir / "fifo";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(writeFileReplacing(fifo, asBytes("lost")), "no program reads the FIFO");
    const int reader = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
    fs::create_symlink(fifo, dir / "link");
    EXPECT_EQ(writeFileReplacing(dir / "link", asBytes("through")), "");
    char received[16] = {};
    EXPECT_EQ(::read(reader, received, sizeof received), 7);
    EXPECT_EQ(std::string(received), "through");
    ::close(reader);
    // A reader that leaves while the bytes are written is a message, not a SIGPIPE that ends the program.
    EXPECT_TRUE(holdsInChild([&] {
        const int leaving = ::open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
        std::thread leaver([leaving] {
            pollfd ready{leaving, POLLIN, 0};
            char first[16];
            const bool some = ::poll(&ready, 1, -1) == 1 && ::read(leaving, first, sizeof first) > 0;
            ::close(leaving);
            return some;
        });
        const bool said = writeFileReplacing(fifo, asBytes(std::string(1 << 20, 'x'))) == "Broken pipe";
        leaver.join();
        return said;
    }));
    if (::mknod((dir / "null").c_str(), S_IFCHR | 0666, ::makedev(1, 3)) != 0) GTEST_SKIP() << "no device nodes here";
    ASSERT_EQ(::mknod((dir / "full").c_str(), S_IFCHR | 0666, ::makedev(1, 7)), 0);
    ASSERT_EQ(::mknod((dir / "block").c_str(), S_IFBLK | 0600, ::makedev(7, 0)), 0);
    EXPECT_EQ(writeFileReplacing(dir / "null", asBytes("discarded")), "");
    EXPECT_EQ(writeFileReplacing(dir / "full", asBytes("too much")), "No space left on device");
    EXPECT_EQ(writeFileReplacing(dir / "block", asBytes("x")), "a block device is never written");
    const std::pair<const char*, mode_t> kept[] = {{"fifo", S_IFIFO}, {"null", S_IFCHR}, {"block", S_IFBLK}};
    for (const auto& [name, type] : kept) EXPECT_EQ(typeOf(dir / name), type) << name;
    EXPECT_EQ(dir.entryCount(), 5u);
}

// Files written together: when the last cannot take its name, the others are again what they were.
TEST(SaveTarget, FilesWrittenTogetherTakeTheirNamesAllOrNone)
{
    TempDir dir;
    writeText(dir / "kept.mtl", "old");
    ASSERT_EQ(::mkfifo((dir / "unread").c_str(), 0600), 0);
    const FileToWrite files[] = {{dir / "kept.mtl", asBytes("new")}, {dir / "made.bin", asBytes("made")},
                                 {dir / "unread", asBytes("main")}};
    size_t failed = 0;
    EXPECT_EQ(replaceFiles(files, failed), writeNoFifoReader);
    EXPECT_EQ(failed, 2u);
    EXPECT_EQ(fileText(dir / "kept.mtl"), "old");
    EXPECT_EQ(dir.entryCount(), 2u) << "made.bin and the old file's second name are gone";
    fs::remove(dir / "unread");
    EXPECT_EQ(replaceFiles(files, failed), 0);
    EXPECT_EQ(fileText(dir / "kept.mtl") + fileText(dir / "made.bin") + fileText(dir / "unread"), "newmademain");
}

namespace {

// In this process from now on, open() with O_TMPFILE fails as on a filesystem without unnamed files.
bool refuseUnnamedFiles()
{
    sock_filter code[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_openat, 0, 3),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, args[2])),
        BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, O_TMPFILE & ~O_DIRECTORY, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | EOPNOTSUPP),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    const sock_fprog program{static_cast<unsigned short>(std::size(code)), code};
    return ::prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 && ::prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &program) == 0;
}

// True while the process holds an unnamed file of the folder open.
bool holdsUnnamedFile(pid_t process, const fs::path& folder)
{
    std::error_code error;
    for (const auto& fd : fs::directory_iterator("/proc/" + std::to_string(process) + "/fd", error)) {
        const std::string target = fs::read_symlink(fd.path(), error).string();
        if (target.starts_with(folder.string() + "/#") && target.ends_with(" (deleted)")) return true;
    }
    return false;
}

}  // namespace

// Killed in the middle of a large write, the writer leaves no name behind and the old file whole: the
// unnamed file goes with the process, even on SIGKILL; a named one is removed on SIGTERM, SIGINT and SIGHUP.
TEST(SaveTarget, AWriteKilledHalfwayLeavesNoTemporaryFile)
{
    TempDir dir;
    const std::string path = dir / "out.pq", big(64 << 20, 'x');
    writeText(path, "old");
    const std::pair<bool, int> kills[] = {{false, SIGKILL}, {true, SIGTERM}, {true, SIGINT}, {true, SIGHUP}};
    for (const auto& [named, signal] : kills) {
        int status = 0;
        for (int attempt = 0; attempt < 3 && !WIFSIGNALED(status); ++attempt) {  // again if the write was too quick
            const pid_t child = ::fork();
            if (child == 0 && named && !refuseUnnamedFiles()) ::_exit(2);
            if (child == 0) ::_exit(writeFileReplacing(path, asBytes(big)).empty() ? 0 : 1);
            pid_t ended = 0;
            while ((ended = ::waitpid(child, &status, WNOHANG)) == 0 &&
                   !(named ? dir.entryCount() == 2 : holdsUnnamedFile(child, dir.path))) {
            }
            if (ended == 0 && ::kill(child, signal) == 0) ::waitpid(child, &status, 0);
            if (!WIFSIGNALED(status)) writeText(path, "old");
        }
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << signal;
        EXPECT_EQ(fileText(path), "old");
        EXPECT_EQ(dir.entryCount(), 1u) << signal;
    }
}

TEST(AscImport, ObjectsNeverShareVerticesKeywordsFieldsLineEndsAndFactor)
{
    const char* const text =
        "Named object: \"a\"\r\nTri-mesh, Vertices: 2     Faces: 1\r\nVertex list:\r\n"
        "Vertex 0:  X: 1     Y: 1     Z: -1\r\nVertex 1:  X: 2     Y: 2     Z: 2\r\n"
        "Face list:\r\nFace 0:    A:0 B:1 C:0 AB:1 BC:1 CA:0\r\nMaterial:\"r255g255b255a0\"\r\n"
        "Named object: \"b\"\nVertex list:\nVertex 0: X:3 Y:3 Z:3\nFace list:\nFace 0: A:0 B:0 C:0\n";
    Mesh mesh;
    for (int i = 0; i < 2; ++i) addVertex(mesh, 1, 1, -1);  // exactly on Vertex 0
    addTriangle(mesh, 1, 0, 1);
    Mesh expected = mesh;
    importAscText(mesh, text, 1);
    for (const float x : {0.0f, 1.0f, 2.0f, 0.0f, 3.0f}) addVertex(expected, x, x, x == 1 ? -1.0f : x, 1);
    for (const Corners c : {Corners{3, 3, 3}, Corners{3, 4, 3}, Corners{6, 6, 6}, Corners{6, 6, 6}}) addTriangle(expected, c[0], c[1], c[2]);
    expectSameMesh(mesh, expected);
    Mesh none;
    importAscText(none, text, 0);
    EXPECT_TRUE(none.vertices.empty() && none.triangles.empty());

    // No vertex lines: blank-led, "Vertices:", "vErTeX:"; "vErTeX lIsT:" lacks fields; bare "fAcE" is start + 1.
    mesh = {};
    importAscText(mesh, "VERTEX 0: X:1 Y:2 Z:3\n vertex 0: X:1 Y:2 Z:3\nVertices: 8\nvErTeX:\nvErTeX lIsT:\nfAcE\n", 1);
    importAscText(mesh, "Vertex 0:  X: 25.0     Y: -5.0     Z: 1.0", 10);
    importAscText(mesh, "vertex 0: x: 6 y: 8 z: -2", -2);
    EXPECT_EQ(places(mesh), (std::vector<Place>{{1, 2, 3}, {0, 0, 0}, {2.5f, -0.5f, 1.0f / 10.0f}, {-3.0f, -4.0f, 1.0f}}));
    ASSERT_EQ(mesh.triangles.size(), 1u);
    EXPECT_EQ(mesh.triangles[0].vertexIndex, (Corners{1, 1, 1}));
    // Line ends at every place within eight-byte steps of the text.
    for (size_t zeros = 0; zeros < 9; ++zeros)
        for (const std::string& end : lineEnds) {
            Mesh lines;
            importAscText(lines, "vertex 0: x:1 y:2 z:3." + std::string(zeros, '0') + end + "face 0: a:0 b:0 c:0" + end + "vertex 1: x:4 y:5 z:6" + end, 1);
            EXPECT_EQ(places(lines), (std::vector<Place>{{1, 2, 3}, {4, 5, 6}}));
            EXPECT_EQ(lines.triangles.size(), 1u);
        }
}

TEST(AscImport, HostileEmptyJunkAndHugeInputs)
{
    Mesh mesh;
    importAscText(mesh, "", 1);
    importAscText(mesh, std::string(1000, '\0'), 1);
    EXPECT_FALSE(importAsc(mesh, dataFile("asc/NO_SUCH.ASC"), 1) || importAsc(mesh, "", 1));
    EXPECT_TRUE(mesh.vertices.empty() && mesh.triangles.empty());
    importAscText(mesh,
                  "vertex 0: x:1e39 y:-1e39 z:nan\nvertex 1: x:inf y:1e-50 z:0x10\n"
                  "face 0: a:99999999999 b:-5 c:-99999999999\nnamed object\nface 0: a:2147483647 b:2147483646 c:0\n", 1);
    EXPECT_EQ(places(mesh), (std::vector<Place>{{inf, -inf, 0}, {0, 0, 0}}));  // "nan" is no number
    constexpr int32_t most = std::numeric_limits<int32_t>::max();
    ASSERT_EQ(mesh.triangles.size(), 2u);  // saturated, not wrapped
    EXPECT_EQ(mesh.triangles[0].vertexIndex, (Corners{most, -4, std::numeric_limits<int32_t>::min() + 1}));
    EXPECT_EQ(mesh.triangles[1].vertexIndex[0], most);
    EXPECT_EQ(writeMeshBytes(mesh).size(), 120u);
    std::mt19937 random(99);
    std::string junk(200000, '\0');
    for (char& c : junk) c = static_cast<char>(random());
    importAscText(mesh, junk, 3);
    EXPECT_EQ(writeMeshBytes(mesh).size(), 60 * mesh.triangles.size());
    Mesh big;  // a 16 MB number and a line of a million colons
    importAscText(big, "vertex 0: x:" + std::string(16u << 20, '7') + " y:1 z:2\nface 0: a:0 b:" + std::string(1u << 20, ':'), 1);
    EXPECT_EQ(places(big), (std::vector<Place>{{inf, 1, 2}}));
    ASSERT_EQ(big.triangles.size(), 1u);
    EXPECT_EQ(big.triangles[0].vertexIndex, (Corners{1, 1, 1}));
    // Read in two halves, an object started in each; from a file, in pieces too.
    std::string halves;
    for (int i = 0; i < 60'000; ++i) halves += (i == 10 ? "named\r\n" : "") + ("vertex 0: x:" + std::to_string(i) + " y:0 z:0\r\n");
    halves += "face 0: a:1 b:2 c:3\rnamed\nvertex 0: x:-1 y:0 z:0\nface 0: a:0 b:0 c:0";
    Mesh text, file;
    importAscText(text, halves, 1);
    ASSERT_EQ(text.vertices.size(), 60'001u);
    EXPECT_EQ(std::pair(text.vertices[59'999].x, text.vertices[60'000].x), std::pair(59'999.0f, -1.0f));
    EXPECT_EQ(text.triangles.size(), 2u);
    EXPECT_TRUE(std::all_of(text.vertices.begin(), text.vertices.end(), [](const Vertex& v) { return v.selected == 1 && v.marked == 0; }));
    EXPECT_EQ(std::pair(text.triangles[0].vertexIndex, text.triangles[1].vertexIndex), std::pair(Corners{12, 13, 14}, Corners{60'001, 60'001, 60'001}));
    Mesh merged;  // after a vertex of its own, every corner one further on
    addVertex(merged, 5, 5, 5);
    importAscText(merged, halves, 1);
    EXPECT_EQ(std::pair(merged.triangles[0].vertexIndex, merged.triangles[1].vertexIndex), std::pair(Corners{13, 14, 15}, Corners{60'002, 60'002, 60'002}));
    TempDir dir;
    writeText(dir / "halves.asc", halves);
    ASSERT_TRUE(importAsc(file, dir / "halves.asc", 1));
    expectSameMesh(file, text);
    // Running out of memory on the other core is an exception here once both ended, not the program's end.
    bool firstRan = false;
    EXPECT_THROW(runSideBySide([&] { firstRan = true; }, [] { throw std::bad_alloc(); }), std::bad_alloc);
    EXPECT_TRUE(firstRan);
}

// Memory is asked for first, in all under 6 times the text plus the finished mesh; a refusal changes nothing.
TEST(AscImport, MemoryIsAskedForFirstAndBoundedByTheText)
{
    std::string text;
    for (int i = 0; i < 3000; ++i)
        text += "named\nnamed\nvertex 0: x:" + std::to_string(i) + " y:0 z:0\nface 0: a:0 b:0 c:0\n";
    for (int i = 0; i < 200'000; ++i) text += "face\n";
    Mesh mesh;
    addVertex(mesh, 9, 9, 9);
    const Mesh before = mesh;
    std::vector<uint64_t> asked;
    importAscText(mesh, text, 1, [&asked](uint64_t bytes) { return asked.push_back(bytes), true; });
    ASSERT_EQ(mesh.triangles.size(), 203'000u);
    EXPECT_EQ(mesh.triangles[1500].vertexIndex, (Corners{1502, 1502, 1502}));  // object 1500 starts after 1 + 1500
    EXPECT_EQ(mesh.triangles.back().vertexIndex, (Corners{3001, 3001, 3001}));
    const uint64_t finished = 3001 * sizeof(Vertex) + 203'000 * sizeof(Triangle);
    EXPECT_EQ(asked.back(), finished);
    EXPECT_LE(std::accumulate(asked.begin(), asked.end(), uint64_t{0}), 6 * text.size() + finished);
    for (const uint64_t allowed : {uint64_t{0}, finished - 1}) {
        Mesh refused = before;
        const auto mayTake = [allowed](uint64_t bytes) { return bytes <= allowed; };
        EXPECT_THROW(importAscText(refused, text, 1, mayTake), std::bad_alloc);
        expectSameMesh(refused, before);
    }
    TempDir dir;
    writeText(dir / "short.asc", "face\n");
    EXPECT_THROW(importAsc(mesh, dir / "short.asc", 1, [](uint64_t bytes) { return bytes < 5; }), std::bad_alloc);
    EXPECT_TRUE(mayTakeMemory(1 << 19));
    EXPECT_FALSE(mayTakeMemory(uint64_t{1} << 62));
}

// The least of what meminfo, each memory cgroup level (v2, v1) and the limits beside use leave; junk sets no bound.
TEST(MemoryAvailable, TheLeastOfTheSystemTheCgroupsAndTheLimits)
{
    TempDir root;
    const auto put = [&root](const std::string& name, std::string_view text) {
        fs::create_directories(fs::path(root / name).parent_path());
        writeText(root / name, text);
    };
    constexpr uint64_t none = std::numeric_limits<uint64_t>::max(), kb = 1024, page = 4096;
    ASSERT_EQ(::sysconf(_SC_PAGESIZE), static_cast<long>(page));
    const auto available = [&root](uint64_t space = std::numeric_limits<uint64_t>::max(),
                                   uint64_t data = std::numeric_limits<uint64_t>::max()) {
        return memoryAvailable(root.path.string(), space, data);
    };
    const std::string meminfo = "MemTotal: 90000 kB\nMemAvailable:   40960 kB\nSwapFree: 1024 kB\n";
    put("proc/meminfo", meminfo);
    EXPECT_EQ(available(), 41984 * kb);
    put("proc/self/statm", "1000 20 10 5 0 300 0\n");
    EXPECT_EQ(available(1000 * page + 2048 * kb), 2048 * kb);
    EXPECT_EQ(available(none, 300 * page + 512 * kb), 512 * kb);
    EXPECT_EQ(available(999 * page), 0u);
    put("proc/self/mountinfo", "30 23 0:27 / /sys/fs/cgroup rw - cgroup2 cgroup2 rw\n"
                               "35 31 0:32 /outer /v1 rw - cgroup cgroup rw,memory\n"
                               "36 31 0:33 / /cpu rw - cgroup cgroup rw,cpu\n");
    put("proc/self/cgroup", "4:cpuset,memory:/outer/app\n1:cpu:/\n0::/user/editor\n");
    put("sys/fs/cgroup/user/memory.max", "max\n");
    put("sys/fs/cgroup/user/editor/memory.max", "3145728\n");
    put("sys/fs/cgroup/user/editor/memory.current", "2097152\n");
    put("sys/fs/cgroup/user/editor/memory.stat", "anon 4096\ninactive_file 524288\nactive_file 1000\n");
    EXPECT_EQ(available(), 1536 * kb);
    put("sys/fs/cgroup/memory.max", "2097152\n");  // the root binds more tightly
    put("sys/fs/cgroup/memory.current", "1572864\n");
    EXPECT_EQ(available(), 512 * kb);
    put("v1/app/memory.limit_in_bytes", "262144\n");
    EXPECT_EQ(available(), 256 * kb);
    put("v1/app/memory.usage_in_bytes", "300000\n");
    EXPECT_EQ(available(), 0u);
    put("v1/app/memory.stat", "total_inactive_file 50000\n");
    EXPECT_EQ(available(), 262144u - 250000u);
    put("v1/app/memory.limit_in_bytes", "9223372036854771712\n");  // v1's "no limit"
    EXPECT_EQ(available(), 512 * kb);
    for (const std::string_view junk : {"", "\xff\x01junk", "-5\n", "99999999999999999999999\n"}) {
        put("sys/fs/cgroup/memory.max", junk);
        put("proc/self/statm", junk);
        put("proc/self/cgroup", junk);  // mounts without a line of this process
        put("proc/meminfo", meminfo);
        EXPECT_EQ(available(), 41984 * kb) << junk;
        put("proc/meminfo", junk);
        EXPECT_EQ(available(page), page) << junk;
    }
}

TEST(UserState, EscapedRoundTripJunkFoldersAndValuesOtherEditorsWrote)
{
    UserState written;
    written.values = {{"texture:/m/a\tb.pq", "/t/x\ny\\z\r.png"}, {"recent.1", ""}, {"k", "v\\"}};
    const std::string text = writeUserStateText(written);
    EXPECT_EQ(std::count(text.begin(), text.end(), '\n'), 3);
    EXPECT_EQ(readUserStateText(text).values, written.values);
    EXPECT_EQ(readUserStateText("no tab\n\tno key\nk\tv\r\nk\tw").values, (std::map<std::string, std::string>{{"k", "w"}}));
    EXPECT_EQ(readUserStateText(std::string("a\t\0b\\", 5)).values.at("a"), std::string("\0b\\", 3));

    TempDir dir;
    ::setenv("XDG_STATE_HOME", (dir / "st").c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", "relative", 1);
    ::setenv("HOME", (dir / "home").c_str(), 1);
    EXPECT_EQ(userStateFolder(), dir / "st/polyquill/");
    EXPECT_EQ(userConfigFolder(), dir / "home/.config/polyquill/");
    AppState state;
    rememberUserValue(state, "a", "1");
    EXPECT_EQ(readUserState(userStatePath()).values.at("a"), "1");
    EXPECT_EQ(fs::status(dir / "st/polyquill").permissions(), fs::perms::owner_all);
    std::ofstream(dir / "plain") << "x";
    EXPECT_FALSE(makeFolders(dir / "plain")) << "a file where the folder goes";
    UserState other;
    other.values = {{"b", "2"}, {"a", "old"}};
    EXPECT_EQ(writeUserState(other, userStatePath()), "");
    rememberUserValue(state, "c", "3");
    loadUserState(state);
    EXPECT_EQ(state.userState.values, (std::map<std::string, std::string>{{"a", "old"}, {"b", "2"}, {"c", "3"}}));
    EXPECT_EQ(userValue(state, "b"), "2");
    EXPECT_EQ(userValue(state, "none"), "");

    std::ofstream(userStatePath()) << std::string(4 * 1024 * 1024 + 1, '\t');
    loadUserState(state);
    EXPECT_TRUE(state.userState.values.empty()) << "a huge file is ignored";
    ::unsetenv("XDG_STATE_HOME");
    ::unsetenv("HOME");
    EXPECT_EQ(userStatePath(), "");
    rememberUserValue(state, "d", "4");
    EXPECT_EQ(userValue(state, "d"), "4") << "kept for this run without a folder";
}

TEST(TexturePairing, TheFirstSameStemPictureBesideTheMeshThatIsAFile)
{
    TempDir dir;
    fs::create_directories(dir / "box.jpg");
    writeText(dir / "box.bmp", "");
    EXPECT_EQ(sameStemTexture(dir / "box.pq"), dir / "box.bmp") << "a folder is no picture";
    writeText(dir / "box.jpeg", "");
    EXPECT_EQ(sameStemTexture(dir / "box.pq"), dir / "box.jpeg");
    writeText(dir / "box.png", "");
    EXPECT_EQ(sameStemTexture(dir / "box.pq"), dir / "box.png");
    EXPECT_EQ(sameStemTexture(dir / "box"), dir / "box.png");
    EXPECT_EQ(sameStemTexture(dir / "crate.pq"), "");
    fs::create_directories(dir / "v.1");
    writeText(dir / "v.1/box.png", "");
    EXPECT_EQ(sameStemTexture(dir / "v.1/box"), dir / "v.1/box.png") << "a dot in a folder name is no extension";
}

TEST(Preferences, WrittenAsPrintfWouldInAnyLocaleReadBackAndFoundBesideTheProgram)
{
    EXPECT_EQ(writePreferencesText({-7, 0.25f, 1, "/home/me/ship 2.pq"}), "-7\r\n0.250000\r\n1\r\n/home/me/ship 2.pq");
    std::setlocale(LC_ALL, "C");
    for (float f : {0.1f, 1.0f / 3.0f, 123456.789f, -2.5e-7f, 0.0000005f, 3.4e38f, -0.0f}) {
        char expected[400];
        std::snprintf(expected, sizeof expected, "%f", static_cast<double>(f));
        EXPECT_EQ(writePreferencesText({0, f, 0, {}}), "0\r\n" + std::string(expected) + "\r\n0\r\n") << f;
    }
    const auto read = [](std::string_view text) {
        const Preferences p = readPreferencesText(text);
        return std::tuple(p.language, p.snapGrid, p.oldGlWarned, p.dialogStartText);
    };
    for (const std::string& end : lineEnds)
        EXPECT_EQ(read("1" + end + "0.25" + end + "1" + end + "C:\\m\\ship.pq"), std::tuple(1, 0.25f, 1, "C:\\m\\ship.pq"));
    EXPECT_EQ(read("0\n0\n0\nstart\nmore"), std::tuple(0, 0.0f, 0, "start"));
    EXPECT_EQ(read("2"), std::tuple(2, 0.0f, 0, ""));
    EXPECT_EQ(read(""), std::tuple(0, 0.0f, 0, ""));
    EXPECT_EQ(read("abc\r\nxyz\r\n\xff\xfe\r\n\x01\x02"), std::tuple(0, 0.0f, 0, "\x01\x02"));
    EXPECT_EQ(read("99999999999\r\n1e999\r\n-99999999999\r\n"),
              std::tuple(std::numeric_limits<int32_t>::max(), inf, std::numeric_limits<int32_t>::min(), ""));
    EXPECT_EQ(std::get<3>(read("1\n2\n3\n" + std::string(16u << 20, 'x'))).size(), 16u << 20);

    TempDir dir;
    ASSERT_TRUE(writePreferences({1, 0.5f, 0, "pq"}, dir / "pref.txt"));
    EXPECT_EQ(fileText(dir / "pref.txt"), "1\r\n0.500000\r\n0\r\npq");
    Preferences back{2, 0, 0, {}};
    EXPECT_FALSE(readPreferences(back, dir / "missing.txt"));
    EXPECT_EQ(back.language, 2);
    ASSERT_TRUE(readPreferences(back, dir / "pref.txt"));
    EXPECT_EQ(writePreferencesText(back), "1\r\n0.500000\r\n0\r\npq");
    EXPECT_FALSE(writePreferences(back, dir / "no/folder/pref.txt"));
    // Start-up reads the program folder's pref.txt, else the working directory's.
    AppState state, fallback;
    state.programDirectory = dir / "";
    state.prefs.oldGlWarned = 1;
    writePreferences(state);
    state.prefs = {};
    fs::create_directories(dir / "start/program");
    writeText(dir / "start/pref.txt", "2");
    fallback.programDirectory = dir / "start/program/";
    const fs::path previous = fs::current_path();
    fs::current_path(dir / "start");
    readPreferences(state);
    readPreferences(fallback);
    fs::current_path(previous);
    EXPECT_EQ(fileText(dir / "pref.txt"), "0\r\n0.000000\r\n1\r\n");
    EXPECT_EQ(std::pair(state.prefs.oldGlWarned, state.prefs.language), std::pair(1, 0));
    EXPECT_EQ(fallback.prefs.language, 2);

    // Where the user may not write the program's folder, pref.txt is the user's configuration folder's.
    fs::create_directories(dir / "config");
    ASSERT_EQ(::chmod((dir / "config").c_str(), 0777) + ::chmod(dir.path.c_str(), 0555), 0);
    EXPECT_TRUE(holdsInChild([&] {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) return false;
        ::setenv("XDG_CONFIG_HOME", (dir / "config").c_str(), 1);
        AppState user, again;
        user.programDirectory = again.programDirectory = dir / "";
        readPreferences(user);  // the program's own while the user has none
        user.prefs.language = 2;
        writePreferences(user);
        readPreferences(again);
        return user.prefs.oldGlWarned == 1 && again.prefs.language == 2;
    }));
    ASSERT_EQ(::chmod(dir.path.c_str(), 0700), 0);
    EXPECT_EQ(fileText(dir / "config/polyquill/pref.txt"), "2\r\n0.000000\r\n1\r\n");
    EXPECT_EQ(fileText(dir / "pref.txt"), "0\r\n0.000000\r\n1\r\n");
}

struct CommandFixture : ::testing::Test {
    TempDir dir;
    FakeWindowLayer fake;
    AppState state;

    CommandFixture() { fake.attach(state), state.prefs.dialogStartText = "/start/here.pq"; }

    std::string meshFile(std::string_view name)
    {
        Mesh mesh;
        for (const Place p : {Place{2, 4, 6}, Place{8, 10, 12}, Place{-2, -4, -6}}) addVertex(mesh, p[0], p[1], p[2]);
        addTriangle(mesh, 0, 1, 2, {0.5f, 0.5f, 0.5f}, {0.25f, 0.25f, 0.25f});
        addTriangle(mesh, 2, 1, 0);
        EXPECT_EQ(saveMeshFile(mesh, dir / name), "");
        return dir / name;
    }

    // A mesh opened from /old/name.pq with a half-built triangle on vertex 1.
    void giveWork()
    {
        addVertex(state.mesh, 1, 1, 1);
        addVertex(state.mesh, 1, 2, 3, 1);  // exactly where a corner of meshFile lands at factor 2
        addTriangle(state.mesh, 0, 0, 0);
        state.currentFileName = "/old/name.pq";
        resetDocumentHistory(state);
        addCorner(state.mesh, 1);
    }

    void expectMeshDialog(size_t index, bool save, std::string_view filter = "Polyquill|*.PQ")
    {
        ASSERT_LT(index, fake.fileDialogs.size());
        const auto& d = fake.fileDialogs[index];
        EXPECT_EQ(std::tie(d.title, d.startText, d.filter, d.filterIndex, d.save), std::make_tuple("", "/start/here.pq", filter, 1, save));
    }

    // Runs a command that must refuse, and checks it changed nothing and said `text`.
    template <typename Command>
    void expectRefused(Command command, const std::string& text)
    {
        const Mesh mesh = state.mesh;
        const std::string name = state.currentFileName;
        fake.messages.clear();
        command(state);
        expectSameMesh(state.mesh, mesh);
        EXPECT_EQ(std::pair(state.mesh.pendingCorner, state.currentFileName), std::pair(mesh.pendingCorner, name)) << text;
        ASSERT_EQ(fake.messages.size(), 1u) << text;
        EXPECT_EQ(fake.messages[0].text, text);
    }
};

}  // namespace

TEST_F(CommandFixture, OpenReplacesTheMeshOrRefusesWhatCannotBeRead)
{
    giveWork();
    ASSERT_EQ(::mkfifo((dir / "fifo.pq").c_str(), 0600), 0);
    fs::create_directory(dir / "folder.pq");
    const std::string huge = hugeFile(dir / "huge.pq");
    const std::tuple<std::string, int32_t, std::string> cases[] = {
        {dir / "missing.pq", 1, "cannot read " + dir / "missing.pq"},
        {dir / "fifo.pq", 0, "Die Datei " + dir / "fifo.pq" + " kann nicht gelesen werden"},
        {dir / "folder.pq", 2, "impossible de lire " + dir / "folder.pq"},
        {huge, 1, "not enough memory to read " + huge}, {huge, 2, "pas assez de mémoire pour lire " + huge}};
    for (const auto& [path, language, text] : cases) {
        state.prefs.language = language;
        fake.choiceAnswers.push_back(1);  // the half-built triangle may go
        fake.fileAnswers.push_back(path);
        expectRefused(files::cmdOpen, text);
    }
    fake.choiceAnswers.push_back(1);
    files::cmdOpen(state);  // cancelled
    fake.choiceAnswers.push_back(1);
    fake.fileAnswers.push_back(meshFile("two.pq"));
    files::cmdOpen(state);
    expectMeshDialog(0, false);
    EXPECT_EQ(fake.fileDialogs.size(), 7u);
    EXPECT_EQ(state.currentFileName, dir / "two.pq");
    Mesh expected;
    ASSERT_TRUE(loadMeshFile(expected, dir / "two.pq"));
    expectSameMesh(state.mesh, expected);
    EXPECT_EQ(state.mesh.pendingCorner, 0);
    EXPECT_TRUE(fake.prompts.empty());
}

TEST_F(CommandFixture, SaveAsksForANameOnceAddsTheExtensionAndSaysWhyItFailed)
{
    giveWork();  // vertex 1 stands only in the half-built triangle
    state.currentFileName.clear();
    EXPECT_FALSE(files::cmdSave(state));  // cancelled: nothing written
    fake.fileAnswers.insert(fake.fileAnswers.end(), {dir / "ship", dir / "ship"});
    EXPECT_FALSE(files::cmdSave(state)) << "Cancel: the lone vertex is kept unsaved";
    EXPECT_EQ(fake.choices[0].text,
              "1 Vertex gehört zu keinem Triangle und wird nicht gespeichert|Speichern|Abbrechen");
    fake.choiceAnswers.push_back(0);
    EXPECT_TRUE(files::cmdSave(state));
    expectMeshDialog(2, true);
    EXPECT_EQ(state.currentFileName, dir / "ship.pq");
    EXPECT_EQ(fs::file_size(dir / "ship.pq"), 60u);
    state.mesh.pendingCorner = 0;
    EXPECT_TRUE(files::cmdSave(state));  // the name is known now: no dialog, and no vertex left out
    EXPECT_EQ(std::pair(fs::file_size(dir / "ship.pq"), fake.choices.size()), std::pair(uintmax_t{120}, size_t{2}));
    fake.fileAnswers.push_back(dir / "boat");  // Save as adds the extension as Save does
    EXPECT_TRUE(files::cmdSaveAs(state));
    state.mesh.vertices[0].x = 9.0f;
    EXPECT_TRUE(files::cmdSave(state));  // to the same file: no "boat" beside "boat.pq" (counted below)
    EXPECT_FALSE(files::cmdSaveAs(state));  // cancelled: the name stays
    const std::string ship = fileText(dir / "ship.pq");
    fake.fileAnswers.push_back(dir / "ship");
    EXPECT_FALSE(files::cmdSaveAs(state)) << "ship.pq is there: not replaced without a yes";
    EXPECT_EQ(fake.choices.back().text, "ship.pq existiert bereits. Ersetzen?|Ersetzen|Abbrechen");
    EXPECT_EQ(fileText(dir / "ship.pq"), ship);
    EXPECT_EQ(state.currentFileName, dir / "boat.pq");
    state.currentFileName = dir / "ship.txt";  // an extension of its own is kept
    EXPECT_TRUE(files::cmdSave(state));
    EXPECT_EQ(dir.entryCount(), 3u);
    EXPECT_TRUE(fake.messages.empty());

    const std::pair<int32_t, std::string> failures[] = {
        {1, "The file could not be written:\n" + dir / "missing/ship.pq" + "\nNo such file or directory"},
        {2, "Impossible d'écrire le fichier :\n" + dir / "missing/ship.pq" + "\nLe dossier n'existe pas"}};
    for (const auto& [language, text] : failures) {
        state.prefs.language = language;
        state.currentFileName = dir / "missing/ship.pq";
        expectRefused([](AppState& s) { EXPECT_FALSE(files::cmdSave(s)); }, text);
    }
}

TEST_F(CommandFixture, MergesDivideByTheRoundedFactorAfterDroppingAHalfBuiltTriangle)
{
    giveWork();
    const std::string path = meshFile("two.pq"), asc = dataFile("asc/UUSALKU.ASC");
    const std::string pq = hugeFile(dir / "huge.pq"), hugeAsc = hugeFile(dir / "huge.asc");
    files::cmdMerge(state);  // dialogs cancelled: no prompt
    files::cmdMergeAsc(state);
    EXPECT_TRUE(fake.prompts.empty() && fake.messages.empty());
    fake.fileAnswers.push_back(dir / "missing.pq");  // unreadable: no prompt, but a word why
    expectRefused(files::cmdMerge, "Die Datei " + dir / "missing.pq" + " kann nicht gelesen werden");
    fake.fileAnswers.push_back(pq);
    expectRefused(files::cmdMerge, "Nicht genug Speicher, um " + pq + " zu lesen");
    fake.fileAnswers.push_back(hugeAsc);
    fake.promptAnswers.push_back("1");
    expectRefused(files::cmdMergeAsc, "Nicht genug Speicher, um " + hugeAsc + " zu lesen");
    for (const char* answer : {"", "0.4", "abc", "-0.5"}) {  // a cancelled prompt, or factors that round to 0
        fake.fileAnswers.insert(fake.fileAnswers.end(), {path, asc});
        fake.promptAnswers.insert(fake.promptAnswers.end(), {answer, answer});
        files::cmdMerge(state);
        files::cmdMergeAsc(state);
    }
    fake.fileAnswers.push_back(dataFile("asc/NO_SUCH.ASC"));
    fake.promptAnswers.push_back("1");
    EXPECT_EQ(fake.messages.size(), 1u);  // the huge file's only
    expectRefused(files::cmdMergeAsc, "Die Datei " + dataFile("asc/NO_SUCH.ASC") + " kann nicht gelesen werden");
    EXPECT_EQ(fake.prompts.size(), 10u);  // the prompt comes first, then a word why
    fake.messages.clear();
    EXPECT_EQ(std::pair(state.mesh.triangles.size(), state.mesh.pendingCorner), std::pair(size_t{2}, 1));

    for (const char* answer : {"2", "2.5", "3.5", " -2xyz", "1"}) {  // rounded: 2, 2, 4, -2, 1
        fake.fileAnswers.push_back(path);
        fake.promptAnswers.push_back(answer);
        files::cmdMerge(state);
    }
    fake.fileAnswers.push_back(asc);
    fake.promptAnswers.push_back("10");
    files::cmdMergeAsc(state);
    EXPECT_TRUE(fake.messages.empty());
    EXPECT_EQ(state.mesh.pendingCorner, 0);
    expectMeshDialog(0, false);
    expectMeshDialog(1, false, "ASC|*.ASC");
    const auto& p = fake.prompts[0];
    EXPECT_EQ(std::tie(p.title, p.message, p.defaultText),
              std::make_tuple("Größe/Size/Dimension", "Verkleinerungsfaktor/Scalefactor/Facteur de réduction", "5"));
    ASSERT_EQ(state.mesh.triangles.size(), 11u + 326u);
    // Corner 1 joined the existing vertex; triangle 12 is the ASC's Face 0: A:4 B:5 C:6.
    for (const auto& [t, corners] : {std::pair(1, Corners{1, 2, 3}), {3, {1, 2, 3}}, {5, {4, 5, 6}}, {7, {3, 7, 1}}, {12, {16, 17, 18}}})
        EXPECT_EQ(state.mesh.triangles[size_t(t)].vertexIndex, corners) << t;
    const float xs[] = {1, 1, 4, -1, 0.5f, 2, -0.5f, -4, 2, 8, -2, 0, 7.463437f / 10.0f};
    ASSERT_EQ(state.mesh.vertices.size(), 11u + 182u);
    for (size_t i = 0; i < std::size(xs); ++i) EXPECT_EQ(state.mesh.vertices[i].x, xs[i]) << i;
    EXPECT_EQ(state.mesh.triangles[9].u[0], 0.5f);
    EXPECT_EQ(state.currentFileName, "/old/name.pq");
}

// The command-line file gets Open's messages; an ASC or OBJ is imported, modified and unnamed, so Save asks.
TEST_F(CommandFixture, CommandLineFileIsReadAsItsKindAsks)
{
    ASSERT_EQ(::mkfifo((dir / "fifo.pq").c_str(), 0600), 0);
    fs::create_directory(dir / "folder.pq");
    for (const std::string& path : {dir / "missing.pq", dir / "fifo.pq", dir / "folder.pq"}) {
        fake.messages.clear();
        loadCommandLineFile(state, {path});
        ASSERT_EQ(fake.messages.size(), 1u);
        EXPECT_EQ(fake.messages[0].text, "Die Datei " + path + " kann nicht gelesen werden");
        EXPECT_EQ(state.currentFileName, "");
    }
    writeText(dir / "box.ASC", "Vertex list:\nVertex 0: X:10 Y:20 Z:30\nFace list:\nFace 0: A:0 B:0 C:0\n");
    const std::string obj = "v 0 0 0\nv 2 0 0\nv 0 2 0\nf 1 2 3\n";
    writeText(dir / "tri.obj", obj);
    fake.promptAnswers = {"10", "2"};
    resetDocumentHistory(state);
    loadCommandLineFile(state, {dir / "box.ASC"});
    ASSERT_EQ(state.mesh.vertices.size(), 2u);
    EXPECT_EQ(state.mesh.vertices[1].z, 3.0f);
    EXPECT_TRUE(isDocumentModified(state));
    state.mesh = Mesh{};
    state.currentFileName = dir / "old.pq";  // dropped onto a named document
    resetDocumentHistory(state);
    loadCommandLineFile(state, {dir / "tri.obj"});
    EXPECT_EQ(state.currentFileName, "");
    ASSERT_EQ(state.mesh.triangles.size(), 1u);
    EXPECT_EQ(state.mesh.vertices[1].x, 1.0f);
    EXPECT_TRUE(isDocumentModified(state));
    EXPECT_FALSE(files::cmdSave(state));  // the dialog, cancelled
    EXPECT_EQ(fileText(dir / "tri.obj"), obj);
}

TEST_F(CommandFixture, CommandLineFileDialogStartAndSaveExtensionRule)
{
    const std::string huge = hugeFile(dir / "huge.pq");
    state.prefs.dialogStartText = "kept";
    loadCommandLineFile(state, {huge});
    EXPECT_EQ(state.currentFileName, "") << "Save must not write over it";
    ASSERT_EQ(fake.messages.size(), 1u);
    EXPECT_EQ(fake.messages[0].text, "Nicht genug Speicher, um " + huge + " zu lesen");
    EXPECT_THROW(readFileBytes(huge), std::bad_alloc);
    EXPECT_THROW(importAsc(state.mesh, huge, 1), std::bad_alloc);
    EXPECT_FALSE(readPreferences(state.prefs, huge));
    loadCommandLineFile(state, {});
    rememberDialogStart(state);
    EXPECT_EQ(state.prefs.dialogStartText, "kept");
    loadCommandLineFile(state, {meshFile("two.pq")});
    rememberDialogStart(state);
    EXPECT_EQ(std::pair(state.currentFileName, state.prefs.dialogStartText), std::pair(dir / "two.pq", dir / "two.pq"));
    EXPECT_EQ(state.mesh.triangles.size(), 2u);
    // Another format opens without a name, so Save cannot write the native format over it.
    state.mesh = Mesh{};  // as at a start
    loadCommandLineFile(state, {PQ_TEST_DATA_DIR "/asc/UUSALKU.ASC"});
    EXPECT_EQ(std::pair(state.currentFileName, state.mesh.triangles.size()), std::pair(std::string(), size_t{326}));
    EXPECT_TRUE(isMeshInOrthoViews(state.camera, state.mesh));
    std::ofstream(dir / "empty.stl").flush();
    loadCommandLineFile(state, {dir / "empty.stl"});
    EXPECT_EQ(std::pair(state.currentFileName, fake.messages.size()), std::pair(std::string(), size_t{2}));
    EXPECT_EQ(fake.messages[1].title, "Importieren");
    EXPECT_EQ(commandLineFileName({}), "");
    EXPECT_EQ(commandLineFileName({"/tmp/my", "big", "ship.pq"}), "/tmp/my big ship.pq");
    const std::pair<std::string_view, std::string_view> cases[] = {
        {"C:\\old.set\\ship", "C:\\old.set\\ship.pq"}, {"/home/old.set/ship", "/home/old.set/ship.pq"},
        {"/home/old.set\\ship", "/home/old.set\\ship.pq"}, {"ship.PQ", "ship.PQ"}, {"/m/ship.txt", "/m/ship.txt"},
        {"ship.", "ship..pq"}, {"ship.\"x", "ship.\"x.pq"}, {"ship.a\"x", "ship.a\"x"}, {"/m/", "/m/.pq"},
        {".hidden", ".hidden"}, {"ship", "ship.pq"}, {"/m./ship", "/m./ship.pq"}};
    for (const auto& [name, saved] : cases) EXPECT_EQ(withSaveExtension(name), saved) << name;
}
