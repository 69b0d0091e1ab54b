// "choose texture" and the Texture window over the scripted window layer: the
// picture, the six fields, the drawing over the picture and the corner marks.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <tuple>

#include "app/app.h"
#include "tests/fake_window_layer.h"

namespace {

const std::string picture = "/textures/wall.png";  // 256 x 128 for the fake
const std::string otherPicture = "/textures/floor.bmp";

class TextureWindow : public ::testing::Test {
protected:
    FakeWindowLayer fake;
    AppState state;
    std::map<std::string, std::pair<int32_t, int32_t>> decodable;  // what the texture reader decodes
    std::vector<std::string> reads;     // files handed to the texture reader
    std::vector<int32_t> uploads;       // widths of the images uploaded
    TextureReader reader = [this](const std::string& file) {
        reads.push_back(file);
        const auto it = decodable.find(file);
        if (it == decodable.end()) return RgbImage{};
        const auto [width, height] = it->second;
        return RgbImage{width, height, std::vector<uint8_t>(static_cast<size_t>(width * height * 3))};
    };
    TextureUploader uploader = [this](const RgbImage& image) {
        uploads.push_back(image.width);
        return 40u + static_cast<uint32_t>(uploads.size());
    };

    void SetUp() override
    {
        fake.attach(state);
        state.prefs.language = 1;
        for (int32_t n = windowFront; n <= window3D; ++n) fake.openWindow(n, WindowSpec{});
        decodable[picture] = {256, 128};
        decodable[otherPicture] = {64, 32};
        for (int32_t i = 0; i < 4; ++i) appendVertex(state.mesh);
        Triangle& t = appendTriangle(state.mesh);
        t.vertexIndex = {1, 2, 3};
        t.u = {0.0f, 1.0f, 0.1234567f};
        t.v = {0.25f, 0.5f, 1.0f};
        t.selected = 1;
    }

    void choose(const std::string& answer)
    {
        fake.fileAnswers.push_back(answer);
        chooseTextureWith(state, reader, uploader);
    }

    // One main-loop pass as the loop calls the step: the event of the pass, if any.
    void pass(int32_t kind = eventNone, int32_t window = -2, int32_t control = 0, int32_t notification = 0)
    {
        state.eventKind = kind;
        if (window != -2) state.eventWindow = window;
        state.event = WindowEvent{kind, state.eventWindow, 0, control, notification};
        fake.drawing.clear();
        textureWindowStep(state);
    }

    std::vector<FakeWindowLayer::DrawOp> drawn(const std::string& kind) const
    {
        std::vector<FakeWindowLayer::DrawOp> out;
        for (const auto& op : fake.drawing)
            if (op.kind == kind && op.window == windowTexture) out.push_back(op);
        return out;
    }

    std::array<int32_t, 4> marks() const
    {
        std::array<int32_t, 4> m{};
        for (size_t i = 0; i < 4; ++i) m[i] = state.mesh.vertices[i].marked;
        return m;
    }

    Triangle& triangle() { return state.mesh.triangles[0]; }
};

}  // namespace

// ---- choose texture -----------------------------------------------------------------

TEST_F(TextureWindow, ChooseTextureLoadsPictureAndTextureInThe3DContext)
{
    choose(picture);
    ASSERT_EQ(fake.fileDialogs.size(), 1u);
    const auto& d = fake.fileDialogs[0];
    EXPECT_EQ(d.title, "Texture");
    EXPECT_EQ(d.startText, "");
    EXPECT_EQ(d.filter, "BMP|*.bmp|JPG|*.jpg;*.jpeg|PNG|*.png");
    EXPECT_EQ(d.filterIndex, 0);
    EXPECT_FALSE(d.save);
    EXPECT_EQ(fake.current, window3D);
    EXPECT_EQ(state.textureFileName, picture);
    EXPECT_EQ(fake.imageWidth(imageTexture), 256);
    EXPECT_EQ(fake.imageHeight(imageTexture), 128);
    EXPECT_EQ(reads, std::vector<std::string>{picture}) << "one decode for texture and picture";
    EXPECT_EQ(uploads, std::vector<int32_t>{256});
    EXPECT_EQ(state.textureName.name(), 41u);
}

