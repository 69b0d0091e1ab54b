// The Mesh menu through the scripted window layer and the main loop: its keys,
// its windows (Return, OK, Escape, Cancel, the close box, refused values), one
// undo step per command, and the box selection with Ctrl and the select tool.
#include <gtest/gtest.h>

#include "app/app.h"
#include "tests/fake_window_layer.h"
#include "tests/test_mesh.h"

namespace {

// Everything undo restores, bit for bit.
std::string document(const Mesh& m)
{
    std::string out(reinterpret_cast<const char*>(m.vertices.data()), m.vertices.size() * sizeof(Vertex));
    return out.append(reinterpret_cast<const char*>(m.triangles.data()), m.triangles.size() * sizeof(Triangle));
}

std::string selection(const Mesh& m)
{
    std::string out;
    for (const Vertex& v : m.vertices) out += v.selected ? '1' : '0';
    return out;
}

const WindowEvent returnKey{eventKeyDown, windowMeshTool, vkReturn};
const WindowEvent escapeKey{eventKeyDown, windowMeshTool, vkEscape};
const WindowEvent closeBox{eventClose, windowMeshTool};  // OK, as in the other tool windows
const WindowEvent okClick{eventControl, windowMeshTool, 0, 20, notifyClicked};
const WindowEvent cancelClick{eventControl, windowMeshTool, 0, 21, notifyClicked};

// What window 70 asks of it each time it waits: fields to fill (a list takes its
// choice's number), then the events that answer.
struct Step {
    std::map<int32_t, std::string> fields;
    std::vector<WindowEvent> events;
};

struct MeshMenu : ::testing::Test {
    FakeWindowLayer windows;
    AppState state;
    std::vector<std::string> seen;  // window 70 each time it waited: title, then each gadget

    void SetUp() override
    {
        windows.attach(state);
        state.prefs.language = 1;
        buildMenuAndToolbar(state);
        for (int32_t n = windowFront; n <= window3D; ++n)
            windows.openWindow(n, WindowSpec{.width = 200, .height = 200, .title = {}});
        // A unit square facing +z at the origin, all selected, and a loose vertex.
        addVertex(state.mesh, 0, 0, 0, 1), addVertex(state.mesh, 0.5f, 0, 0, 1);
        addVertex(state.mesh, 0.5f, 0.5f, 0, 1), addVertex(state.mesh, 0, 0.5f, 0, 1);
        addVertex(state.mesh, -0.5f, -0.5f, 0.25f);
        addTriangle(state.mesh, 0, 1, 2, {0, 1, 1}, {1, 1, 0}), addTriangle(state.mesh, 0, 2, 3, {0, 1, 0}, {1, 0, 0});
        resetDocumentHistory(state);
    }

    void script(std::vector<Step> steps)
    {
        windows.onIdle = [this, steps, next = size_t{0}](FakeWindowLayer& f) mutable {
            if (!f.isWindowOpen(windowMeshTool) || next == steps.size()) return;
            std::string look = f.windows[windowMeshTool].spec.title;
            for (auto& [id, g] : f.windows[windowMeshTool].gadgets) {
                look += ' ' + std::to_string(id) + ':' + g.text;
                for (const std::string& item : g.items) look += '|' + item;
            }
            seen.push_back(look);
            for (const auto& [id, text] : steps[next].fields) {
                FakeWindowLayer::Gadget& g = f.windows[windowMeshTool].gadgets[id];
                (g.kind == "combo" ? g.selection = std::stoi(text) : (g.text = text, 0));
            }
            f.events.insert(f.events.end(), steps[next].events.begin(), steps[next].events.end());
            ++next;
        };
    }
    void run(int32_t kind, int32_t window, int32_t param, int32_t modifiers = 0)
    {
        windows.push(kind, window, param, 0, 0, modifiers);
        while (!windows.events.empty()) mainLoopPass(state);
    }
    void key(int32_t vk, int32_t modifiers = mkControl) { run(eventKeyDown, windowFront, vk, modifiers); }
    void command(int32_t id) { run(eventCommand, windowMain, id); }
};

}  // namespace

TEST_F(MeshMenu, EachKeyAndItemIsOneStepUndoneAndRedoneBitForBit)
{
    // A key with Ctrl (and Shift) or a menu item's command, and the vertices after it (1 selected).
    const std::tuple<int32_t, int32_t, const char*> steps[] = {
        {'I', mkControl, "00001"},       {'A', mkControl, "11111"},      {'A', mkControl | mkShift, "00000"},
        {'A', mkControl, "11111"},       {'M', mkControl, "11111111"},   {'E', mkControl, "00000000111111"},
        {'D', mkControl, "00000000000000111111"},   {'A', mkControl, "11111111111111111111"},
        {'J', mkControl, "11111111111111"},
        {cmdInsertSphere, 0, ""},        {cmdInsertBox, 0, ""},          {cmdInsertPlane, 0, ""},
        {cmdInsertCylinder, 0, ""},      {cmdInsertCone, 0, ""},
    };
    for (const auto& [what, modifiers, after] : steps) {
        script({{{}, {returnKey}}});
        const std::string before = document(state.mesh);
        if (modifiers != 0) key(what, modifiers);
        else command(what);
        const std::string changed = document(state.mesh);
        EXPECT_TRUE(changed != before) << what;
        EXPECT_TRUE(!*after || selection(state.mesh) == after) << what << " gives " << selection(state.mesh);
        key('Z');
        EXPECT_TRUE(document(state.mesh) == before) << what;
        key('Y');
        EXPECT_TRUE(document(state.mesh) == changed) << what;
    }
    EXPECT_EQ(seen.size(), 8u) << "a window for Mirror, Extrude, Weld and each primitive";
    EXPECT_EQ(seen[0], "Mirror 1:|X|Y|Z 2:0 3:|Copy|In place 11:Axis: 12:Plane at: 13:Result: 20:OK 21:Cancel");
    EXPECT_EQ(seen[3], "Insert sphere 1:1 2:12 11:Size: 12:Segments: 20:OK 21:Cancel");
    EXPECT_EQ(windows.activeWindow(), windowMain);
}

