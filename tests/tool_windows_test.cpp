// Scale, Rotate, the automatic texture coordinates, the Triangles and Texture windows and the group drag.
#include <gtest/gtest.h>

#include <cmath>
#include <numeric>

#include "app/app.h"
#include "tests/fake_window_layer.h"
#include "tests/test_mesh.h"

namespace {

// Title, size and every field of a window: "Title WxH id@x,y,w,h=text ...".
std::string describe(const FakeWindowLayer::Window& w)
{
    std::string out = w.spec.title + ' ' + std::to_string(w.spec.width) + 'x' + std::to_string(w.spec.height);
    for (const auto& [id, g] : w.gadgets)
        out += ' ' + std::to_string(id) + '@' + std::to_string(g.x) + ',' + std::to_string(g.y) + ',' +
               std::to_string(g.width) + ',' + std::to_string(g.height) + '=' + g.text;
    return out;
}

struct ToolWindows : ::testing::Test {
    FakeWindowLayer fake;
    AppState state;
    std::string seen;  // the modal window as it waited, " active" added when it had the focus
    std::vector<std::string> reads;  // files handed to the texture reader

    void SetUp() override
    {
        fake.attach(state);
        state.prefs.language = 1;
        for (int32_t n = windowFront; n <= window3D; ++n) fake.openWindow(n, WindowSpec{.width = 200, .height = 200, .title = {}});
    }

    // Puts the cursor over a view's model point (a, b), 100 pixels a unit, and makes that view active.
    void pointAt(ViewKind view, float a, float b)
    {
        const float down = view == ViewKind::Top ? b : -b;  // Top's second coordinate grows downwards
        fake.active = windowOfView(view);
        fake.cursor[fake.active] = {static_cast<int32_t>(std::lround((a + 1) * 100)), static_cast<int32_t>(std::lround((down + 1) * 100))};
    }

    // When the modal window first waits: notes how it looks, fills its fields and closes it.
    void answer(int32_t number, std::vector<std::string> texts)
    {
        fake.onIdle = [this, number, texts, done = false](FakeWindowLayer& f) mutable {
            if (done || !f.isWindowOpen(number)) return;
            done = true;
            seen = describe(f.windows[number]) + (f.active == number && f.windows[number].shown ? " active" : "");
            for (size_t i = 0; i < texts.size(); ++i)
                if (!texts[i].empty()) f.setGadgetText(number, static_cast<int32_t>(i) + 1, texts[i]);
            f.push(eventClose, number);
        };
    }

    void expectVertices(const std::vector<Vec3>& want)
    {
        ASSERT_EQ(state.mesh.vertices.size(), want.size());
        for (size_t i = 0; i < want.size(); ++i) {
            const Vec3 v = vertexPosition(state.mesh, static_cast<int32_t>(i));
            EXPECT_LT(std::fabs(v.x - want[i].x) + std::fabs(v.y - want[i].y) + std::fabs(v.z - want[i].z), 3e-5f)
                << i << ": " << v.x << ' ' << v.y << ' ' << v.z;
        }
    }

    // A triangle selected, the picture chosen (two files decode) and the Texture window opened.
    void openTextureWindowOn(const std::string& picture)
    {
        if (state.mesh.vertices.empty()) {
            for (int32_t i = 0; i < 4; ++i) appendVertex(state.mesh);
            addTriangle(state.mesh, 1, 2, 3, {0.0f, 1.0f, 0.1234567f}, {0.25f, 0.5f, 1.0f}).selected = 1;
        }
        fake.fileAnswers.push_back(picture);
        const auto read = [this](const std::string& file) {
            const int32_t width = reads.emplace_back(file) == "/wall.png" ? 256 : 0;
            return RgbImage{width, width / 2, std::vector<uint8_t>(static_cast<size_t>(width * width / 2 * 3))};
        };
        chooseTextureWith(state, read, [this](const RgbImage&) { return 40u + static_cast<uint32_t>(reads.size()); });
        openTextureWindow(state);
    }

    // One main-loop pass with the Texture window open; returns what it drew.
    std::string pass(int32_t kind = eventNone, int32_t window = windowTexture, int32_t control = 0, int32_t note = 0)
    {
        state.event = WindowEvent{state.eventKind = kind, state.eventWindow = window, 0, control, note};
        fake.drawing.clear();
        textureWindowStep(state);
        std::string out;
        for (const auto& op : fake.drawing)
            out += op.kind + '(' + std::to_string(op.x0) + ',' + std::to_string(op.y0) + ',' + std::to_string(op.x1) +
                   ',' + std::to_string(op.y1) + ',' + std::to_string(op.value) + ")";
        return out;
    }

