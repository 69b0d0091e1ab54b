// The Scale and Rotate windows, the prompts of the automatic texture
// coordinates and the Triangles window, over the scripted window layer.
#include <gtest/gtest.h>

#include "app/app.h"
#include "tests/fake_window_layer.h"
#include "tests/test_mesh.h"

namespace {

class ToolWindows : public ::testing::Test {
protected:
    FakeWindowLayer fake;
    AppState state;
    FakeWindowLayer::Window seen;  // the modal window as it looked while waiting
    int32_t activeWhileWaiting = windowNone;

    void SetUp() override
    {
        fake.attach(state);
    }

    // When the modal window first waits for input, types the non-empty texts
    // into its fields from the top down and uses its close box.
    void answer(int32_t number, std::vector<std::string> texts)
    {
        fake.onIdle = [this, number, texts, done = false](FakeWindowLayer& f) mutable {
            if (done || !f.isWindowOpen(number)) return;
            done = true;
            seen = f.windows[number];
            activeWhileWaiting = f.active;
            std::vector<std::pair<int32_t, int32_t>> byRow;  // (y, id)
            for (const auto& [id, gadget] : seen.gadgets) byRow.emplace_back(gadget.y, id);
            std::sort(byRow.begin(), byRow.end());
            for (size_t i = 0; i < texts.size() && i < byRow.size(); ++i)
                if (!texts[i].empty()) f.setGadgetText(number, byRow[i].second, texts[i]);
            f.push(eventClose, number);
        };
    }

    void expectVertex(size_t i, float x, float y, float z, float tolerance = 1e-6f)
    {
        const Vertex& v = state.mesh.vertices.at(i);
        EXPECT_NEAR(v.x, x, tolerance) << "vertex " << i;
        EXPECT_NEAR(v.y, y, tolerance) << "vertex " << i;
        EXPECT_NEAR(v.z, z, tolerance) << "vertex " << i;
    }

    void addTriangles(int32_t count)
    {
        addVertex(state.mesh, 0, 0, 0, 0);
        for (int32_t i = 0; i < count; ++i) appendTriangle(state.mesh);
    }

    std::vector<int32_t> selectedTriangles() const
    {
        std::vector<int32_t> out;
        for (size_t i = 0; i < state.mesh.triangles.size(); ++i)
            if (state.mesh.triangles[i].selected == 1) out.push_back(static_cast<int32_t>(i));
        return out;
    }
};

}  // namespace

// ---- Scale and Rotate -----------------------------------------------------------------

TEST_F(ToolWindows, ScaleAndRotateWindowsHaveThreeFieldsWithTheirDefaults)
{
    const struct {
        void (*command)(AppState&);
        int32_t window;
        const char* title;
        std::array<const char*, 3> texts;
    } cases[] = {{scaleSelection, windowScale, "Scale Object", {"1.0X", "1.0Y", "1.0Z"}},
                 {rotateSelection, windowRotate, "Rotate Object", {"0X", "0Y", "0Z"}}};
    for (const auto& c : cases) {
        answer(c.window, {});
        c.command(state);
        EXPECT_EQ(seen.spec.title, c.title);
        EXPECT_EQ(seen.spec.width, 100);
        EXPECT_EQ(seen.spec.height, 60);
        EXPECT_EQ(seen.spec.style, WindowStyle::Tool);
        EXPECT_EQ(seen.spec.placement, WindowPlacement::CentreOverActive);
        EXPECT_TRUE(seen.shown);
        EXPECT_EQ(activeWhileWaiting, c.window);
        ASSERT_EQ(seen.gadgets.size(), 3u);
        int32_t row = 0;
        for (const auto& [id, g] : seen.gadgets) {
            EXPECT_EQ(g.kind, "text");
            EXPECT_EQ(g.text, c.texts[static_cast<size_t>(row)]);
            EXPECT_EQ(g.x, 0);
            EXPECT_EQ(g.y, 20 * row);
            EXPECT_EQ(g.width, 100);
            EXPECT_EQ(g.height, 20);
            ++row;
        }
        EXPECT_FALSE(fake.isWindowOpen(c.window));
        EXPECT_EQ(fake.active, windowMain);
    }
}

