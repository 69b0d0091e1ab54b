// Tests of loadTexture: the extension rule, the platform reader, the pixel
// buffer, the filter modes and unreadable files, in an offscreen context.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <filesystem>

#include "engine/engine.h"
#include "tests/gl_test_support.h"
#include "tests/test_images.h"

namespace {

struct C {
    uint8_t r, g, b;
};

// 2 x 1: red, blue.
RgbImage redBlue()
{
    return makeRgbImage(2, 1, [](int32_t x, int32_t) { return x == 0 ? C{255, 0, 0} : C{0, 0, 255}; });
}

// 5 x 3 with every pixel different.
RgbImage fiveByThree()
{
    return makeRgbImage(5, 3, [](int32_t x, int32_t y) {
        return C{static_cast<uint8_t>(50 * x), static_cast<uint8_t>(100 * y), static_cast<uint8_t>(7 + x + y)};
    });
}

// A platform reader that records its calls and answers with a fixed image.
struct FakePlatform {
    std::vector<std::string> paths;
    RgbImage answer;
    PlatformImageReader reader()
    {
        return [this](const std::string& path, RgbImage& out) {
            paths.push_back(path);
            out = answer;
            return answer.width > 0;
        };
    }
};

std::vector<uint8_t> textureLevel(uint32_t name, int level, GLint& width, GLint& height)
{
    glBindTexture(GL_TEXTURE_2D, name);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_WIDTH, &width);
    glGetTexLevelParameteriv(GL_TEXTURE_2D, level, GL_TEXTURE_HEIGHT, &height);
    std::vector<uint8_t> texels(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    if (!texels.empty()) glGetTexImage(GL_TEXTURE_2D, level, GL_RGB, GL_UNSIGNED_BYTE, texels.data());
    return texels;
}

class LoadTexture : public ::testing::Test {
protected:
    OffscreenGl gl{16, 16};
    Engine engine;
    FakePlatform platform;
    std::string folder = makeTestFolder("textures");

    std::string file(const std::string& name, const std::vector<uint8_t>& bytes)
    {
        const std::string path = folder + "/" + name;
        writeTestFile(path, bytes);
        return path;
    }
    uint32_t load(const std::string& path, int32_t mode = 0)
    {
        return loadTexture(engine, path, mode, platform.reader());
    }
};

}  // namespace

TEST(FileExtension, TakesTheLastDotOfTheLastComponentLowerCased)
{
    EXPECT_EQ(fileExtension("a.JPG"), "jpg");
    EXPECT_EQ(fileExtension("Images\\Front.bmp"), "bmp");
    EXPECT_EQ(fileExtension("x.tar.PnG"), "png");
    EXPECT_EQ(fileExtension("dir.png\\file"), "");
    EXPECT_EQ(fileExtension("dir.png/file"), "");
    EXPECT_EQ(fileExtension("noext"), "");
    EXPECT_EQ(fileExtension("trailing."), "");
    EXPECT_EQ(fileExtension("b.\xC0\xDE"), "\xE0\xFE");  // Latin-1 capitals
}

TEST_F(LoadTexture, PngFillsTheBufferTopRowFirstAndUploadsUnpadded)
{
    PQ_REQUIRE_GL(gl);
    const GlTexture t(load(file("rb.png", encodeTestPng(redBlue()))));
    EXPECT_EQ(engine.pixels, (std::vector<uint8_t>{255, 0, 0, 0, 0, 255}));

    glPixelStorei(GL_UNPACK_ALIGNMENT, 8);
    const GlTexture odd(load(file("odd.png", encodeTestPng(fiveByThree()))));
    GLint alignment = 0;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    EXPECT_EQ(alignment, 8);  // restored after the upload
    GLint w = 0, h = 0;
    EXPECT_EQ(textureLevel(odd.name(), 0, w, h), fiveByThree().rgb);
    EXPECT_EQ(w, 5);
    EXPECT_EQ(h, 3);
    EXPECT_TRUE(platform.paths.empty());  // PNG bytes are not the platform's
}

TEST_F(LoadTexture, ExtensionsEnableDecodersThatStayEnabledInOrder)
{
    PQ_REQUIRE_GL(gl);
    const std::string pngAsJpg = file("picture.jpg", encodeTestPng(redBlue()));
    const std::string jpegAsJpeg = file("photo.jpeg", encodeTestJpeg(fiveByThree()));

    GlTexture t(load(jpegAsJpeg));  // ".jpeg" enables nothing
    EXPECT_TRUE(engine.pixels.empty());
    t.reset(load(pngAsJpg));  // enables JPEG; the bytes are PNG
    EXPECT_EQ(engine.enabledDecoders, std::vector<ImageDecoder>{ImageDecoder::Jpeg});
    EXPECT_TRUE(engine.pixels.empty());
    t.reset(load(jpegAsJpeg));
    EXPECT_EQ(engine.pixels.size(), 45u);

    t.reset(load(folder + "/missing.PNG"));  // enables PNG even though missing
    EXPECT_EQ(engine.enabledDecoders, (std::vector<ImageDecoder>{ImageDecoder::Jpeg, ImageDecoder::Png}));
    EXPECT_NE(t.name(), 0u);
    EXPECT_TRUE(engine.pixels.empty());
    t.reset(load(pngAsJpg));  // now recognised by its content
    EXPECT_EQ(engine.pixels, (std::vector<uint8_t>{255, 0, 0, 0, 0, 255}));
    t.reset(load(file("again.JPG", encodeTestJpeg(fiveByThree()))));
    EXPECT_EQ(engine.enabledDecoders.size(), 2u);
}

