// render_tool_test.cpp: pqtool render without a display: its picture holds,
// region by region, exactly what drawView draws for each view in a context
// of that view's size, on the layout of the editor's window.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>

#include "engine/engine.h"
#include "files/files.h"
#include "views/views.h"

namespace fs = std::filesystem;

namespace {

const std::string pqtool = PQTOOL_PATH;
const std::string labels = PQ_SOURCE_DIR "/Images";
const std::string cube = PQ_SOURCE_DIR "/samples/cube.pq";

class RenderTool : public ::testing::Test {
protected:
    void SetUp() override
    {
        // A folder of its own: other builds may run the same tests at the same time.
        std::string pattern = (fs::temp_directory_path() / "pq_render_XXXXXX").string();
        dir = ::mkdtemp(pattern.data());
        // A texture of four coloured quarters, so a wrong orientation shows.
        RgbImage texture{64, 64, {}};
        for (int y = 0; y < 64; ++y)
            for (int x = 0; x < 64; ++x)
                texture.rgb.insert(texture.rgb.end(), {static_cast<uint8_t>(x < 32 ? 230 : 20),
                                                       static_cast<uint8_t>(y < 32 ? 200 : 40), 90});
        const std::vector<uint8_t> png = encodePng(texture);
        std::ofstream(path("texture.png"), std::ios::binary)
            .write(reinterpret_cast<const char*>(png.data()), static_cast<std::streamsize>(png.size()));
    }
    void TearDown() override { fs::remove_all(dir); }

    std::string path(const std::string& name) const { return (dir / name).string(); }