TEST_F(MeshMenu, CancelledWindowsChangeNothingAndRefusedValuesKeepTheWindow)
{
    const std::string start = document(state.mesh);
    for (const WindowEvent& cancel : {escapeKey, cancelClick}) {
        script({{{{2, "3"}}, {cancel}}});
        key('M');
        EXPECT_EQ(document(state.mesh), start);
        EXPECT_FALSE(windows.isWindowOpen(windowMeshTool));
    }
    EXPECT_FALSE(windows.menuEnabled[cmdUndo]) << "no step was recorded";
    // Typing goes on; OK with the mouse: the Y axis at 1, in place.
    script({{{{1, "1"}, {2, "1"}, {3, "1"}}, {{eventKeyDown, windowMeshTool, 'X'}, okClick}}});
    key('M');
    EXPECT_EQ(state.mesh.vertices[2].y, 1.5f);
    EXPECT_EQ(state.mesh.vertices[4].y, -0.5f) << "not selected";
    EXPECT_EQ(state.mesh.triangles[0].vertexIndex[0], 2);

    script({{{{1, "0"}}, {returnKey}}, {{{1, "-0.5"}}, {okClick}}, {{{1, "0.6"}}, {closeBox}}});
    key('J');
    EXPECT_EQ(windows.messages.back().text, "The distance must be greater than 0.");
    EXPECT_EQ(seen.back(), "Weld 1:-0.5 11:Distance: 20:OK 21:Cancel") << "the window waits to be mended";
    EXPECT_EQ(state.mesh.vertices.size(), 2u) << "the four corners 0.5 apart became one";

    state.camera = ViewCamera{.panX = -1, .panY = 2, .panZ = -3, .orthoZoom = 4};
    script({{{{1, "1e999"}}, {returnKey}}, {{{1, "0.5"}, {2, "2"}}, {returnKey}}, {{{2, "3"}}, {returnKey}}});
    command(cmdInsertCone);
    EXPECT_EQ(windows.messages.at(windows.messages.size() - 2).text, "\"1e999\" is not a finite number.");
    EXPECT_EQ(windows.messages.back().text, "The number of segments must be from 3 to 256.");
    EXPECT_EQ(seen.at(seen.size() - 3).substr(0, 25), "Insert cone 1:0.25 2:8 11") << "half the views across";
    ASSERT_EQ(state.mesh.vertices.size(), 7u);
    EXPECT_EQ(state.mesh.vertices[2].x, 1.0f) << "the apex above the views' centre";
    EXPECT_EQ(state.mesh.vertices[2].y, -1.75f);
    EXPECT_EQ(state.mesh.vertices[2].z, 3.0f);

    deselectAllVertices(state.mesh);
    const size_t shown = windows.messages.size();
    key('E');
    EXPECT_EQ(windows.messages.at(shown).text,
              "Nothing to extrude: select all three corners of at least one triangle.");
    EXPECT_EQ(seen.size(), 9u) << "no window without triangles to extrude";
}

TEST_F(MeshMenu, CtrlDragWithTheSelectToolAddsTheVerticesInABox)
{
    setToolMode(state, SelectVertex);
    deselectAllVertices(state.mesh);
    state.mesh.vertices[4].selected = 1;
    resetDocumentHistory(state);
    const std::string start = document(state.mesh);
    // Front, 100 pixels a unit from its centre: a box around x 0.5, y 0 and 0.5.
    windows.cursor[windowFront] = {140, 110};
    run(eventLeftDown, windowFront, mkLButton | mkControl);
    windows.cursor[windowFront] = {170, 60};
    run(eventMouseMove, windowFront, mkLButton | mkControl);
    EXPECT_EQ(selection(state.mesh), "00001") << "the release decides";
    run(eventMouseMove, windowFront, mkLButton);  // Ctrl let go first: still the box
    windows.cursor[windowFront] = {160, 40};
    const uint64_t revision = state.renderBuffers.meshRevision;
    run(eventLeftUp, windowFront, mkControl);
    EXPECT_EQ(selection(state.mesh), "01101");
    EXPECT_GT(state.renderBuffers.meshRevision, revision) << "the views show the new selection";
    key('Z');
    EXPECT_EQ(document(state.mesh), start) << "one step";
    EXPECT_FALSE(runToolWindowKey(state, {eventKeyDown, windowScale, 'A', 0, 0, mkControl})) << "a field's own";
}
