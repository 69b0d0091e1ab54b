// Undo and redo: the history on its own, and the editor's steps, Edit menu and questions through the main loop.
#include <gtest/gtest.h>

#include <functional>

#include "app/app.h"
#include "tests/fake_window_layer.h"
#include "tests/test_images.h"
#include "tests/test_mesh.h"

namespace {

// Everything undo restores, bit for bit (these tests leave the marks at 0).
std::string document(const Mesh& m)
{
    std::string out(reinterpret_cast<const char*>(m.vertices.data()), m.vertices.size() * sizeof(Vertex));
    out.append(reinterpret_cast<const char*>(m.triangles.data()), m.triangles.size() * sizeof(Triangle));
    return out + std::to_string(m.pendingCorner);
}

// Two quads over six vertices, textured, vertices 1 and 4 and triangle 2 selected.
Mesh twoQuads()
{
    Mesh m;
    for (int32_t i = 0; i < 6; ++i) addVertex(m, static_cast<float>(i % 3), static_cast<float>(i / 3), 0.5f, i % 3 == 1);
    addTriangle(m, 0, 1, 4, {0.0f, 0.5f, 0.5f}, {0.0f, 0.0f, 1.0f});
    addTriangle(m, 0, 4, 3, {0.0f, 0.5f, 0.0f}, {0.0f, 1.0f, 1.0f});
    addTriangle(m, 1, 2, 5, {0.5f, 1.0f, 1.0f}, {0.0f, 0.0f, 1.0f}).selected = 1;
    addTriangle(m, 1, 5, 4, {0.5f, 1.0f, 0.5f}, {0.0f, 1.0f, 1.0f});
    return m;
}

}  // namespace

TEST(History, EveryEditUndoneAndRedoneGivesTheDocumentBeforeAndAfter)
{
    const std::vector<std::pair<const char*, std::function<void(Mesh&)>>> edits{
        {"move a vertex", [](Mesh& m) { m.vertices[3].y = -0.0f; }}, {"flip", flipSelectedTriangle}, {"next", selectNextTriangle},
        {"scale", [](Mesh& m) { scaleSelectedVertices(m, *selectionCentre(m), 2.0f, -1.0f, 0.0f); }},
        {"rotate", [](Mesh& m) { rotateSelectedVertices(m, *selectionCentre(m), 90, 0, 45); }},
        {"auto uv", [](Mesh& m) { autoTexCoords(m, 1.0f, 0.25f); }}, {"delete vertices", deleteSelectedVertices},
        {"corner", [](Mesh& m) { addCorner(m, 1); }}, {"open", [](Mesh& m) { m = twoQuads(); }},
        {"delete the triangle", [](Mesh& m) { m.triangles[0].selected = 1; deleteSelectedTriangles(m); }},
        {"merge", [](Mesh& m) { readMeshBytes(m, writeMeshBytes(twoQuads()), 2); }},
    };
    Mesh mesh = twoQuads();
    std::string name = "a.pq";
    MeshHistory history;
    resetHistory(history, mesh, name);
    std::vector<std::string> states{document(mesh)};
    for (const auto& [what, edit] : edits) {
        edit(mesh);
        EXPECT_TRUE(recordStep(history, mesh, name)) << what;
        states.push_back(document(mesh));
    }
    for (size_t i = states.size() - 1; i > 0; --i)
        EXPECT_TRUE(undoStep(history, mesh, name) && document(mesh) == states[i - 1]) << "undo " << edits[i - 1].first;
    EXPECT_FALSE(undoStep(history, mesh, name));
    for (size_t i = 1; i < states.size(); ++i)
        EXPECT_TRUE(redoStep(history, mesh, name) && document(mesh) == states[i]) << "redo " << edits[i - 1].first;
    EXPECT_FALSE(redoStep(history, mesh, name));

    // Modified until back at the saved state; marks are no step and the selection is not saved.
    EXPECT_TRUE(isModified(history));
    markSaved(history, name);
    mesh.vertices[0].marked = 1;
    EXPECT_FALSE(recordStep(history, mesh, name));
    deselectAllVertices(mesh);
    EXPECT_TRUE(recordStep(history, mesh, name) && !isModified(history));
    EXPECT_TRUE(undoStep(history, mesh, name) && undoStep(history, mesh, name) && isModified(history));
    EXPECT_EQ(mesh.vertices[0].marked, 1);
    mesh.vertices[0].x += 1.0f;  // not recorded yet: redo records it instead, and the saved state goes
    EXPECT_FALSE(redoStep(history, mesh, name) || canRedo(history));
    size_t kept = 0;
    for (const HistoryStep& step : history.steps) kept += step.bytes;
    EXPECT_EQ(history.bytes, kept) << "the steps that could be redone leave the total";
    while (undoStep(history, mesh, name)) EXPECT_TRUE(isModified(history));
}