TEST_F(ToolWindows, ClosingUneditedOrWithoutSelectionChangesNothing)
{
    addVertex(state.mesh, 0.5f, -0.25f, 2.0f, 1);
    addVertex(state.mesh, -1.0f, 3.0f, 0.125f, 1);
    addVertex(state.mesh, 7.0f, 7.0f, 7.0f, 0);
    const std::vector<Vertex> before = state.mesh.vertices;
    answer(windowScale, {});
    scaleSelection(state);
    answer(windowRotate, {});
    rotateSelection(state);
    for (size_t i = 0; i < before.size(); ++i)
        expectVertex(i, before[i].x, before[i].y, before[i].z);

    deselectAllVertices(state.mesh);
    answer(windowScale, {"3", "3", "3"});
    scaleSelection(state);
    EXPECT_TRUE(seen.shown) << "the window opens without a selection too";
    answer(windowRotate, {"90", "90", "90"});
    rotateSelection(state);
    for (size_t i = 0; i < before.size(); ++i)
        expectVertex(i, before[i].x, before[i].y, before[i].z);
}

TEST_F(ToolWindows, ScaleAboutTheSelectionCentre)
{
    addVertex(state.mesh, 0.0f, 0.0f, 0.0f, 1);
    addVertex(state.mesh, 2.0f, 0.0f, 0.0f, 1);
    addVertex(state.mesh, 5.0f, 5.0f, 5.0f, 0);
    answer(windowScale, {"2", "1", "1"});
    scaleSelection(state);
    expectVertex(0, -1.0f, 0.0f, 0.0f);
    expectVertex(1, 3.0f, 0.0f, 0.0f);
    expectVertex(2, 5.0f, 5.0f, 5.0f);
    // "1,5" reads 1, "X" reads 0: y flattens onto the centre, z is mirrored.
    state.mesh.vertices[0].y = 1.0f;
    state.mesh.vertices[1].z = 4.0f;
    answer(windowScale, {"1,5", "X", "-1"});
    scaleSelection(state);
    expectVertex(0, -1.0f, 0.5f, 4.0f);
    expectVertex(1, 3.0f, 0.5f, 0.0f);
}

TEST_F(ToolWindows, OneSelectedVertexIsItsOwnCentre)
{
    addVertex(state.mesh, 0.3f, 0.6f, 0.9f, 1);
    answer(windowScale, {"5", "5", "5"});
    scaleSelection(state);
    answer(windowRotate, {"30", "60", "90"});
    rotateSelection(state);
    expectVertex(0, 0.3f, 0.6f, 0.9f);
}

TEST_F(ToolWindows, RotateExamples)
{
    addVertex(state.mesh, 0.0f, 1.0f, 0.0f, 1);
    addVertex(state.mesh, 0.0f, -1.0f, 0.0f, 1);
    answer(windowRotate, {"90", "0", "0"});
    rotateSelection(state);
    expectVertex(0, 0.0f, 0.0f, 1.0f, 1e-6f);
    expectVertex(1, 0.0f, 0.0f, -1.0f, 1e-6f);

    state.mesh.vertices[0] = {1.0f, 0.0f, 0.0f, 1, 0};
    state.mesh.vertices[1] = {-1.0f, 0.0f, 0.0f, 1, 0};
    answer(windowRotate, {"90", "0", "90"});
    rotateSelection(state);
    expectVertex(0, 0.0f, 0.0f, 1.0f, 1e-6f);
    expectVertex(1, 0.0f, 0.0f, -1.0f, 1e-6f);
}

TEST_F(ToolWindows, RotationAnglesRoundToWholeDegreesHalvesToEven)
{
    const struct {
        const char* text;
        int32_t degrees;
    } cases[] = {{"44.5", 44}, {"45.5", 46}, {"0.4", 0}, {"-2.5Z", -2}};
    for (const auto& c : cases) {
        state.mesh.vertices.clear();
        addVertex(state.mesh, 1.0f, 0.0f, 0.0f, 1);
        addVertex(state.mesh, -1.0f, 0.0f, 0.0f, 1);
        answer(windowRotate, {"", "", c.text});
        rotateSelection(state);
        const Vec3 want = rotateVector(1.0f, 0.0f, 0.0f, 0, 0, c.degrees);
        expectVertex(0, want.x, want.y, want.z, 0.0f);
    }
}

