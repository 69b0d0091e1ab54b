// loadTexture in an offscreen context: extensions, the platform reader, filters, bad files, the owner.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <filesystem>

#include "engine/engine.h"
#include "tests/gl_test_support.h"
#include "tests/test_images.h"

namespace {

const std::vector<uint8_t> redBlueBytes{255, 0, 0, 0, 0, 255};
const RgbImage redBlue{2, 1, redBlueBytes};

// The texels of one level of a texture, and its size.
std::vector<uint8_t> textureLevel(uint32_t name, int level, GLint& width)
{
    GLint height = 0;
    glBindTexture(GL_TEXTURE_2D, name);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, &width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_HEIGHT, &height);
    std::vector<uint8_t> texels(size_t(width) * size_t(height) * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    if (!texels.empty()) glGetTexImage(GL_TEXTURE_2D, level, GL_RGB, GL_UNSIGNED_BYTE, texels.data());
    return texels;
}

class LoadTexture : public ::testing::Test {
protected:
    OffscreenGl gl{16, 16};
    Engine engine;
    std::vector<std::string> platformPaths;  // what the platform reader was asked for
    RgbImage platformAnswer;
    std::string folder = makeTestFolder("textures");

    std::string file(const std::string& name, const std::vector<uint8_t>& b) { writeTestFile(folder + "/" + name, b); return folder + "/" + name; }
    uint32_t load(const std::string& path, int32_t mode = 0)
    {
        return loadTexture(engine, path, mode, [this](const std::string& p, RgbImage& out) {
            platformPaths.push_back(p);
            out = platformAnswer;
            return platformAnswer.width > 0;
        });
    }
};

TEST(FileExtension, TakesTheLastDotOfTheLastComponentLowerCased)
{
    const std::pair<std::string, std::string> cases[] = {{"a.JPG", "jpg"}, {"Images\\Front.bmp", "bmp"}, {"x.tar.PnG", "png"},
        {"dir.png\\file", ""}, {"dir.png/file", ""}, {"noext", ""}, {"trailing.", ""}, {"b.\xC0\xDE[Z", "\xE0\xFE[z"}};
    for (const auto& [name, extension] : cases) EXPECT_EQ(fileExtension(name), extension) << name;
}

TEST_F(LoadTexture, ExtensionsPlatformFormatsFiltersBadFilesAndTheOwner)
{
    PQ_REQUIRE_GL(gl);
    const std::string pngAsJpg = file("picture.jpg", encodeTestPng(redBlue)), jpegAsJpeg = file("photo.jpeg", encodeTestJpeg(fiveByThree));
    GlTexture t(load(jpegAsJpeg));  // ".jpeg" enables nothing
    EXPECT_TRUE(engine.pixels.empty());
    t.reset(load(pngAsJpg));  // enables JPEG; the bytes are PNG
    EXPECT_EQ(engine.enabledDecoders, std::vector{ImageDecoder::Jpeg});
    EXPECT_TRUE(engine.pixels.empty());
    t.reset(load(jpegAsJpeg));
    EXPECT_EQ(engine.pixels.size(), 45u);
    t.reset(load(folder + "/missing.PNG"));  // enables PNG even though missing
    EXPECT_EQ(engine.enabledDecoders, (std::vector{ImageDecoder::Jpeg, ImageDecoder::Png}));
    t.reset(load(pngAsJpg));  // now recognised by its content, top row first
    EXPECT_EQ(engine.pixels, redBlueBytes);
    t.reset(load(file("again.JPG", encodeTestJpeg(fiveByThree))));
    EXPECT_EQ(engine.enabledDecoders.size(), 2u);
    EXPECT_TRUE(platformPaths.empty());  // PNG and JPEG bytes are not the platform's

    glPixelStorei(GL_UNPACK_ALIGNMENT, 8);
    t.reset(load(file("odd.png", encodeTestPng(fiveByThree))));
    GLint alignment = 0, width = 0;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    EXPECT_EQ(alignment, 8);  // restored after the upload
    EXPECT_EQ(textureLevel(t.name(), 0, width), fiveByThree.rgb);
    EXPECT_EQ(width, 5);

    // Bitmaps and icons go to the platform by their signature, whatever their name.
    platformAnswer = redBlue;
    std::vector<uint8_t> bmp(60, 0), ico(40, 0);
    bmp[0] = 'B', bmp[1] = 'M', ico[2] = ico[4] = 1;
    const std::string bmpPath = file("label.png", bmp), icoPath = file("tool.ico", ico);
    t.reset(load(bmpPath));
    EXPECT_EQ(engine.pixels, redBlueBytes);
    t.reset(load(icoPath));
    EXPECT_EQ(platformPaths, (std::vector{bmpPath, icoPath}));
    EXPECT_EQ(engine.pixels, redBlueBytes);
    for (const RgbImage& answer : {RgbImage{}, RgbImage{3, 3, {1, 2, 3}}}) {  // unreadable, or too few bytes for its size
        platformAnswer = answer;
        t.reset(load(bmpPath));
        EXPECT_TRUE(engine.pixels.empty());
        EXPECT_NE(t.name(), 0u);
    }
    t.reset(loadTexture(engine, bmpPath, 0, {}));  // no platform reader at all
    EXPECT_TRUE(engine.pixels.empty());

    const std::vector<uint8_t> png = encodeTestPng(fiveByThree);
    const std::string path = file("odd.png", png);
    for (const auto& [mode, mag, min] : {std::tuple(0, GL_NEAREST, GL_NEAREST), std::tuple(1, GL_LINEAR, GL_LINEAR),
                                         std::tuple(2, GL_LINEAR, GL_LINEAR_MIPMAP_NEAREST)}) {
        t.reset(load(path, mode));
        GLint filters[2] = {};
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &filters[0]);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &filters[1]);
        EXPECT_EQ(std::pair(filters[0], filters[1]), std::pair(mag, min)) << mode;
        EXPECT_FALSE(textureLevel(t.name(), mode == 2 ? 1 : 0, width).empty()) << mode;  // mipmaps built
    }
    std::vector<uint8_t> junk(5000);
    for (size_t i = 0; i < junk.size(); ++i) junk[i] = uint8_t(i * 131 + 17);
    const std::string huge = file("huge.png", png);  // sparse: 300 MB that take no room
    std::filesystem::resize_file(huge, 300u << 20);
    const std::pair<std::string, int32_t> unreadable[] = {{path, 3}, {path, -1}, {folder + "/missing.png", 0}, {folder, 0},
        {file("empty.png", {}), 0}, {file("B.png", {'B'}), 0}, {file("short.png", {png.begin(), png.begin() + 40}), 0},
        {file("junk.jpg", junk), 0}, {file("bm.jpg", {'B', 'M', 0, 1}), 1}, {huge, 2}};
    for (const auto& [p, mode] : unreadable) {
        engine.pixels = {1, 2, 3};
        t.reset(load(p, mode));
        width = -1;
        EXPECT_NE(t.name(), 0u) << p;
        EXPECT_TRUE(textureLevel(t.name(), 0, width).empty() && width == 0) << p << mode;
        EXPECT_TRUE(engine.pixels.empty() || mode == 3 || mode == -1) << p;
    }
    // The owner deletes its name when reset or assigned over, and hands it on when moved.
    GlTexture first(load(path)), second(load(path));
    const uint32_t names[] = {first.name(), second.name()};
    first = std::move(second);
    EXPECT_EQ(std::pair(first.name(), second.name()), std::pair(names[1], 0u));
    EXPECT_FALSE(glIsTexture(names[0]));
    first.reset();
    EXPECT_FALSE(glIsTexture(names[1]));
}

}  // namespace