// Past the byte limit the oldest steps go: a file saved before a dropped change differs from every state
// left. Each file name keeps its own saved state; only a step that read a file (Open) changes the name.
TEST(History, OldStepsGoPastTheLimitAndEachFileKeepsItsSavedState)
{
    Mesh mesh = twoQuads();
    std::string name = "a.pq";
    MeshHistory history;
    resetHistory(history, mesh, name);
    history.byteLimit = 1;  // only the newest step stays
    for (const float x : {1.0f, 2.0f}) {
        mesh.vertices[0].x = x;
        recordStep(history, mesh, name);
    }
    EXPECT_TRUE(undoStep(history, mesh, name) && !canUndo(history));
    EXPECT_TRUE(isModified(history)) << "a.pq holds x = 0, which no step reaches now";
    markSaved(history, name = "b.pq");
    EXPECT_FALSE(isModified(history));
    mesh = twoQuads();  // an Open of c.pq
    recordStep(history, mesh, name = "c.pq");
    markSaved(history, name);
    EXPECT_TRUE(undoStep(history, mesh, name));
    EXPECT_EQ(std::pair(name, mesh.vertices[0].x), std::pair(std::string("b.pq"), 1.0f));
    EXPECT_FALSE(isModified(history)) << "b.pq holds this state";
    // A dropped step that changed only the selection leaves the saved state within reach.
    resetHistory(history, mesh, name);
    mesh.vertices[0].selected = 1 - mesh.vertices[0].selected;
    recordStep(history, mesh, name);
    mesh.vertices[0].x = 5.0f;
    recordStep(history, mesh, name);
    EXPECT_TRUE(undoStep(history, mesh, name));
    EXPECT_FALSE(isModified(history)) << "the selection is not saved";
}

namespace {

struct Editing : ::testing::Test {
    FakeWindowLayer windows;
    AppState state;

    void SetUp() override
    {
        windows.attach(state);
        buildMenuAndToolbar(state);
        for (int32_t n = windowFront; n <= windowTop; ++n) windows.openWindow(n, WindowSpec{.width = 200, .height = 200, .title = {}});
        state.mesh = twoQuads();
        state.currentFileName = makeTestFolder("history") + "/quads.pq";
        ASSERT_EQ(saveMeshFile(state.mesh, state.currentFileName), "");
        resetDocumentHistory(state);
    }

    // Runs passes until the scripted events are used up; false when a pass ended the loop.
    bool run(int32_t kind = eventNone, int32_t window = windowMain, int32_t param = 0)
    {
        if (kind != eventNone) windows.push(kind, window, param);
        while (!windows.events.empty())
            if (mainLoopPass(state)) return false;
        return true;
    }
    void key(int32_t window, int32_t vk, int32_t modifiers = 0) { windows.pushKey(window, vk, modifiers); run(); }
    void undo(int32_t window = windowFront) { key(window, 'Z', mkControl); }
};

}  // namespace

TEST_F(Editing, ADragAndEachCommandThroughTheLoopAreOneStepUndoneAndRedone)
{
    setToolMode(state, MoveVertex);
    const std::string start = document(state.mesh);
    windows.cursor[windowFront] = {100, 100};
    run(eventLeftDown, windowFront, mkLButton);
    for (int32_t x : {110, 130, 160}) { windows.cursor[windowFront] = {x, 80}; run(eventMouseMove, windowFront, mkLButton); }
    run(eventLeftUp, windowFront);
    EXPECT_NE(document(state.mesh), start);
    EXPECT_TRUE(windows.menuEnabled[cmdUndo] && !windows.menuEnabled[cmdRedo]);
    undo();
    key(windowFront, '3');  // a key that changes nothing keeps the redo
    EXPECT_EQ(document(state.mesh), start);
    EXPECT_TRUE(!windows.menuEnabled[cmdUndo] && windows.menuEnabled[cmdRedo]);
    windows.promptAnswers = {"0", "1", "2"};
    windows.fileAnswers = {state.currentFileName};
    // The merge keeps every finished triangle and adds the file's four at half size, selected.
    const std::tuple<int32_t, size_t, size_t> commands[] = {
        {cmdTriangleSelectionUp, 6, 4}, {cmdFlipTriangle, 6, 4}, {cmdAutoTextureCoords, 6, 4},
        {cmdDeleteTriangle, 6, 3}, {cmdMerge, 12, 7}, {cmdDeleteVertex, 4, 0}};
    for (const auto& [command, vertices, triangles] : commands) {
        const std::string before = document(state.mesh);
        run(eventCommand, windowMain, command);
        const std::string after = document(state.mesh);
        EXPECT_EQ(std::pair(state.mesh.vertices.size(), state.mesh.triangles.size()), std::pair(vertices, triangles));
        undo();
        EXPECT_EQ(document(state.mesh), before) << command;
        key(windowSide, 'Y', mkControl);
        EXPECT_EQ(document(state.mesh), after) << command;
    }
}