TEST_F(LoadTexture, BitmapsAndIconsGoToThePlatformByTheirSignature)
{
    PQ_REQUIRE_GL(gl);
    platform.answer = redBlue();
    std::vector<uint8_t> bmp{'B', 'M'};
    bmp.resize(60, 0);
    engine.enabledDecoders = {ImageDecoder::Png, ImageDecoder::Jpeg};
    const std::string bmpPath = file("label.png", bmp);  // the name does not matter
    GlTexture t(load(bmpPath));
    EXPECT_EQ(platform.paths, std::vector<std::string>{bmpPath});
    EXPECT_EQ(engine.pixels, (std::vector<uint8_t>{255, 0, 0, 0, 0, 255}));

    std::vector<uint8_t> ico{0, 0, 1, 0, 1, 0};
    ico.resize(40, 0);
    const std::string icoPath = file("tool.ico", ico);
    t.reset(load(icoPath));
    EXPECT_EQ(platform.paths.back(), icoPath);
    EXPECT_EQ(engine.pixels.size(), 6u);

    platform.answer = {};  // the platform cannot read it: no image, still a name
    t.reset(load(bmpPath));
    EXPECT_TRUE(engine.pixels.empty());
    EXPECT_NE(t.name(), 0u);

    platform.answer = {3, 3, {1, 2, 3}};  // too few bytes for its size: refused
    t.reset(load(bmpPath));
    EXPECT_TRUE(engine.pixels.empty());
    t.reset(loadTexture(engine, bmpPath, 0, {}));  // no platform reader at all
    EXPECT_TRUE(engine.pixels.empty());
}

TEST_F(LoadTexture, FilterModesSetTheTableOfFiltersAndOtherModesNoImage)
{
    PQ_REQUIRE_GL(gl);
    const std::string path = file("odd.png", encodeTestPng(fiveByThree()));
    struct Case {
        int32_t mode;
        GLint mag, min;
    };
    for (const Case c : {Case{0, GL_NEAREST, GL_NEAREST}, Case{1, GL_LINEAR, GL_LINEAR},
                         Case{2, GL_LINEAR, GL_LINEAR_MIPMAP_NEAREST}}) {
        const GlTexture t(load(path, c.mode));
        GLint mag = 0, min = 0, w = 0, h = 0;
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, &mag);
        glGetTexParameteriv(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, &min);
        EXPECT_EQ(mag, c.mag) << c.mode;
        EXPECT_EQ(min, c.min) << c.mode;
        EXPECT_FALSE(textureLevel(t.name(), 0, w, h).empty()) << c.mode;
        if (c.mode == 2) {
            EXPECT_FALSE(textureLevel(t.name(), 1, w, h).empty());  // mipmaps built
        }
    }
    glBindTexture(GL_TEXTURE_2D, 0);
    for (const int32_t mode : {3, -1}) {
        const GlTexture t(load(path, mode));
        EXPECT_NE(t.name(), 0u);
        GLint bound = -1;
        glGetIntegerv(GL_TEXTURE_BINDING_2D, &bound);
        EXPECT_EQ(bound, 0);
    }
}

TEST_F(LoadTexture, UnreadableFilesGiveANameWithoutAnImage)
{
    PQ_REQUIRE_GL(gl);
    engine.enabledDecoders = {ImageDecoder::Png, ImageDecoder::Jpeg};
    const std::vector<uint8_t> png = encodeTestPng(fiveByThree());
    std::vector<uint8_t> junk(5000);
    for (size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<uint8_t>(i * 131 + 17);
    const std::vector<std::string> paths{
        folder + "/missing.png", folder, file("empty.png", {}), file("B.png", {'B'}),
        file("short.png", {png.begin(), png.begin() + 40}), file("junk.jpg", junk),
        file("bm.jpg", {'B', 'M', 0, 1}),
    };
    const std::string huge = folder + "/huge.png";  // sparse: 300 MB that take no room
    writeTestFile(huge, png);
    std::filesystem::resize_file(huge, 300u << 20);

    for (const std::string& path : paths) {
        engine.pixels = {1, 2, 3};
        const GlTexture t(load(path, 0));
        EXPECT_NE(t.name(), 0u) << path;
        EXPECT_TRUE(engine.pixels.empty()) << path;
        GLint w = -1, h = -1;
        EXPECT_TRUE(textureLevel(t.name(), 0, w, h).empty()) << path;
        EXPECT_EQ(w, 0) << path;
    }
    const GlTexture t(load(huge, 2));
    EXPECT_TRUE(engine.pixels.empty());
}
