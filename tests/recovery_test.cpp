// recovery_test.cpp: the recovery copy's bytes, which copies a start finds left over, and the editor's copy kept,
// removed, written on the end signals and offered again, through the scripted window layer.
#include <gtest/gtest.h>

#include <sys/file.h>
#include <unistd.h>
#include <utime.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>

#include "app/app.h"
#include "files/files.h"
#include "tests/fake_window_layer.h"
#include "tests/test_images.h"
#include "tests/test_mesh.h"

namespace fs = std::filesystem;

namespace {

std::span<const std::byte> bytesOf(const std::string& text) { return std::as_bytes(std::span(text)); }

std::string fileText(const std::string& path)
{
    std::ostringstream text;
    return text << std::ifstream(path, std::ios::binary).rdbuf() ? text.str() : "(none)";
}

std::vector<std::string> namesIn(const std::string& folder)
{
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

Mesh twoTriangles()
{
    Mesh mesh;
    addVertex(mesh, 0, 0, 0), addVertex(mesh, 1, 0, 0), addVertex(mesh, 0, 1, 0), addVertex(mesh, 1, 1, 0.5f);
    addTriangle(mesh, 0, 1, 2, {0.25f, 0.5f, 0.75f});
    addTriangle(mesh, 2, 1, 3);
    return mesh;
}

void writeCopy(const std::string& path, const RecoveryCopy& copy, std::time_t when)
{
    ASSERT_EQ(writeFileReplacing(path, writeRecoveryBytes(copy)), "");
    const utimbuf times{when, when};
    ASSERT_EQ(::utime(path.c_str(), &times), 0);
}

}  // namespace

// The copy comes back whole; anything cut, added, changed or made up is refused.
TEST(RecoveryCopy, BytesRoundTripAndAnyDamageIsRefused)
{
    const RecoveryCopy copy{writeMeshBytes(twoTriangles()), "/pictures/brick.png", "/models/ship.pq"};
    const std::vector<std::byte> bytes = writeRecoveryBytes(copy);
    EXPECT_EQ(bytes.size(), 12 + 24 + 120 + 19 + 15 + 8u);
    const auto back = readRecoveryBytes(bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(std::tie(back->meshBytes, back->textureFileName, back->fileName),
              std::tie(copy.meshBytes, copy.textureFileName, copy.fileName));
    EXPECT_TRUE(readRecoveryBytes(writeRecoveryBytes({})));
    const std::span<const std::byte> whole(bytes);
    EXPECT_FALSE(readRecoveryBytes({}));
    for (const size_t cut : {size_t{11}, size_t{43}, bytes.size() - 9, bytes.size() - 1}) EXPECT_FALSE(readRecoveryBytes(whole.first(cut))) << cut;
    std::vector<std::byte> longer = bytes;
    longer.push_back(std::byte{0});
    EXPECT_FALSE(readRecoveryBytes(longer));
    for (const size_t at : {size_t{0}, size_t{12}, size_t{20}, size_t{40}, size_t{100}, bytes.size() - 20, bytes.size() - 1}) {
        std::vector<std::byte> changed = bytes;
        changed[at] ^= std::byte{0x04};
        EXPECT_FALSE(readRecoveryBytes(changed)) << at;
    }
    // Right lengths and hash around records that are no whole triangles.
    const std::vector<std::byte> odd = writeRecoveryBytes({std::vector<std::byte>(61), "", ""});
    EXPECT_FALSE(readRecoveryBytes(odd));
    // Lengths that add up past the end, past 2^64 too.
    std::string huge = "PQRECOVERY1\n" + std::string(8, '\xff') + std::string(8, '\xff') + std::string(16, '\0');
    EXPECT_FALSE(readRecoveryBytes(bytesOf(huge)));
    EXPECT_FALSE(readRecoveryBytes(bytesOf("PQRECOVERY2\n" + std::string(40, '\0'))));
    std::string junk(5000, '\0');
    for (size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<char>(i * 7 + 3);
    EXPECT_FALSE(readRecoveryBytes(bytesOf(junk)));
}

// Left copies are those whose editors no longer hold their locks, newest first, this process's number among them;
// each is locked while found, so a second search finds none; a lock left without a copy goes.
TEST(RecoveryCopy, LeftCopiesAreThoseOfEditorsThatNoLongerRun)
{
    const std::string folder = makeTestFolder("recovery_left") + "/";
    const int own = ::getpid();
    const HeldLock running = lockRecovery(folder, 111), mine = lockRecovery(folder, own);
    ASSERT_GE(running.fd, 0);
    EXPECT_LT(lockRecovery(folder, 111).fd, 0);
    const RecoveryCopy copy{writeMeshBytes(twoTriangles()), "", ""};
    for (const auto& [pid, when] : {std::pair(111, 1000), {222, 3000}, {333, 2000}, {own, 1500}})
        writeCopy(recoveryCopyPath(folder, pid), copy, when);
    lockRecovery(folder, 333).release();  // its editor ended: the lock file stays, unheld
    std::ofstream(folder + "recovery-444.lock");
    for (const char* other : {"recovery-x.pqr", "recovery-5.pqr.damaged", "recovery-.pqr", "recovery-0.pqr"})
        std::ofstream(folder + other);
    fs::create_directory(folder + "recovery-6.pqr");
    fs::create_symlink(recoveryCopyPath(folder, 222), folder + "recovery-7.pqr");

    const std::vector<LeftCopy> left = leftRecoveryCopies(folder, own);
    std::vector<std::string> found;
    for (const LeftCopy& l : left) found.push_back(fs::path(l.path).filename().string() + " " + std::to_string(l.modified));
    EXPECT_EQ(found, (std::vector<std::string>{"recovery-222.pqr 3000", "recovery-333.pqr 2000",
                                               "recovery-" + std::to_string(own) + ".pqr 1500"}));
    EXPECT_TRUE(leftRecoveryCopies(folder, 999).empty());  // all locked by the first search or running
    EXPECT_FALSE(fs::exists(folder + "recovery-444.lock"));
    HeldLock taken = lockRecovery(folder, 555);
    taken.releaseAndRemove();
    EXPECT_FALSE(fs::exists(folder + "recovery-555.lock"));
    EXPECT_TRUE(leftRecoveryCopies(folder + "missing/", own).empty());
    fs::remove_all(folder);
}

namespace {

// An editor's state with the scripted window layer, its state folder in a test folder of its own.
struct Recovery : ::testing::Test {
    FakeWindowLayer fake;
    AppState state;
    std::string home = makeTestFolder("recovery");
    std::string folder = home + "/polyquill/";

    void SetUp() override
    {
        ::setenv("XDG_STATE_HOME", home.c_str(), 1);
        ::setenv("POLYQUILL_RECOVERY_SECONDS", "0", 1);
        ::setenv("TZ", "UTC", 1);
        ::tzset();
        fake.attach(state);
        state.prefs.language = 1;
    }
    void TearDown() override
    {
        ::unsetenv("XDG_STATE_HOME");
        ::unsetenv("POLYQUILL_RECOVERY_SECONDS");
        fs::remove_all(home);
    }
    std::string ownCopy() const { return recoveryCopyPath(folder, ::getpid()); }
    // The document opened from a file, then changed.
    void changeDocument(const std::string& name)
    {
        state.mesh = twoTriangles();
        state.currentFileName = name;
        resetDocumentHistory(state);
        state.mesh.vertices[3].z = 2;
        markMeshChanged(state, allViews);
        recordChange(state);
    }
    // Runs the per-pass step until the copy under way is written.
    void keepAndWait()
    {
        keepRecoveryCopy(state);
        if (state.recovery.writing.valid()) state.recovery.writing.wait();
        keepRecoveryCopy(state);
    }
    std::optional<RecoveryCopy> copyOnDisk(const std::string& path) const
    {
        const std::string text = fileText(path);
        return readRecoveryBytes(bytesOf(text));
    }
};

}  // namespace

// Unsaved work is copied when no action is under way and the interval has passed; a copy on disk holds the
// document, its texture and name; it goes when the work is saved, and the end signals write it at once.
TEST_F(Recovery, UnsavedWorkIsCopiedBetweenActionsAndRemovedWhenSaved)
{
    startRecovery(state);
    ASSERT_EQ(state.recovery.folder, folder);
    EXPECT_EQ(namesIn(folder), (std::vector<std::string>{"recovery-" + std::to_string(::getpid()) + ".lock"}));
    keepAndWait();  // nothing unsaved
    EXPECT_FALSE(fs::exists(ownCopy()));
    changeDocument("/models/ship.pq");
    state.textureFileName = "/pictures/brick.png";
    state.changePending = true;  // a drag under way
    keepRecoveryCopy(state);
    EXPECT_FALSE(state.recovery.writing.valid());
    EXPECT_EQ(recoveryWaitMs(state), -1);
    state.changePending = false;
    EXPECT_EQ(recoveryWaitMs(state), 0);
    keepRecoveryCopy(state);
    EXPECT_EQ(recoveryWaitMs(state), 100);  // polls while the copy is written
    keepAndWait();
    const auto copy = copyOnDisk(ownCopy());
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->meshBytes, writeMeshBytes(state.mesh));
    EXPECT_EQ(std::pair(copy->textureFileName, copy->fileName), std::pair(state.textureFileName, state.currentFileName));
    EXPECT_EQ(recoveryWaitMs(state), -1);  // the copy holds the document
    state.recovery.intervalMs = 60'000;
    state.mesh.vertices[0].x = 5;
    markMeshChanged(state, allViews);
    recordChange(state);
    keepRecoveryCopy(state);
    EXPECT_FALSE(state.recovery.writing.valid());
    EXPECT_GT(recoveryWaitMs(state), 59'000);
    EXPECT_LE(recoveryWaitMs(state), 60'000);
    writeRecoveryCopyNow(state);  // SIGTERM or SIGHUP: at once, whatever the interval
    EXPECT_EQ(copyOnDisk(ownCopy())->meshBytes, writeMeshBytes(state.mesh));
    markDocumentSaved(state);
    keepRecoveryCopy(state);
    EXPECT_FALSE(fs::exists(ownCopy()));
    changeDocument("/models/ship.pq");
    state.mesh = Mesh{};  // nothing left worth a copy
    markMeshChanged(state, allViews);
    recordChange(state);
    writeRecoveryCopyNow(state);
    EXPECT_FALSE(fs::exists(ownCopy()));
    changeDocument("/models/ship.pq");
    writeRecoveryCopyNow(state);
    EXPECT_TRUE(fs::exists(ownCopy()));
    endRecovery(state);
    EXPECT_TRUE(namesIn(folder).empty());
}

// A start offers the copies of editors that no longer run, newest first: Discard removes one, Restore makes the
// document of it (its name, unsaved) and this editor's own copy; a damaged copy is kept aside with a word.
TEST_F(Recovery, StartOffersLeftCopiesToRestoreOrDiscard)
{
    fs::create_directories(folder);
    Mesh older = twoTriangles();
    older.vertices[0].x = -1;
    writeCopy(recoveryCopyPath(folder, 999'991), {writeMeshBytes(older), "", ""}, 86'400);
    writeCopy(recoveryCopyPath(folder, 999'992), {writeMeshBytes(twoTriangles()), "", "/models/boat.pq"}, 3 * 86'400);
    const HeldLock running = lockRecovery(folder, 999'993);
    writeCopy(recoveryCopyPath(folder, 999'993), {writeMeshBytes(twoTriangles()), "", "/models/busy.pq"}, 4 * 86'400);
    std::ofstream(recoveryCopyPath(folder, 999'994)) << "PQRECOVERY1\njunk";
    fake.choiceAnswers = {1, 0};
    startRecovery(state);
    offerLeftRecoveryCopies(state);
    ASSERT_EQ(fake.messages.size(), 1u);
    EXPECT_EQ(fake.messages[0].text, "A recovery copy is damaged and cannot be restored; it was kept as " +
                                         recoveryCopyPath(folder, 999'994) + ".damaged");
    ASSERT_EQ(fake.choices.size(), 2u);
    EXPECT_EQ(fake.choices[0].text, "Polyquill did not end normally; unsaved changes to boat.pq from 1970-01-04 00:00 "
                                    "were kept. Restore them?|Restore|Discard");
    EXPECT_EQ(fake.choices[1].text, "Polyquill did not end normally; unsaved changes to Untitled from 1970-01-02 00:00 "
                                    "were kept. Restore them?|Restore|Discard");
    EXPECT_EQ(writeMeshBytes(state.mesh), writeMeshBytes(older));
    EXPECT_EQ(state.currentFileName, "");
    EXPECT_TRUE(isDocumentModified(state));
    EXPECT_EQ(namesIn(folder), (std::vector<std::string>{"recovery-" + std::to_string(::getpid()) + ".lock",
                                                         "recovery-" + std::to_string(::getpid()) + ".pqr",
                                                         "recovery-999993.lock", "recovery-999993.pqr",
                                                         "recovery-999994.pqr.damaged"}));
    keepRecoveryCopy(state);
    EXPECT_FALSE(state.recovery.writing.valid()) << "the adopted copy holds the document";
    EXPECT_TRUE(copyOnDisk(ownCopy()));
}

// Started with a folder for copies, the editor takes its lock, offers what was left, writes on the end signal
// and sleeps no longer than the next copy is due.
TEST_F(Recovery, StartUpAndTheLoopKeepTheCopy)
{
    fs::create_directories(folder);
    writeCopy(recoveryCopyPath(folder, 999'995), {writeMeshBytes(twoTriangles()), "", "/m/left.pq"}, 86'400);
    fake.choiceAnswers = {0};
    startUp(state, home + "/", {});
    EXPECT_EQ(state.currentFileName, "/m/left.pq");
    EXPECT_EQ(state.recovery.folder, folder);
    state.recovery.intervalMs = 60'000;
    state.mesh.vertices[0].y = 3;
    markMeshChanged(state, allViews);
    recordChange(state);
    mainLoopPass(state);
    EXPECT_GT(fake.lastWaitTimeout, 0);
    ASSERT_TRUE(fake.terminationHandler);
    fake.terminationHandler(15);
    EXPECT_EQ(copyOnDisk(ownCopy())->meshBytes, writeMeshBytes(state.mesh));
}