TEST_F(Editing, ToolWindowsShowTheDocumentAfterAnUndoAndLeavingAsksOnlyWithChanges)
{
    windows.imageFiles["/tex.png"] = {64, 32};
    windows.loadImage(imageTexture, "/tex.png");
    run(eventCommand, windowMain, cmdTriangleList);
    run(eventCommand, windowMain, cmdSetTextureCoords);
    for (const char* typed : {"0", "0.", "0.7"}) {
        windows.setGadgetText(windowTexture, 202, typed);
        windows.pushControl(windowTexture, 202, notifyChange);
        run();
    }
    windows.pushControl(windowTexture, 203, notifySetFocus);
    run(eventCommand, windowMain, cmdTriangleSelectionUp);
    EXPECT_EQ(state.mesh.triangles[2].u[1], 0.7f);
    undo(windowTexture);
    EXPECT_EQ(windows.gadgetText(windowTriangles, 1), "3") << "the triangle selected again";
    undo(windowTexture);
    mainLoopPass(state);
    EXPECT_EQ(std::pair(state.mesh.triangles[2].u[1], windows.gadgetText(windowTexture, 202)), std::pair(1.0f, std::string("1.000000")))
        << "the field shows the value again and does not write the old one back";

    // Leaving, New and Open ask Save, Discard or Cancel only with changes.
    EXPECT_FALSE(run(eventClose, windowMain)) << "nothing changed: no question";
    state.mesh.vertices[0].x = 5.0f;
    EXPECT_TRUE(run(eventClose, windowMain));  // no answer left: Cancel
    run(eventCommand, windowMain, cmdNew);
    windows.fileAnswers = {state.currentFileName};
    run(eventCommand, windowMain, cmdOpen);
    EXPECT_EQ(std::tuple(state.mesh.vertices[0].x, windows.fileDialogs.size(), windows.choices.size()),
              std::tuple(5.0f, 0u, 3u));
    EXPECT_EQ(windows.choices[0].text, "Änderungen an quads.pq speichern?|Speichern|Verwerfen|Abbrechen");
    undo();
    run(eventCommand, windowMain, cmdQuit);  // back at the saved state: no question
    EXPECT_EQ(std::pair(state.quitRequested, windows.choices.size()), std::pair(true, size_t{3}));

    state.quitRequested = false;
    key(windowFront, 'Y', mkControl);
    windows.choiceAnswers = {0, 1};  // Save, then Discard
    key(windowFront, 'Q', mkControl);
    const auto bytes = readFileBytes(state.currentFileName);
    EXPECT_EQ(std::vector<std::byte>(bytes->begin(), bytes->end()), writeMeshBytes(state.mesh));
    EXPECT_TRUE(std::exchange(state.quitRequested, false));
    state.mesh.vertices[0].x = 6.0f;
    run(eventCommand, windowMain, cmdNew);
    run(eventCommand, windowMain, cmdOpen);  // an empty mesh holds nothing to ask about
    EXPECT_EQ(std::tuple(state.mesh.vertices.size(), state.mesh.vertices[0].x, windows.choices.size(), windows.fileDialogs.size()),
              std::tuple(6u, 5.0f, 5u, 1u)) << "discarded, then the saved file opened";
    state.mesh = Mesh{}, addVertex(state.mesh, 1, 2, 3);  // vertices alone are work too: asked, cancelled
    run(eventCommand, windowMain, cmdNew);
    EXPECT_EQ(std::pair(windows.choices.size(), state.mesh.vertices.size()), std::pair(size_t{6}, size_t{1}));
}

// The file name is no step: after Save as, undo keeps Save on the new file, and "modified" compares with
// what that file holds. New leaves no name: Save greyed, its dialog in the old folder without the name.
TEST_F(Editing, SaveAsAndNewChangeTheNameOutsideTheSteps)
{
    const std::string a = state.currentFileName, folder = a.substr(0, a.rfind('/') + 1), b = folder + "b.pq";
    const auto got = [](const std::string& f) { auto d = readFileBytes(f); return std::vector(d->begin(), d->end()); };
    const std::vector<std::byte> quads = writeMeshBytes(state.mesh);
    run(eventCommand, windowMain, cmdFlipTriangle);
    windows.fileAnswers = {b};
    run(eventCommand, windowMain, cmdSaveAs);
    undo();
    EXPECT_TRUE(isDocumentModified(state)) << "b holds the flipped triangle";
    key(windowFront, 'S', mkControl);
    EXPECT_EQ(std::pair(got(a), got(b)), std::pair(quads, quads));
    EXPECT_FALSE(isDocumentModified(state));

    run(eventCommand, windowMain, cmdNew);
    mainLoopPass(state);
    EXPECT_EQ(std::tuple(state.currentFileName, windows.menuEnabled[cmdSave], state.prefs.dialogStartText),
              std::tuple("", false, folder));
    undo();  // the mesh comes back, the name does not
    key(windowFront, 'S', mkControl);
    EXPECT_EQ(std::pair(windows.fileDialogs.size(), got(b)), std::pair(size_t{2}, quads)) << "Save asked for a name";
}