TEST_F(TextureWindow, CancelledChooseTextureKeepsTheLoadedTexture)
{
    choose(picture);
    choose("");
    EXPECT_EQ(state.textureName.name(), 41u);
    EXPECT_EQ(state.textureFileName, picture);
    EXPECT_TRUE(fake.hasImage(imageTexture));
    EXPECT_EQ(uploads.size(), 1u);
    openTextureWindow(state);
    EXPECT_TRUE(fake.isWindowOpen(windowTexture));
    EXPECT_TRUE(fake.messages.empty());
}

TEST_F(TextureWindow, APictureTheTextureReaderRefusesIsNoTexture)
{
    // The platform would show a GIF; the texture reader takes none.
    fake.imageFiles["/textures/anim.gif"] = {32, 32};
    choose("/textures/anim.gif");
    EXPECT_FALSE(fake.hasImage(imageTexture));
    EXPECT_EQ(state.textureName.name(), 0u);
    EXPECT_TRUE(uploads.empty());
    openTextureWindow(state);
    EXPECT_FALSE(fake.isWindowOpen(windowTexture));
    ASSERT_EQ(fake.messages.size(), 1u);
    EXPECT_EQ(fake.messages[0].text, "No texture found");
}

TEST_F(TextureWindow, ChoosingAnotherOrAnUnreadableFileReplacesTheTexture)
{
    choose(picture);
    choose(otherPicture);
    EXPECT_EQ(fake.imageWidth(imageTexture), 64);
    EXPECT_EQ(state.textureName.name(), 42u);
    choose("/textures/broken.jpg");
    EXPECT_FALSE(fake.hasImage(imageTexture)) << "no stale picture of the previous file";
    EXPECT_EQ(state.textureName.name(), 0u);
    EXPECT_EQ(state.textureFileName, "/textures/broken.jpg");
    openTextureWindow(state);
    ASSERT_EQ(fake.messages.size(), 1u);
    EXPECT_EQ(fake.messages[0].text, "No texture found");
}

// ---- opening the window ----------------------------------------------------------------

TEST_F(TextureWindow, OpeningNeedsASelectedTriangleThenAPicture)
{
    triangle().selected = 0;
    openTextureWindow(state);
    EXPECT_FALSE(fake.isWindowOpen(windowTexture));
    EXPECT_TRUE(fake.messages.empty()) << "no selection: nothing is said";

    triangle().selected = 1;
    openTextureWindow(state);
    EXPECT_FALSE(fake.isWindowOpen(windowTexture));
    ASSERT_EQ(fake.messages.size(), 1u);
    EXPECT_EQ(fake.messages[0].title, "Texture");
    EXPECT_EQ(fake.messages[0].text, "No texture found");
    state.prefs.language = 0;
    openTextureWindow(state);
    EXPECT_EQ(fake.messages.back().text, "Keine Textur vorhanden");
}

TEST_F(TextureWindow, WindowIsThePictureSizeWithSixFieldsAbove)
{
    choose(picture);
    openTextureWindow(state);
    ASSERT_TRUE(fake.isWindowOpen(windowTexture));
    const FakeWindowLayer::Window& w = fake.windows[windowTexture];
    EXPECT_EQ(w.spec.title, "Texture");
    EXPECT_EQ(w.spec.width, 256);
    EXPECT_EQ(w.spec.height, 188);
    EXPECT_EQ(w.spec.style, WindowStyle::Tool);
    EXPECT_EQ(w.spec.placement, WindowPlacement::CentreOverActive);
    EXPECT_TRUE(w.shown);
    const std::map<int32_t, std::tuple<int32_t, int32_t, std::string>> want = {
        {200, {0, 0, "0.000000"}},   {201, {128, 0, "0.250000"}},  {202, {0, 20, "1.000000"}},
        {203, {128, 20, "0.500000"}}, {204, {0, 40, "0.123457"}}, {205, {128, 40, "1.000000"}}};
    ASSERT_EQ(w.gadgets.size(), 6u);
    for (const auto& [id, place] : want) {
        const FakeWindowLayer::Gadget& g = w.gadgets.at(id);
        EXPECT_EQ(g.x, std::get<0>(place)) << id;
        EXPECT_EQ(g.y, std::get<1>(place)) << id;
        EXPECT_EQ(g.text, std::get<2>(place)) << id;
        EXPECT_EQ(g.width, 128) << id;
        EXPECT_EQ(g.height, 20) << id;
    }
    EXPECT_EQ(marks(), (std::array<int32_t, 4>{0, 0, 0, 0})) << "opening marks nothing";
}