    // Runs pqtool with no X display; its exit status.
    int run(const std::string& arguments) const
    {
        const std::string command = "env -u DISPLAY -u WAYLAND_DISPLAY \"" + pqtool + "\" " + arguments + " > \"" +
                                    path("out.txt") + "\" 2>&1";
        const int status = std::system(command.c_str());
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    RgbImage picture(const std::string& name) const
    {
        const auto bytes = readFileBytes(path(name));
        if (!bytes) return {};
        return decodePng(std::span(reinterpret_cast<const uint8_t*>(bytes->data()), bytes->size()));
    }

    fs::path dir;
};

// One view drawn as a view window draws it: its context set up around its
// label, the texture loaded into the 3D view, two redraws.
RgbImage drawOneView(ViewKind view, const Mesh& mesh, int32_t width, int32_t height, const std::string& texture)
{
    static constexpr const char* names[] = {"Front.bmp", "Side.bmp", "Top.bmp", "3D.bmp"};
    const OffscreenGl gl(width, height);
    if (!gl.valid()) return {};
    Engine engine;
    prepareViewContext(view);
    const GlTexture label(loadTexture(engine, labels + "/" + names[static_cast<int>(view)], 0, readBmpFile));
    finishViewContext(view);
    GlTexture picture;
    if (view == ViewKind::ThreeD && !texture.empty()) picture.reset(loadTexture(engine, texture, 0, readBmpFile));
    RenderBuffers buffers;
    for (int pass = 0; pass < 2; ++pass)
        drawView(engine, view, mesh, ViewCamera{}, static_cast<float>(width) / static_cast<float>(height),
                 picture.name(), label.name(), buffers);
    return gl.readPixels();
}

// The part of `image` at `rect`.
RgbImage region(const RgbImage& image, const ViewRect& rect)
{
    RgbImage out{rect.width, rect.height, {}};
    for (int32_t row = 0; row < rect.height; ++row) {
        const auto start = image.rgb.begin() + ((rect.y + row) * image.width + rect.x) * 3;
        out.rgb.insert(out.rgb.end(), start, start + rect.width * 3);
    }
    return out;
}

int countIf(const RgbImage& image, bool (*match)(int r, int g, int b))
{
    int count = 0;
    for (size_t i = 0; i + 2 < image.rgb.size(); i += 3)
        count += match(image.rgb[i], image.rgb[i + 1], image.rgb[i + 2]);
    return count;
}

int countColour(const RgbImage& image, uint8_t r, uint8_t g, uint8_t b)
{
    int count = 0;
    for (size_t i = 0; i + 2 < image.rgb.size(); i += 3)
        count += image.rgb[i] == r && image.rgb[i + 1] == g && image.rgb[i + 2] == b;
    return count;
}

}  // namespace

TEST_F(RenderTool, TexturedCubeMatchesEachViewsOwnRedraw)
{
    ASSERT_EQ(run("render \"" + cube + "\" \"" + path("cube.png") + "\" --texture \"" + path("texture.png") +
                  "\" --labels \"" + labels + "\""),
              0);
    const RgbImage image = picture("cube.png");
    ASSERT_EQ(image.width, 500);
    ASSERT_EQ(image.height, 400);

    Mesh mesh;
    ASSERT_TRUE(loadMeshFile(mesh, cube));
    const std::array<ViewRect, 4> layout = viewLayout(500, 400);
    // The editor's start-up views: 248 and 250 wide, 198 high, 2 pixels apart.
    EXPECT_EQ(layout[0].width, 248);
    EXPECT_EQ(layout[1].x, 250);
    EXPECT_EQ(layout[1].width, 250);
    EXPECT_EQ(layout[2].y, 200);
    EXPECT_EQ(layout[3].height, 198);
    for (size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        const RgbImage expected = drawOneView(static_cast<ViewKind>(i), mesh, layout[i].width, layout[i].height,
                                              i == 3 ? path("texture.png") : "");
        ASSERT_EQ(expected.width, layout[i].width) << "no offscreen OpenGL context";
        const RgbImage actual = region(image, layout[i]);
        EXPECT_TRUE(actual.rgb == expected.rgb);
        EXPECT_GT(countColour(actual, 0, 0, 140), 100);  // the label's ground
    }
    // The 3D view shows the texture's quarters, darkened by its fog; the gaps
    // the window background.
    const RgbImage threeD = region(image, layout[3]);
    EXPECT_GT(countIf(threeD, [](int r, int g, int b) { return r > 100 && g > 100 && b > 30 && b < 80; }), 500);
    EXPECT_GT(countIf(threeD, [](int r, int g, int b) { return r < 30 && g < 30 && b > 30 && b < 80; }), 500);
    EXPECT_EQ(countColour(region(image, {248, 0, 2, 400}), 239, 239, 239), 800);
    EXPECT_EQ(countColour(region(image, {0, 198, 500, 2}), 239, 239, 239), 1000);
}

TEST_F(RenderTool, SizeSetsTheLayout)
{
    ASSERT_EQ(run("render \"" + cube + "\" \"" + path("small.png") + "\" --size 161x93 --labels \"" + labels + "\""),
              0);
    const RgbImage image = picture("small.png");
    ASSERT_EQ(image.width, 161);
    ASSERT_EQ(image.height, 93);
    Mesh mesh;
    ASSERT_TRUE(loadMeshFile(mesh, cube));
    const ViewRect side = viewLayout(161, 93)[1];
    EXPECT_EQ(side.x, 80);
    EXPECT_EQ(side.width, 81);
    EXPECT_EQ(side.height, 44);
    EXPECT_TRUE(region(image, side).rgb == drawOneView(ViewKind::Side, mesh, 81, 44, "").rgb);
}

TEST_F(RenderTool, BadArgumentsAndFiles)
{
    const std::string out = " \"" + path("x.png") + "\"";
    EXPECT_EQ(run("render"), 2);
    // Both numbers whole, in range and alone: no blanks, signs or overflow.
    for (const char* size : {"500", "4x400", "99999x10", "4294967304x8", " 500x400", "500x400 ", "+500x400",
                             "500x-8", "500x400x3", "x400", "500x"})
        EXPECT_EQ(run("render \"" + cube + "\"" + out + " --size \"" + size + "\""), 2) << size;
    EXPECT_EQ(run("render \"" + cube + "\"" + out + " --texture /no/such/texture.png"), 2);
    EXPECT_EQ(run("render /no/such/mesh.pq" + out), 1);
    EXPECT_FALSE(fs::exists(path("x.png")));
    std::ofstream(path("junk.png")) << "not a picture";
    EXPECT_EQ(run("render \"" + cube + "\"" + out + " --texture \"" + path("junk.png") + "\""), 1);
    EXPECT_EQ(run("render \"" + cube + "\" /no/such/folder/x.png"), 1);

    // Without labels the views are still drawn, with a warning.
    EXPECT_EQ(run("render \"" + cube + "\"" + out + " --labels \"" + dir.string() + "\""), 0);
    std::ifstream said(path("out.txt"));
    const std::string text((std::istreambuf_iterator<char>(said)), std::istreambuf_iterator<char>());
    EXPECT_NE(text.find("labels are missing"), std::string::npos);
    EXPECT_EQ(picture("x.png").width, 500);
}