TEST_F(ToolWindows, ModalWindowTakesTheFocusBackFromOtherWindows)
{
    addVertex(state.mesh, 0.0f, 0.0f, 0.0f, 1);
    addVertex(state.mesh, 2.0f, 0.0f, 0.0f, 1);
    fake.openWindow(windowFront, WindowSpec{});
    fake.push(eventLeftDown, windowFront, mkLButton);  // the fake activates the clicked view
    fake.push(eventClose, windowMain);                 // not its own: ignored
    answer(windowScale, {"2"});
    scaleSelection(state);
    EXPECT_EQ(activeWhileWaiting, windowScale);
    EXPECT_GT(fake.sleptMs, 0) << "the loop pauses between polls";
    expectVertex(1, 3.0f, 0.0f, 0.0f);
    EXPECT_TRUE(state.mesh.vertices.size() == 2u);
}

TEST_F(ToolWindows, AWindowGoneWithoutItsCloseBoxAppliesNothing)
{
    addVertex(state.mesh, 0.0f, 0.0f, 0.0f, 1);
    addVertex(state.mesh, 2.0f, 0.0f, 0.0f, 1);
    fake.onIdle = [](FakeWindowLayer& f) {
        f.setGadgetText(windowScale, 1, "0");
        f.closeWindow(windowScale);
    };
    scaleSelection(state);
    expectVertex(1, 2.0f, 0.0f, 0.0f);
    EXPECT_EQ(fake.active, windowMain);
}

// ---- automatic texture coordinates -----------------------------------------------------

TEST_F(ToolWindows, AutoTexCoordsAsksMinimumThenMaximum)
{
    addTriangles(3);
    fake.promptAnswers = {"0", "1"};
    autoTexCoordsCommand(state);
    ASSERT_EQ(fake.prompts.size(), 2u);
    EXPECT_EQ(fake.prompts[0].title, "Minimum");
    EXPECT_EQ(fake.prompts[0].message, "Give me the minimum of UV-coords");
    EXPECT_EQ(fake.prompts[0].defaultText, "0.0");
    EXPECT_EQ(fake.prompts[1].title, "Maximum");
    EXPECT_EQ(fake.prompts[1].message, "Give me the maximum of UV-coords");
    EXPECT_EQ(fake.prompts[1].defaultText, "0.0");
    EXPECT_EQ(state.uvMin, 0.0f);
    EXPECT_EQ(state.uvMax, 1.0f);
    const Triangle& first = state.mesh.triangles[0];
    const Triangle& second = state.mesh.triangles[1];
    EXPECT_EQ(first.u, (std::array<float, 3>{0, 1, 0}));
    EXPECT_EQ(first.v, (std::array<float, 3>{0, 1, 1}));
    EXPECT_EQ(second.u, (std::array<float, 3>{0, 1, 1}));
    EXPECT_EQ(second.v, (std::array<float, 3>{0, 0, 1}));
    EXPECT_EQ(state.mesh.triangles[2].u, first.u);
    EXPECT_EQ(state.mesh.triangles[2].v, first.v);
}

TEST_F(ToolWindows, AutoTexCoordsCountsNonNumericAnswersAsZero)
{
    addTriangles(2);
    for (Triangle& t : state.mesh.triangles) t.u = t.v = {0.5f, 0.5f, 0.5f};
    fake.promptAnswers = {"abc", "-"};
    autoTexCoordsCommand(state);
    for (const Triangle& t : state.mesh.triangles) {
        EXPECT_EQ(t.u, (std::array<float, 3>{0, 0, 0}));
        EXPECT_EQ(t.v, (std::array<float, 3>{0, 0, 0}));
    }
    fake.promptAnswers = {"1", "0"};  // accepted as given: the pattern mirrors
    autoTexCoordsCommand(state);
    EXPECT_EQ(state.mesh.triangles[0].u, (std::array<float, 3>{1, 0, 1}));
}

TEST_F(ToolWindows, CancellingEitherAutoTexCoordsPromptChangesNothing)
{
    addTriangles(2);
    for (Triangle& t : state.mesh.triangles) t.u = t.v = {0.5f, 0.25f, 0.75f};
    state.uvMin = 0.125f;
    state.uvMax = 2.0f;
    const std::vector<std::byte> before = writeMeshBytes(state.mesh);
    for (const std::deque<std::string>& answers : {std::deque<std::string>{""}, std::deque<std::string>{"0", ""}}) {
        fake.prompts.clear();
        fake.promptAnswers = answers;
        autoTexCoordsCommand(state);
        EXPECT_EQ(fake.prompts.size(), answers.size()) << "no question after a cancel";
        EXPECT_EQ(writeMeshBytes(state.mesh), before);
        EXPECT_EQ(state.uvMin, 0.125f);
        EXPECT_EQ(state.uvMax, 2.0f);
    }
}