// ---- every pass --------------------------------------------------------------------------

TEST_F(TextureWindow, FirstPassRoundsTheCoordinatesToSixDecimals)
{
    choose(picture);
    openTextureWindow(state);
    pass(eventNone, windowTexture);
    EXPECT_EQ(triangle().u[2], 0.123457f);
    EXPECT_EQ(triangle().v[1], 0.5f);
}

TEST_F(TextureWindow, FieldsAreWrittenIntoTheTriangleAndTheCornersDrawn)
{
    choose(picture);
    openTextureWindow(state);
    fake.setGadgetText(windowTexture, 202, "0.5");
    fake.setGadgetText(windowTexture, 205, "abc");
    pass(eventNone, windowTexture);
    EXPECT_EQ(triangle().u[1], 0.5f);
    EXPECT_EQ(triangle().v[2], 0.0f) << "a field without a number reads 0";

    const auto images = drawn("image");
    ASSERT_EQ(images.size(), 1u);
    EXPECT_EQ(images[0].value, imageTexture);
    EXPECT_EQ(images[0].x0, 0);
    EXPECT_EQ(images[0].y0, 60);
    // Corners at (256 u, 60 + 128 v): (0, 92), (128, 124), (31.6 -> 32, 60).
    const auto squares = drawn("rect");
    ASSERT_EQ(squares.size(), 3u);
    const int32_t want[3][2] = {{-3, 89}, {125, 121}, {29, 57}};
    for (size_t k = 0; k < 3; ++k) {
        EXPECT_EQ(squares[k].x0, want[k][0]) << "corner " << k;
        EXPECT_EQ(squares[k].y0, want[k][1]) << "corner " << k;
        EXPECT_EQ(squares[k].x1, 6);
        EXPECT_EQ(squares[k].y1, 6);
        EXPECT_EQ(squares[k].value, 0xFF0000);
    }
    const auto lines = drawn("line");
    ASSERT_EQ(lines.size(), 3u);
    const int32_t ends[3][4] = {{0, 92, 128, 124}, {128, 124, 32, 60}, {0, 92, 32, 60}};
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(lines[i].x0, ends[i][0]) << "line " << i;
        EXPECT_EQ(lines[i].y0, ends[i][1]) << "line " << i;
        EXPECT_EQ(lines[i].x1, ends[i][2]) << "line " << i;
        EXPECT_EQ(lines[i].y1, ends[i][3]) << "line " << i;
        EXPECT_EQ(lines[i].value, 1) << "lines invert";
    }
}

TEST_F(TextureWindow, HugeOrOddValuesAreDrawnWithoutTrouble)
{
    choose(picture);
    openTextureWindow(state);
    fake.setGadgetText(windowTexture, 200, "1e300");
    fake.setGadgetText(windowTexture, 201, "-1e30");
    fake.setGadgetText(windowTexture, 202, "-2");
    pass(eventNone, windowTexture);
    EXPECT_TRUE(std::isinf(triangle().u[0]));
    EXPECT_EQ(triangle().v[0], -1e30f);
    const auto squares = drawn("rect");
    ASSERT_EQ(squares.size(), 3u);
    EXPECT_EQ(squares[1].x0, -515) << "outside the picture is not clipped";
    EXPECT_GT(squares[0].x0, 0);
    EXPECT_LT(squares[0].y0, 0);
}

