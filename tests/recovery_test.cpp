// recovery_test.cpp: the recovery copy's bytes, the copies left over, and the editor's copy kept, removed and offered.
#include <gtest/gtest.h>

#include <sys/file.h>
#include <unistd.h>
#include <utime.h>

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
    const auto back = readRecoveryBytes(bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(std::tie(back->meshBytes, back->textureFileName, back->fileName),
              std::tie(copy.meshBytes, copy.textureFileName, copy.fileName));
    EXPECT_TRUE(readRecoveryBytes(writeRecoveryBytes({})));
    const std::span<const std::byte> whole(bytes);
    EXPECT_FALSE(readRecoveryBytes({}));
    const size_t end = bytes.size();
    for (const size_t cut : {size_t{11}, size_t{43}, end - 9, end - 1})
        EXPECT_FALSE(readRecoveryBytes(whole.first(cut))) << cut;
    for (const size_t at : {size_t{0}, size_t{12}, size_t{20}, size_t{40}, size_t{100}, end - 20, end - 1}) {
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
    std::string junk(5000, '\0');
    for (size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<char>(i * 7 + 3);
    EXPECT_FALSE(readRecoveryBytes(bytesOf(junk)));
}

// Left copies are those whose editors hold no lock, newest first, this process's number among them; found, each is
// locked, so a second search finds none; a lock left without a copy goes.
TEST(RecoveryCopy, LeftCopiesAreThoseOfEditorsThatNoLongerRun)
{
    const std::string folder = makeTestFolder("recovery_left") + "/";
    const int own = ::getpid();
    const HeldLock running = lockRecovery(folder, 111), mine = lockRecovery(folder, own);
    ASSERT_GE(running.fd, 0);
    const RecoveryCopy copy{writeMeshBytes(twoTriangles()), "", ""};
    for (const auto& [pid, when] : {std::pair(111, 1000), {222, 3000}, {333, 2000}, {own, 1500}})
        writeCopy(recoveryCopyPath(folder, pid), copy, when);
    lockRecovery(folder, 333).release();  // its editor ended: the lock file stays, unheld
    std::ofstream(folder + "recovery-444.lock");
    for (const char* other : {"recovery-x.pqr", "recovery-5.pqr.damaged", "recovery-0.pqr"})
        std::ofstream(folder + other);
    fs::create_directory(folder + "recovery-6.pqr");
    fs::create_symlink(recoveryCopyPath(folder, 222), folder + "recovery-7.pqr");

    const std::vector<LeftCopy> left = leftRecoveryCopies(folder, own);
    std::vector<std::string> found;
    for (const LeftCopy& l : left)
        found.push_back(fs::path(l.path).filename().string() + " " + std::to_string(l.modified));
    EXPECT_EQ(found, (std::vector<std::string>{"recovery-222.pqr 3000", "recovery-333.pqr 2000",
                                               "recovery-" + std::to_string(own) + ".pqr 1500"}));
    EXPECT_TRUE(leftRecoveryCopies(folder, 999).empty());  // all locked by the first search or running
    EXPECT_FALSE(fs::exists(folder + "recovery-444.lock"));
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
        ::setenv("LC_ALL", "en_GB", 1);  // a start without pref.txt speaks the locale's language
        ::tzset();
        fake.attach(state);
        state.prefs.language = 1;
    }
    void TearDown() override
    {
        ::unsetenv("XDG_STATE_HOME");
        ::unsetenv("POLYQUILL_RECOVERY_SECONDS");
        ::unsetenv("LC_ALL");
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
    std::optional<RecoveryCopy> copyOnDisk() const
    {
        const auto bytes = readFileBytes(ownCopy());
        return bytes ? readRecoveryBytes(*bytes) : std::nullopt;
    }
};

}  // namespace

// Unsaved work is copied between actions once an interval, with its texture and name, and removed once saved.
TEST_F(Recovery, UnsavedWorkIsCopiedBetweenActionsAndRemovedWhenSaved)
{
    startRecovery(state);
    ASSERT_EQ(state.recovery.folder, folder);
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
    const auto copy = copyOnDisk();
    ASSERT_TRUE(copy);
    EXPECT_EQ(copy->meshBytes, writeMeshBytes(state.mesh));
    EXPECT_EQ(copy->textureFileName, state.textureFileName);
    EXPECT_EQ(copy->fileName, state.currentFileName);
    EXPECT_EQ(recoveryWaitMs(state), -1);  // the copy holds the document
    state.recovery.intervalMs = 60'000;
    state.mesh.vertices[0].x = 5;
    markMeshChanged(state, allViews);
    recordChange(state);
    keepRecoveryCopy(state);
    EXPECT_FALSE(state.recovery.writing.valid());
    EXPECT_GT(recoveryWaitMs(state), 59'000);
    markDocumentSaved(state);
    keepRecoveryCopy(state);
    EXPECT_FALSE(fs::exists(ownCopy()));
    changeDocument("/models/ship.pq");
    writeRecoveryCopyNow(state);
    EXPECT_TRUE(fs::exists(ownCopy()));
    endRecovery(state);
    EXPECT_TRUE(namesIn(folder).empty());
}

// Start-up offers left copies newest first: Discard removes one, Restore makes it the document; damaged, kept aside.
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
    startUp(state, home + "/", {});
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
    // The loop sleeps no longer than the next copy is due; the end signals write it at once.
    state.recovery.intervalMs = 60'000;
    state.mesh.vertices[0].y = 3;
    markMeshChanged(state, allViews);
    recordChange(state);
    mainLoopPass(state);
    EXPECT_GT(fake.lastWaitTimeout, 59'000);
    fake.terminationHandler(15);
    EXPECT_EQ(copyOnDisk()->meshBytes, writeMeshBytes(state.mesh));
}
