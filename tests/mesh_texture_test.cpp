// mesh_texture_test.cpp: the picture that goes with a mesh file (remembered with it, else beside it
// by name stem) and the commands that follow that rule: Open, the command line, the merges and Save.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <stdlib.h>

#include <filesystem>

#include "app/app.h"
#include "tests/fake_window_layer.h"
#include "tests/gl_test_support.h"
#include "tests/test_images.h"
#include "tests/test_mesh.h"

namespace {

struct MeshTextures : ::testing::Test {
    std::string dir = makeTestFolder("mesh_texture");
    FakeWindowLayer fake;
    AppState state;
    OffscreenGl gl{8, 8};  // the textures' uploads need a context

    void SetUp() override
    {
        fake.attach(state);
        state.prefs.language = 1;
        ::setenv("XDG_STATE_HOME", (dir + "/state").c_str(), 1);
    }
    void TearDown() override { ::unsetenv("XDG_STATE_HOME"); }

    // A picture told apart from the others by its size.
    std::string picture(const std::string& name, int32_t width)
    {
        const RgbImage image = makeRgbImage(width, 2, [](int32_t, int32_t) { return Colour{9, 9, 9}; });
        writeTestFile(dir + "/" + name, encodeTestPng(image));
        return dir + "/" + name;
    }
    std::string mesh(const std::string& name)
    {
        Mesh m;
        addVertex(m, 0, 0, 0), addVertex(m, 0.5f, 0, 0), addVertex(m, 0, 0.5f, 0);
        addTriangle(m, 0, 1, 2);
        EXPECT_EQ(saveMeshFile(m, dir + "/" + name), "");
        return dir + "/" + name;
    }
    void open(const std::string& path)
    {
        fake.fileAnswers.push_back(path);
        fake.choiceAnswers = {1};  // Discard, when asked
        files::cmdOpen(state);
    }
    // The width of the picture loaded, 0 for none; the 3D view's texture goes with it.
    int32_t shown() const
    {
        EXPECT_EQ(state.textureName.name() != 0, fake.hasImage(imageTexture));
        return fake.imageWidth(imageTexture);
    }
    std::string remembered(const std::string& meshPath)
    {
        return readUserState(userStatePath()).values[textureMemoryKey(meshPath)];
    }
};

}  // namespace

TEST_F(MeshTextures, RememberedWhileItIsAFileElseTheSameStemPicture)
{
    UserState memory;
    const std::string box = dir + "/box.pq";
    EXPECT_EQ(textureMemoryKey(dir + "/no/../box.pq"), "texture:" + box) << "every spelling of the file";
    EXPECT_EQ(textureForMesh(memory, box).path, "");
    picture("box.jpg", 1);
    memory.values[textureMemoryKey(box)] = dir + "/brick.png";
    const MeshTexture gone = textureForMesh(memory, box);
    EXPECT_EQ(std::pair(gone.path, gone.missing), std::pair(dir + "/box.jpg", dir + "/brick.png"));
    picture("brick.png", 1);
    EXPECT_EQ(textureForMesh(memory, box).path, dir + "/brick.png");
    EXPECT_EQ(textureForMesh(memory, box).missing, "");
    memory.values[textureMemoryKey(box)] = dir;  // a folder is no picture
    EXPECT_EQ(textureForMesh(memory, box).missing, dir);
    memory.values[textureMemoryKey(box)] = "";
    EXPECT_EQ(textureForMesh(memory, box).missing, "") << "an empty memory is none";
}

TEST_F(MeshTextures, OpenCommandLineMergeAndSaveTakeRememberAndReportThePicture)
{
    PQ_REQUIRE_GL(gl);
    const std::string box = mesh("box.pq"), crate = mesh("crate.pq");
    picture("box.png", 3);
    open(box);
    EXPECT_EQ(shown(), 3) << "the same-stem picture";
    GLint filter = 0;
    glBindTexture(GL_TEXTURE_2D, state.textureName.name());
    glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &filter);
    EXPECT_EQ(filter, GL_NEAREST) << "nearest filtering: texels show as squares";
    fake.fileAnswers.push_back(picture("chosen.png", 5));
    chooseTexture(state);
    EXPECT_EQ(remembered(box), dir + "/chosen.png");
    picture("crate.png", 2);
    open(crate);
    EXPECT_EQ(shown(), 2);
    open(box);
    EXPECT_EQ(shown(), 5) << "the remembered picture before the same-stem one";
    std::filesystem::remove(dir + "/chosen.png");
    loadCommandLineFile(state, {box});
    EXPECT_EQ(shown(), 3) << "a gone picture leaves the same-stem one";
    ASSERT_EQ(fake.messages.size(), 1u);
    EXPECT_EQ(fake.messages[0].text, "The texture " + dir + "/chosen.png chosen with " + box + " is no longer there");

    writeTestFile(dir + "/crate.png", {0x89, 'P', 'N', 'G'});  // a truncated picture
    open(crate);
    EXPECT_EQ(shown(), 0);
    EXPECT_EQ(fake.messages.back().text, "cannot read the texture " + dir + "/crate.png");
    EXPECT_EQ(state.mesh.triangles.size(), 1u) << "the mesh opens all the same";
    fake.fileAnswers.push_back(box);
    fake.promptAnswers.push_back("1");
    files::cmdMerge(state);
    EXPECT_EQ(shown(), 3) << "a merge into a mesh without texture brings the file's";
    fake.fileAnswers.push_back(crate);
    fake.promptAnswers.push_back("1");
    files::cmdMerge(state);
    EXPECT_EQ(shown(), 3) << "a loaded texture stays";
    EXPECT_EQ(fake.messages.size(), 3u) << "no word of the file's picture";

    fake.fileAnswers.push_back(dir + "/copy.pq");
    EXPECT_TRUE(files::cmdSaveAs(state));
    EXPECT_EQ(remembered(dir + "/copy.pq"), dir + "/box.png") << "saved with the texture it shows";
    fake.fileAnswers.push_back(dir + "/box.pq");
    fake.choiceAnswers = {0};  // Replace
    EXPECT_TRUE(files::cmdSaveAs(state));
    EXPECT_EQ(remembered(box), dir + "/box.png") << "the gone picture is forgotten once saved without it";
}