TEST_F(TextureWindow, FieldFocusMarksItsCorner)
{
    choose(picture);
    openTextureWindow(state);
    pass(eventControl, windowTexture, 203, notifySetFocus);
    EXPECT_EQ(marks(), (std::array<int32_t, 4>{0, 0, 1, 0}));
    pass(eventControl, windowTexture, 204, notifySetFocus);
    EXPECT_EQ(marks(), (std::array<int32_t, 4>{0, 0, 0, 1}));
    pass(eventControl, windowTexture, 200, notifyChange);
    EXPECT_EQ(marks(), (std::array<int32_t, 4>{0, 0, 0, 1})) << "only focus moves the mark";
    pass(eventControl, windowTexture, 201, notifySetFocus);
    EXPECT_EQ(marks(), (std::array<int32_t, 4>{0, 1, 0, 0}));
    // A corner that shares its vertex with another keeps the mark.
    triangle().vertexIndex = {1, 2, 1};
    pass(eventControl, windowTexture, 200, notifySetFocus);
    EXPECT_EQ(state.mesh.vertices[1].marked, 1);
}

TEST_F(TextureWindow, CloseBoxClearsTheMarksAndReturnsToTheMainWindow)
{
    choose(picture);
    openTextureWindow(state);
    pass(eventControl, windowTexture, 202, notifySetFocus);
    pass(eventClose, windowTexture);
    EXPECT_FALSE(fake.isWindowOpen(windowTexture));
    EXPECT_EQ(fake.active, windowMain);
    EXPECT_EQ(marks(), (std::array<int32_t, 4>{0, 0, 0, 0}));
}

TEST_F(TextureWindow, LostSelectionSaysSoClosesAndKeepsTheMark)
{
    choose(picture);
    openTextureWindow(state);
    pass(eventControl, windowTexture, 205, notifySetFocus);
    triangle().selected = 0;
    pass();
    ASSERT_EQ(fake.messages.size(), 1u);
    EXPECT_EQ(fake.messages[0].title, "Triangle-Selection");
    EXPECT_EQ(fake.messages[0].text, "No triangle selected");
    EXPECT_FALSE(fake.isWindowOpen(windowTexture));
    EXPECT_EQ(fake.active, windowMain);
    EXPECT_EQ(marks(), (std::array<int32_t, 4>{0, 0, 0, 1}));
}

TEST_F(TextureWindow, StaysInFrontWhileTheLatestEventIsAnotherWindows)
{
    choose(picture);
    openTextureWindow(state);
    fake.active = windowFront;
    pass(eventLeftDown, windowFront);
    EXPECT_EQ(fake.active, windowTexture);
    fake.active = windowMain;
    pass();  // no new event: the latest is still the view's
    EXPECT_EQ(fake.active, windowTexture);
    EXPECT_TRUE(fake.isWindowOpen(windowTexture));
}

TEST_F(TextureWindow, AnotherSelectedTriangleIsShownNotOverwritten)
{
    Triangle& second = appendTriangle(state.mesh);
    second.vertexIndex = {0, 1, 2};
    second.u = {0.75f, 0.5f, 0.25f};
    second.v = {0.125f, 0.0f, 1.0f};
    choose(picture);
    openTextureWindow(state);
    pass(eventControl, windowTexture, 203, notifySetFocus);  // corner 1: vertex 2
    selectNextTriangle(state.mesh);
    pass(eventNone, windowTexture);
    const Triangle& now = state.mesh.triangles[1];
    EXPECT_EQ(now.u, (std::array<float, 3>{0.75f, 0.5f, 0.25f}));
    EXPECT_EQ(now.v, (std::array<float, 3>{0.125f, 0.0f, 1.0f}));
    EXPECT_EQ(fake.gadgetText(windowTexture, 200), "0.750000");
    EXPECT_EQ(triangle().u[0], 0.0f) << "the first keeps its own values";
    EXPECT_EQ(marks(), (std::array<int32_t, 4>{0, 1, 0, 0})) << "the mark moves to corner 1 of the new one";
    fake.setGadgetText(windowTexture, 205, "0.5");
    pass(eventNone, windowTexture);
    EXPECT_EQ(now.v[2], 0.5f) << "typing goes to the triangle shown";
}