    std::string marks() const
    {
        return std::accumulate(state.mesh.vertices.begin(), state.mesh.vertices.end(), std::string(),
                               [](std::string out, const Vertex& v) { return out + std::to_string(v.marked); });
    }
};

}  // namespace

TEST_F(ToolWindows, GroupDragScaleRotateAutoTexCoordsTrianglesAndTextureWindows)
{
    addVertex(state.mesh, 0.0f, 0.0f, 0.5f, 1), addVertex(state.mesh, 0.2f, 0.1f, 0.0f, 1), addVertex(state.mesh, 0.9f, 0.9f, 0.9f);
    pointAt(ViewKind::Front, -0.5f, 0.0f);
    beginDragAt(state);
    pointAt(ViewKind::Front, -0.4f, 0.0f);
    dragSelectedVertices(state);
    dragSelectedVertices(state);  // no motion since: no move
    expectVertices({{0.1f, 0.0f, 0.5f}, {0.3f, 0.1f, 0.0f}, {0.9f, 0.9f, 0.9f}});
    pointAt(ViewKind::Front, -0.3f, -0.25f);
    dragSelectedVertices(state);
    expectVertices({{0.2f, -0.25f, 0.5f}, {0.4f, -0.15f, 0.0f}, {0.9f, 0.9f, 0.9f}});
    applyArrowKey(state.camera, windowFront, vkLeft);  // a pan between events is no motion
    dragSelectedVertices(state);
    pointAt(ViewKind::Top, -0.8f, -0.8f);  // in Top without a click: this event takes the reference
    dragSelectedVertices(state);
    pointAt(ViewKind::Top, -0.7f, -0.6f);
    dragSelectedVertices(state);
    expectVertices({{0.3f, -0.25f, 0.7f}, {0.5f, -0.15f, 0.2f}, {0.9f, 0.9f, 0.9f}});
    fake.active = windowMain;  // a drag begun outside the views: the first event in one takes the reference
    beginDragAt(state);
    pointAt(ViewKind::Front, 0.5f, 0.5f);
    dragSelectedVertices(state);
    expectVertices({{0.3f, -0.25f, 0.7f}, {0.5f, -0.15f, 0.2f}, {0.9f, 0.9f, 0.9f}});

    // Steps of 0.1 to the right on a grid; a grid that is not finite and positive is none.
    state.mesh = Mesh{};
    addVertex(state.mesh, 0.25f, 0.0f, 0.0f, 1);
    const std::pair<float, std::vector<float>> cases[] = {{INFINITY, {0.1f, 0.2f}}, {-0.5f, {0.1f}},
                                                          {0.5f, {0, 0, 0, 0, 0.5f, 0.5f, 0.5f, 0.5f, 0.5f, 1, 1, 1}}};
    for (const auto& [grid, moved] : cases) {
        state.mesh.vertices[0].x = 0.25f;
        state.prefs.snapGrid = grid;
        pointAt(ViewKind::Front, 0.0f, 0.0f);
        beginDragAt(state);
        for (float want : moved) {
            fake.cursor[windowFront].x += 10;
            dragSelectedVertices(state);
            expectVertices({{0.25f + want, 0.0f, 0.0f}});
        }
    }
    fake.cursor[windowFront].x -= 80;  // the 0.2 left over counts against the 0.8 back: one step
    dragSelectedVertices(state);
    expectVertices({{0.75f, 0.0f, 0.0f}});
    beginDragAt(state);  // the next drag keeps nothing of the 0.1 this one left over
    fake.cursor[windowFront].x += 50;
    dragSelectedVertices(state);
    expectVertices({{1.25f, 0.0f, 0.0f}});

    state.mesh = Mesh{};
    addVertex(state.mesh, 0.0f, 1.0f, 0.0f, 1), addVertex(state.mesh, 2.0f, 0.0f, 4.0f, 1), addVertex(state.mesh, 5.0f, 5.0f, 5.0f);
    fake.openWindow(windowFront, WindowSpec{});
    fake.push(eventLeftDown, windowFront, mkLButton);  // the fake activates the clicked view
    fake.push(eventClose, windowMain);                 // not the modal window's own: ignored
    answer(windowScale, {"2", "1,5", "X"});            // "1,5" reads 1, "X" reads 0
    scaleSelection(state);
    EXPECT_EQ(seen, "Scale Object 160x86 1@0,0,160,20=1.0X 2@0,20,160,20=1.0Y 3@0,40,160,20=1.0Z "
                    "7@0,62,80,24=OK 8@80,62,80,24=Cancel active");
    expectVertices({{-1.0f, 1.0f, 2.0f}, {3.0f, 0.0f, 2.0f}, {5.0f, 5.0f, 5.0f}});
    answer(windowRotate, {"44.5", "45.5", "-2.5Z"});  // whole degrees, halves to even
    rotateSelection(state);
    EXPECT_EQ(seen, "Rotate Object 160x86 1@0,0,160,20=0X 2@0,20,160,20=0Y 3@0,40,160,20=0Z "
                    "7@0,62,80,24=OK 8@80,62,80,24=Cancel active");
    const Vec3 r = rotateVector(-2.0f, 0.5f, 0.0f, 44, 46, -2);
    const std::vector<Vec3> rotated{{1.0f + r.x, 0.5f + r.y, 2.0f + r.z}, {1.0f - r.x, 0.5f - r.y, 2.0f - r.z}, {5.0f, 5.0f, 5.0f}};
    expectVertices(rotated);

    // Gone without an answer, or cancelled, a window applies nothing; nothing selected opens none.
    fake.onIdle = [](FakeWindowLayer& f) { f.closeWindow(windowScale); };
    scaleSelection(state);
    fake.onIdle = [](FakeWindowLayer& f) { f.setGadgetText(windowScale, 1, "3"), f.pushControl(windowScale, 8, notifyClicked); };
    scaleSelection(state);
    expectVertices(rotated);
    deselectAllVertices(state.mesh);
    rotateSelection(state);
    EXPECT_EQ(fake.messages.size(), 1u);
    EXPECT_EQ(fake.active, windowMain);

    state.mesh = Mesh{};
    addVertex(state.mesh, 0, 0, 0);
    for (int32_t i = 0; i < 3; ++i) addTriangle(state.mesh, 0, 0, 0, {0.5f, 0.25f, 0.75f}, {0.5f, 0.5f, 0.5f});
    state.uvMin = 0.125f;
    const std::vector<std::byte> before = writeMeshBytes(state.mesh);
    for (auto answers : {std::deque<std::string>{""}, std::deque<std::string>{"0", ""}, std::deque<std::string>{"abc", "3"}}) {
        EXPECT_EQ(std::pair(writeMeshBytes(state.mesh) == before, state.uvMin), std::pair(true, 0.125f));
        fake.promptAnswers = answers;
        autoTexCoordsCommand(state);
    }
    seen.clear();
    for (const auto& p : fake.prompts) seen += p.title + '|' + p.message + '|' + p.defaultText + '|';
    EXPECT_EQ(seen.substr(seen.size() / 5 * 3), "Minimum|Give me the minimum of UV-coords|0.0|Maximum|Give me the maximum of UV-coords|0.0|");
    EXPECT_EQ(fake.prompts.size(), 5u) << "no question after a cancel";
    fake.promptAnswers = {""};
    state.prefs.language = 0, autoTexCoordsCommand(state), state.prefs.language = 1;
    EXPECT_EQ(fake.prompts.back().message, "Kleinste UV-Koordinate eingeben") << "German in German";
    EXPECT_EQ(std::pair(state.uvMin, state.uvMax), std::pair(0.0f, 3.0f));
    for (size_t i = 0; i < 3; ++i)  // every other triangle takes the other half of the square
        EXPECT_EQ(std::pair(state.mesh.triangles[i].u, state.mesh.triangles[i].v),
                  (i == 1 ? std::pair(std::array<float, 3>{0, 3, 3}, std::array<float, 3>{0, 0, 3})
                          : std::pair(std::array<float, 3>{0, 3, 0}, std::array<float, 3>{0, 3, 3})));

    state.mesh = Mesh{};
    openTriangleList(state);
    EXPECT_FALSE(fake.isWindowOpen(windowTriangles)) << "nothing without triangles";
    addVertex(state.mesh, 0, 0, 0);
    for (int32_t i = 0; i < 4; ++i) appendTriangle(state.mesh);
    state.mesh.triangles[2].selected = 1;
    openTriangleList(state);
    EXPECT_EQ(std::pair(fake.gadgetText(windowTriangles, 1), fake.windows[windowTriangles].gadgets.at(1).maximum),
              std::pair(std::string("3"), 4)) << "the selected number, up to the count";
    state.eventWindow = windowTriangles, state.eventKind = eventNone;  // the step runs on passes without a new event too
    const std::pair<const char*, int32_t> steps[] = {{"4", 3}, {"", -1}, {"0", -1}, {"5", -1}, {"99999999999", -1}, {"1", 0}, {"2", 1}};
    for (const auto& [text, selected] : steps) {
        selectTriangleNumber(state.mesh, 3);
        fake.setGadgetText(windowTriangles, 1, text);
        state.dirtyViews = 0;
        triangleListStep(state);
        EXPECT_EQ(firstSelectedTriangle(state.mesh), selected) << text;
        EXPECT_EQ(state.dirtyViews, allViews) << "the views show the new selection";
    }
    state.eventKind = eventClose, fake.setGadgetText(windowTriangles, 1, "3");
    triangleListStep(state);
    EXPECT_EQ(std::tuple(fake.isWindowOpen(windowTriangles), fake.active, firstSelectedTriangle(state.mesh)),
              std::tuple(false, windowMain, 1)) << "closing keeps the selection";

    state.mesh = Mesh{};
    openTextureWindowOn("/wall.png");
    openTextureWindowOn("/broken.jpg");  // no stale picture of the previous file: the window stays as it was
    EXPECT_EQ(std::tuple(fake.hasImage(imageTexture), reads.size(), fake.messages.back().text), std::tuple(false, 2u, "No texture found"));
    openTextureWindowOn("/wall.png");
    EXPECT_EQ(marks(), "0000") << "opening marks nothing";
    EXPECT_EQ(pass(), "image(0,60,0,0,100)rect(-3,89,6,6,16711680)rect(253,121,6,6,16711680)rect(29,185,6,6,16711680)"
                      "line(0,92,256,124,1)line(256,124,32,188,1)line(0,92,32,188,1)");
    EXPECT_EQ(state.mesh.triangles[0].u[2], 0.1234567f) << "the fields' six decimals, written by the window, are no edit";

    state.dirtyViews = 0;
    const std::pair<int32_t, const char*> typed[] = {{200, "1e300"}, {201, "-1e30"}, {202, "-2"}, {205, "abc"}};
    for (const auto& [field, text] : typed) fake.setGadgetText(windowTexture, field, text);
    const std::string drawn = pass();
    const Triangle& t = state.mesh.triangles[0];
    EXPECT_EQ(std::tuple(t.u[0], t.v[0], t.u[1], t.v[2]), std::tuple(INFINITY, -1e30f, -2.0f, 0.0f));
    EXPECT_EQ(state.dirtyViews, viewBit(ViewKind::ThreeD)) << "texture coordinates show in 3D only";
    EXPECT_NE(drawn.find("rect(1000000,-1000000,6,6,16711680)rect(-515,121,6,6,16711680)"), std::string::npos)
        << drawn << ": far corners are held where they cannot overflow";

    addTriangle(state.mesh, 0, 1, 2, {0.75f, 0.5f, 0.25f}, {0.125f, 0.0f, 1.0f});
    const std::pair<int32_t, const char*> focus[] = {{203, "0010"}, {205, "0001"}, {204, "0001"}, {199, "0001"}, {206, "0001"}, {201, "0100"}};
    for (const auto& [field, want] : focus)
        EXPECT_EQ((pass(eventControl, windowTexture, field, notifySetFocus), marks()), want) << field;

    selectNextTriangle(state.mesh);  // its own values are shown, not overwritten
    pass();
    EXPECT_EQ(std::tuple(state.mesh.triangles[1].u[0], state.mesh.triangles[0].u[0], fake.gadgetText(windowTexture, 200), marks()),
              std::tuple(0.75f, INFINITY, "0.750000", "1000")) << "the mark moves to corner 0 of the new one";
    fake.setGadgetText(windowTexture, 205, "0.5");
    pass();
    EXPECT_EQ(state.mesh.triangles[1].v[2], 0.5f) << "typing goes to the triangle shown";

    pass(eventClose, windowTexture);
    EXPECT_EQ(std::tuple(fake.isWindowOpen(windowTexture), fake.active, marks()), std::tuple(false, windowMain, "0000"));
    openTextureWindowOn("/wall.png");
    state.mesh.triangles[1].selected = 0;
    pass(eventNone, windowMain);  // a lost selection says so and closes the window
    EXPECT_EQ(std::tuple(fake.messages.back().text, fake.isWindowOpen(windowTexture)), std::tuple("No triangle selected", false));
}