TEST_F(ToolWindows, AutoTexCoordsOnAnEmptyMeshOnlyAsks)
{
    autoTexCoordsCommand(state);  // the fake accepts both defaults
    EXPECT_EQ(fake.prompts.size(), 2u);
    EXPECT_TRUE(state.mesh.triangles.empty());
    EXPECT_TRUE(state.mesh.vertices.empty());
}

// ---- the Triangles window ---------------------------------------------------------------

TEST_F(ToolWindows, TriangleListOpensNothingWithoutTriangles)
{
    openTriangleList(state);
    EXPECT_FALSE(fake.isWindowOpen(windowTriangles));
}

TEST_F(ToolWindows, TriangleListShowsTheSelectedNumberAndTheCountAtOpening)
{
    addTriangles(4);
    openTriangleList(state);
    ASSERT_TRUE(fake.isWindowOpen(windowTriangles));
    const FakeWindowLayer::Window& w = fake.windows[windowTriangles];
    EXPECT_EQ(w.spec.title, "Triangles");
    EXPECT_EQ(w.spec.width, 100);
    EXPECT_EQ(w.spec.height, 23);
    EXPECT_EQ(w.spec.style, WindowStyle::Tool);
    EXPECT_TRUE(w.shown);
    ASSERT_EQ(w.gadgets.size(), 1u);
    const FakeWindowLayer::Gadget& field = w.gadgets.begin()->second;
    EXPECT_EQ(field.text, "0");
    EXPECT_TRUE(field.digitsOnly);
    EXPECT_EQ(field.width, 120);
    EXPECT_EQ(field.height, 23);
    EXPECT_EQ(field.minimum, 0);
    EXPECT_EQ(field.maximum, 4);

    state.mesh.triangles[2].selected = 1;
    addTriangles(2);  // opening again replaces the window, with the new count
    openTriangleList(state);
    EXPECT_EQ(fake.windows[windowTriangles].gadgets.begin()->second.text, "3");
    EXPECT_EQ(fake.windows[windowTriangles].gadgets.begin()->second.maximum, 6);
}

TEST_F(ToolWindows, TriangleListStepSelectsTheNumberedTriangleAlone)
{
    addTriangles(4);
    state.mesh.triangles[2].selected = 1;
    openTriangleList(state);
    const int32_t field = fake.windows[windowTriangles].gadgets.begin()->first;
    state.eventWindow = windowTriangles;
    state.eventKind = eventNone;  // also on passes without a new event
    fake.setGadgetText(windowTriangles, field, "4");
    triangleListStep(state);
    EXPECT_EQ(selectedTriangles(), std::vector<int32_t>{3});
    for (const char* none : {"", "0", "5", "999999999999"}) {
        state.mesh.triangles[0].selected = 1;
        fake.setGadgetText(windowTriangles, field, none);
        triangleListStep(state);
        EXPECT_TRUE(selectedTriangles().empty()) << "field \"" << none << "\"";
    }
    // A later selection command is undone as soon as the window's event comes again.
    fake.setGadgetText(windowTriangles, field, "2");
    triangleListStep(state);
    selectNextTriangle(state.mesh);
    EXPECT_EQ(selectedTriangles(), std::vector<int32_t>{2});
    triangleListStep(state);
    EXPECT_EQ(selectedTriangles(), std::vector<int32_t>{1});
}

TEST_F(ToolWindows, TriangleListCloseBoxClosesAndKeepsTheSelection)
{
    addTriangles(2);
    state.mesh.triangles[1].selected = 1;
    openTriangleList(state);
    fake.setGadgetText(windowTriangles, fake.windows[windowTriangles].gadgets.begin()->first, "1");
    state.eventWindow = windowTriangles;
    state.eventKind = eventClose;
    triangleListStep(state);
    EXPECT_FALSE(fake.isWindowOpen(windowTriangles));
    EXPECT_EQ(fake.active, windowMain);
    EXPECT_EQ(selectedTriangles(), std::vector<int32_t>{1});
}