TEST_F(Editing, TextureWindowDragsACornerInOneStepSnapsWithCtrlSelectsByOutlineZoomsAndPans)
{
    windows.imageFiles["/tex.png"] = {256, 128};
    windows.loadImage(imageTexture, "/tex.png");
    run(eventCommand, windowMain, cmdSetTextureCoords);  // triangle 2: corner 0 at U 0.5, V 0, shown at (128, 60)
    EXPECT_EQ(windows.windows[windowTexture].spec.height, 188) << "the picture below three rows of fields";
    const auto uvs = [this] { return document(state.mesh).substr(state.mesh.vertices.size() * sizeof(Vertex)); };
    const std::string start = uvs();
    // One event at the cursor, then a pass without one, which draws what the event changed.
    const auto at = [this](int32_t kind, int32_t x, int32_t y, int32_t flags = mkLButton) {
        windows.cursor[windowTexture] = {x, y};
        windows.drawing.clear();
        run(kind, windowTexture, flags);
        mainLoopPass(state);
    };
    const auto picture = [this] {
        std::vector<int32_t> place;
        for (const auto& op : windows.drawing)
            if (op.kind == "image") place = {op.x0, op.y0, op.x1, op.y1};
        return place;
    };
    at(eventMouseWheel, 128, 40, wheelNotch);  // 1.25 times about a point above: 320 x 160, the corner at (128, 65)
    EXPECT_EQ(picture(), (std::vector<int32_t>{-32, 65, 320, 160}));
    at(eventLeftDown, 132, 69);  // within reach of the corner's point
    at(eventMouseMove, 142, 74);
    const Triangle& t = state.mesh.triangles[2];
    EXPECT_EQ(std::pair(t.u[0], t.v[0]), std::pair(0.53125f, 0.03125f));
    EXPECT_EQ(windows.gadgetText(windowTexture, 200) + windows.gadgetText(windowTexture, 201), "0.5312500.031250");
    at(eventMouseMove, 143, 76, mkLButton | mkControl);  // 0.534375, 0.04375: to the nearest texel corner
    EXPECT_EQ(std::pair(t.u[0], t.v[0]), std::pair(137.0f / 256, 6.0f / 128)) << "all digits kept, not the field's six";
    EXPECT_EQ(windows.gadgetText(windowTexture, 200), "0.535156");
    at(eventLeftUp, 143, 76, 0);
    const std::string dragged = uvs();
    undo(windowTexture);
    EXPECT_EQ(uvs(), start) << "the whole drag is one step";
    key(windowTexture, 'Y', mkControl);
    EXPECT_EQ(uvs(), dragged);

    at(eventLeftDown, 208, 185);  // U 0.75, V 0.75: inside triangle 3's outline only
    EXPECT_EQ(firstSelectedTriangle(state.mesh), 3);
    EXPECT_EQ(windows.gadgetText(windowTexture, 202), "1.000000") << "its own values in the fields";
    size_t faint = 0;
    for (const auto& op : windows.drawing)
        faint = op.kind == "image" ? 0 : faint + (op.kind == "line" && op.value == static_cast<int32_t>(LineMode::Faint));
    EXPECT_EQ(faint, 9u) << "the other three triangles' outlines, in the last drawing";
    windows.drawing.clear();
    mainLoopPass(state);
    EXPECT_TRUE(windows.drawing.empty()) << "nothing changed, nothing drawn";
    at(eventLeftDown, 248, 85);  // U 0.875, V 0.125: triangle 2's alone
    EXPECT_EQ(firstSelectedTriangle(state.mesh), 2);

    at(eventMiddleDown, 100, 100, mkMButton);
    at(eventMouseMove, 110, 120, mkMButton);
    EXPECT_EQ(picture(), (std::vector<int32_t>{-22, 85, 320, 160})) << "the point grabbed follows the cursor";
    for (int32_t notch = 0; notch < 40; ++notch) at(eventMouseWheel, 0, 60, wheelNotch);
    EXPECT_EQ(picture()[2], 16384) << "texels at most 64 pixels wide";
    for (int32_t notch = 0; notch < 60; ++notch) at(eventMouseWheel, 0, 60, -wheelNotch);
    EXPECT_EQ(picture()[2], 16) << "at least a sixteenth of the fitted size";
}
