// Undo and redo: the history of the document on its own, and the editor's
// steps, Edit menu, accelerators and unsaved-changes questions run through the
// main loop against the scripted window layer.
#include <gtest/gtest.h>

#include <bit>
#include <filesystem>
#include <fstream>
#include <functional>
#include <tuple>

#include "app/app.h"
#include "tests/fake_window_layer.h"
#include "tests/test_images.h"
#include "tests/test_mesh.h"

namespace {

// Everything undo restores: positions bit for bit, selection, the half-built
// triangle; the marks are not part of it.
void expectSameDocument(const Mesh& a, const Mesh& b)
{
    ASSERT_EQ(a.vertices.size(), b.vertices.size());
    ASSERT_EQ(a.triangles.size(), b.triangles.size());
    for (size_t i = 0; i < a.vertices.size(); ++i) {
        const Vertex& p = a.vertices[i];
        const Vertex& q = b.vertices[i];
        EXPECT_EQ(std::bit_cast<uint32_t>(p.x), std::bit_cast<uint32_t>(q.x)) << "vertex " << i;
        EXPECT_EQ(std::bit_cast<uint32_t>(p.y), std::bit_cast<uint32_t>(q.y)) << "vertex " << i;
        EXPECT_EQ(std::bit_cast<uint32_t>(p.z), std::bit_cast<uint32_t>(q.z)) << "vertex " << i;
        EXPECT_EQ(p.selected, q.selected) << "vertex " << i;
    }
    for (size_t i = 0; i < a.triangles.size(); ++i) {
        EXPECT_EQ(a.triangles[i].vertexIndex, b.triangles[i].vertexIndex) << "triangle " << i;
        EXPECT_EQ(a.triangles[i].u, b.triangles[i].u) << "triangle " << i;
        EXPECT_EQ(a.triangles[i].v, b.triangles[i].v) << "triangle " << i;
        EXPECT_EQ(a.triangles[i].selected, b.triangles[i].selected) << "triangle " << i;
    }
    EXPECT_EQ(a.pendingCorner, b.pendingCorner);
    EXPECT_EQ(writeMeshBytes(a), writeMeshBytes(b));
}

// Two quads over six vertices, textured, vertices 1 and 4 selected.
Mesh twoQuads()
{
    Mesh m;
    for (int32_t i = 0; i < 6; ++i) addVertex(m, static_cast<float>(i % 3), static_cast<float>(i / 3), 0.5f, i % 3 == 1 ? 1 : 0);
    addTriangle(m, 0, 1, 4, {0.0f, 0.5f, 0.5f}, {0.0f, 0.0f, 1.0f});
    addTriangle(m, 0, 4, 3, {0.0f, 0.5f, 0.0f}, {0.0f, 1.0f, 1.0f});
    addTriangle(m, 1, 2, 5, {0.5f, 1.0f, 1.0f}, {0.0f, 0.0f, 1.0f});
    addTriangle(m, 1, 5, 4, {0.5f, 1.0f, 0.5f}, {0.0f, 1.0f, 1.0f});
    m.triangles[2].selected = 1;
    return m;
}

struct Edit {
    const char* name;
    std::function<void(Mesh&)> apply;
};

const std::vector<Edit>& edits()
{
    static const std::vector<Edit> table{
        {"move a vertex", [](Mesh& m) { m.vertices[3].y = -0.0f; }},
        {"flip", flipSelectedTriangle},
        {"select the next triangle", selectNextTriangle},
        {"scale", [](Mesh& m) { scaleSelectedVertices(m, *selectionCentre(m), 2.0f, -1.0f, 0.0f); }},
        {"rotate", [](Mesh& m) { rotateSelectedVertices(m, *selectionCentre(m), 90, 0, 45); }},
        {"automatic texture coordinates", [](Mesh& m) { autoTexCoords(m, 1.0f, 0.25f); }},
        {"delete vertices", deleteSelectedVertices},
        {"create a vertex", [](Mesh& m) { addVertex(m, 0.75f, 0.5f, 0.0f, 1); }},
        {"first corner", addCorner},
        {"deselect", deselectAllVertices},
        {"delete the triangle", [](Mesh& m) { m.triangles[0].selected = 1; deleteSelectedTriangles(m); }},
        {"merge", [](Mesh& m) { readMeshBytes(m, writeMeshBytes(twoQuads()), 2); }},
        {"new", clearMesh},
        {"open", [](Mesh& m) { readMeshBytes(m, writeMeshBytes(twoQuads()), 1); }},
    };
    return table;
}

}  // namespace

TEST(History, EveryEditUndoneAndRedoneGivesTheDocumentBeforeAndAfter)
{
    Mesh mesh = twoQuads();
    std::string name = "a.pq";
    MeshHistory history;
    resetHistory(history, mesh, name);
    std::vector<Mesh> states{mesh};
    for (const Edit& edit : edits()) {
        edit.apply(mesh);
        EXPECT_TRUE(recordStep(history, mesh, name)) << edit.name;
        states.push_back(mesh);
    }
    for (size_t i = states.size() - 1; i > 0; --i) {
        SCOPED_TRACE(std::string("undo ") + edits()[i - 1].name);
        ASSERT_TRUE(undoStep(history, mesh, name));
        expectSameDocument(mesh, states[i - 1]);
    }
    EXPECT_FALSE(undoStep(history, mesh, name));
    for (size_t i = 1; i < states.size(); ++i) {
        SCOPED_TRACE(std::string("redo ") + edits()[i - 1].name);
        ASSERT_TRUE(redoStep(history, mesh, name));
        expectSameDocument(mesh, states[i]);
    }
    EXPECT_FALSE(redoStep(history, mesh, name));
}

TEST(History, ANewChangeDropsRedoAndUndoTakesAnUnrecordedChangeFirst)
{
    Mesh mesh = twoQuads();
    std::string name;
    MeshHistory history;
    resetHistory(history, mesh, name);
    EXPECT_FALSE(recordStep(history, mesh, name));
    mesh.vertices[0].x = 9.0f;
    recordStep(history, mesh, name);
    undoStep(history, mesh, name);
    mesh.vertices[1].x = 7.0f;  // not recorded yet
    EXPECT_FALSE(redoStep(history, mesh, name));
    EXPECT_EQ(mesh.vertices[0].x, 0.0f);
    EXPECT_FALSE(canRedo(history));
    EXPECT_TRUE(undoStep(history, mesh, name));
    expectSameDocument(mesh, twoQuads());
}

TEST(History, ModifiedUntilBackAtTheSavedStateAndSelectionDoesNotCount)
{
    Mesh mesh = twoQuads();
    std::string name = "a.pq";
    MeshHistory history;
    resetHistory(history, mesh, name);
    deselectAllVertices(mesh);
    recordStep(history, mesh, name);
    EXPECT_FALSE(isModified(history));
    mesh.vertices[0].z = 1.0f;
    recordStep(history, mesh, name);
    EXPECT_TRUE(isModified(history));
    undoStep(history, mesh, name);
    EXPECT_FALSE(isModified(history));
    redoStep(history, mesh, name);
    markSaved(history, name);
    EXPECT_FALSE(isModified(history));
    undoStep(history, mesh, name);
    EXPECT_TRUE(isModified(history));
    // The saved state goes with the redo steps; nothing leads back to it.
    mesh.vertices[2].z = 3.0f;
    recordStep(history, mesh, name);
    while (undoStep(history, mesh, name)) EXPECT_TRUE(isModified(history));
}

TEST(History, MarksAreKeptAndAreNotAStep)
{
    Mesh mesh = twoQuads();
    std::string name;
    MeshHistory history;
    resetHistory(history, mesh, name);
    mesh.vertices[2].marked = 1;
    EXPECT_FALSE(recordStep(history, mesh, name));
    mesh.vertices[2].x = 4.0f;
    recordStep(history, mesh, name);
    undoStep(history, mesh, name);
    EXPECT_EQ(mesh.vertices[2].marked, 1);
    EXPECT_EQ(mesh.vertices[2].x, 2.0f);
}

TEST(History, BoundedByBytesKeepingTheNewestAndManySmallSteps)
{
    Mesh mesh = twoQuads();
    for (int32_t i = 0; i < 1000; ++i) addVertex(mesh, 0, 0, 0);
    std::string name;
    MeshHistory history;
    resetHistory(history, mesh, name);
    for (int32_t i = 0; i < 150; ++i) {
        mesh.vertices[static_cast<size_t>(i)].y = static_cast<float>(i + 10);
        recordStep(history, mesh, name);
    }
    EXPECT_EQ(history.steps.size(), 150u);

    history.byteLimit = 40'000;
    for (int32_t round = 0; round < 4; ++round) {
        for (Vertex& v : mesh.vertices) v.x += 1.0f;  // about 20 KB per step
        recordStep(history, mesh, name);
        EXPECT_LE(history.bytes, history.byteLimit);
    }
    EXPECT_EQ(history.steps.size(), 1u);
    EXPECT_TRUE(isModified(history));
    for (Vertex& v : mesh.vertices) v.x = 0.0f;
    for (int32_t i = 0; i < 3000; ++i) addVertex(mesh, 1, 1, 1);  // one step past the limit
    recordStep(history, mesh, name);
    ASSERT_EQ(history.steps.size(), 1u);
    EXPECT_TRUE(undoStep(history, mesh, name));
    EXPECT_EQ(mesh.vertices.size(), 1006u);
    EXPECT_EQ(mesh.vertices[5].x, 6.0f);
}

// ---- the editor's steps ---------------------------------------------------------------

namespace {

struct Editing : ::testing::Test {
    FakeWindowLayer windows;
    AppState state;
    std::string folder = makeTestFolder("history") + "/";

    void SetUp() override
    {
        windows.attach(state);
        buildMenuAndToolbar(state);
        for (int32_t view = windowFront; view <= windowTop; ++view) {
            WindowSpec spec;
            spec.width = 200;
            spec.height = 200;
            windows.openWindow(view, spec);
        }
        state.mesh = twoQuads();
        state.currentFileName = folder + "quads.pq";
        ASSERT_EQ(saveMeshFile(state.mesh, state.currentFileName), "");
        resetDocumentHistory(state);
    }

    // Runs passes until the scripted events are used up; false when a pass ended the loop.
    bool runEvents()
    {
        while (!windows.events.empty())
            if (mainLoopPass(state)) return false;
        return true;
    }

    void key(int32_t window, int32_t virtualKey, int32_t modifiers = 0)
    {
        windows.pushKey(window, virtualKey, modifiers);
        runEvents();
    }

    void undo(int32_t window = windowFront) { key(window, 'Z', mkControl); }
    void redo(int32_t window = windowFront) { key(window, 'Z', mkControl | mkShift); }

    std::vector<std::byte> fileBytes(const std::string& path) const
    {
        const auto bytes = readFileBytes(path);
        return {bytes->begin(), bytes->end()};
    }
};

}  // namespace

TEST_F(Editing, CommandsThroughTheLoopAreOneStepEachAndCtrlYRedoes)
{
    windows.promptAnswers = {"0", "1", "2"};
    windows.fileAnswers = {state.currentFileName};
    for (int32_t command : {cmdTriangleSelectionUp, cmdFlipTriangle, cmdAutoTextureCoords, cmdDeleteTriangle,
                            cmdMerge, cmdDeleteVertex}) {
        SCOPED_TRACE(command);
        const Mesh before = state.mesh;
        windows.push(eventCommand, windowMain, command);
        runEvents();
        const Mesh after = state.mesh;
        EXPECT_EQ(state.history.steps.size(), state.history.cursor);
        undo();
        expectSameDocument(state.mesh, before);
        key(windowSide, 'Y', mkControl);
        expectSameDocument(state.mesh, after);
    }
}

TEST_F(Editing, AClickAndItsDragAreOneStepEndedByTheRelease)
{
    setToolMode(state, MoveVertex);
    const Mesh before = state.mesh;
    windows.cursor[windowFront] = {100, 100};
    windows.push(eventLeftDown, windowFront, mkLButton);
    runEvents();
    for (int32_t x : {110, 130, 160}) {
        windows.cursor[windowFront] = {x, 80};
        windows.push(eventMouseMove, windowFront, mkLButton);
        runEvents();
    }
    windows.push(eventLeftUp, windowFront, 0);
    runEvents();
    ASSERT_NE(state.mesh.vertices[1].x, before.vertices[1].x);
    EXPECT_TRUE(windows.menuEnabled[cmdUndo]);
    EXPECT_FALSE(windows.menuEnabled[cmdRedo]);
    undo();
    expectSameDocument(state.mesh, before);
    EXPECT_FALSE(windows.menuEnabled[cmdUndo]);
    EXPECT_TRUE(windows.menuEnabled[cmdRedo]);
}

TEST_F(Editing, AcceleratorsAndTheEditMenuBetweenFileAndHelp)
{
    const std::vector<std::tuple<int32_t, int32_t, int32_t>> keys{
        {'N', mkControl, cmdNew},       {'O', mkControl, cmdOpen},       {'S', mkControl, cmdSave},
        {'S', mkControl | mkShift, cmdSaveAs}, {'Q', mkControl, cmdQuit}, {'Z', mkControl, cmdUndo},
        {'Z', mkControl | mkShift, cmdRedo}, {'Y', mkControl, cmdRedo}, {vkDelete, 0, cmdDeleteVertex},
        {'1', 0, cmdToolCreateVertex}, {'2', 0, cmdToolMoveVertex}, {'3', 0, cmdToolSelectVertex},
        {'4', 0, cmdToolCreateTriangle}, {vkOemPlus, mkShift, cmdZoomIn}, {vkAdd, 0, cmdZoomIn},
        {vkOemMinus, 0, cmdZoomOut}, {vkSubtract, 0, cmdZoomOut}, {'Z', 0, -1}, {'1', mkControl, -1},
        {vkLeft, 0, -1}};
    for (const auto& [vk, modifiers, command] : keys) EXPECT_EQ(acceleratorCommand(vk, modifiers), command) << vk;

    std::vector<std::string> titles;
    for (const auto& e : windows.menu)
        if (e.kind == "menu") titles.push_back(e.text);
    EXPECT_EQ(titles, (std::vector<std::string>{"Datei", "Bearbeiten", "Hilfe"}));
    EXPECT_EQ(windows.menuShortcuts[cmdSaveAs], "Strg+Umschalt+S");
    EXPECT_EQ(windows.menuShortcuts[cmdUndo], "Strg+Z");

    // Keys act whichever view has them; a tool window takes only undo and redo.
    key(windowTop, '3');
    EXPECT_EQ(state.toolMode, SelectVertex);
    key(windowMain, vkOemPlus);
    EXPECT_EQ(state.camera.zoom, 0.25f);
    windows.openWindow(windowTriangles, WindowSpec{});
    key(windowTriangles, vkDelete);
    EXPECT_EQ(state.mesh.vertices.size(), 6u);
    key(windowSide, vkDelete);
    EXPECT_EQ(state.mesh.vertices.size(), 4u);
    undo(windowTriangles);
    EXPECT_EQ(state.mesh.vertices.size(), 6u);
}

TEST_F(Editing, TheTextureWindowShowsTheValuesAfterAnUndoAndAFieldEditIsOneStep)
{
    windows.imageFiles["/tex.png"] = {64, 32};
    windows.loadImage(imageTexture, "/tex.png");
    windows.push(eventCommand, windowMain, cmdSetTextureCoords);
    runEvents();
    ASSERT_TRUE(windows.isWindowOpen(windowTexture));
    for (const char* typed : {"0", "0.", "0.7"}) {
        windows.setGadgetText(windowTexture, 202, typed);
        windows.pushControl(windowTexture, 202, notifyChange);
        runEvents();
    }
    windows.pushControl(windowTexture, 203, notifySetFocus);
    runEvents();
    EXPECT_EQ(state.mesh.triangles[2].u[1], 0.7f);
    undo(windowTexture);
    EXPECT_EQ(state.mesh.triangles[2].u[1], 1.0f);
    EXPECT_EQ(windows.gadgetText(windowTexture, 202), "1.000000");
    mainLoopPass(state);
    EXPECT_EQ(state.mesh.triangles[2].u[1], 1.0f);
}

TEST_F(Editing, UndoInTheScaleWindowAndTheScaleIsOneStep)
{
    deselectAllVertices(state.mesh);
    recordChange(state);
    bool pressed = false;
    windows.onIdle = [&](FakeWindowLayer& w) {
        if (!w.isWindowOpen(windowScale) || pressed) return;
        pressed = true;
        w.pushKey(windowScale, 'Z', mkControl);  // brings back the selection of 1 and 4
        w.windows[windowScale].gadgets[2].text = "3";
        w.push(eventClose, windowScale);
    };
    windows.push(eventCommand, windowMain, cmdScale);
    runEvents();
    windows.onIdle = nullptr;
    // About the centre of the selection the undo brought back: y 0.5.
    EXPECT_EQ(state.mesh.vertices[1].y, -1.0f);
    EXPECT_EQ(state.mesh.vertices[4].y, 2.0f);
    undo();
    expectSameDocument(state.mesh, twoQuads());
}

TEST_F(Editing, LeavingAsksSaveDiscardOrCancelOnlyWithChanges)
{
    windows.push(eventClose, windowMain);
    EXPECT_FALSE(runEvents());  // nothing changed: no question
    EXPECT_TRUE(windows.choices.empty());

    state.mesh.vertices[0].x = 5.0f;
    windows.push(eventClose, windowMain);  // Escape: Cancel
    EXPECT_TRUE(runEvents());
    ASSERT_EQ(windows.choices.size(), 1u);
    EXPECT_EQ(windows.choices[0].text, "Änderungen an quads.pq speichern?|Speichern|Verwerfen|Abbrechen");
    undo();
    windows.push(eventCommand, windowMain, cmdQuit);  // back at the saved state
    runEvents();
    EXPECT_TRUE(state.quitRequested);
    EXPECT_EQ(windows.choices.size(), 1u);

    state.quitRequested = false;
    redo();
    windows.choiceAnswers = {1};  // Discard
    key(windowFront, 'Q', mkControl);
    EXPECT_TRUE(state.quitRequested);

    // Save goes on only when the file was written.
    const std::string saved = state.currentFileName;
    state.quitRequested = false;
    state.currentFileName = folder + "missing/quads.pq";
    windows.choiceAnswers = {0};
    key(windowFront, 'Q', mkControl);
    EXPECT_FALSE(state.quitRequested);
    state.currentFileName = saved;
    windows.choiceAnswers = {0};
    key(windowFront, 'Q', mkControl);
    EXPECT_TRUE(state.quitRequested);
    EXPECT_EQ(fileBytes(saved), writeMeshBytes(state.mesh));
}

TEST_F(Editing, NewOpenAndTheSessionEndAskFirst)
{
    state.mesh.vertices[0].x = 5.0f;
    windows.push(eventCommand, windowMain, cmdNew);
    runEvents();
    EXPECT_EQ(state.mesh.vertices.size(), 6u);  // Cancel
    windows.fileAnswers = {state.currentFileName};
    windows.push(eventCommand, windowMain, cmdOpen);
    runEvents();
    EXPECT_EQ(state.mesh.vertices[0].x, 5.0f);
    EXPECT_TRUE(windows.fileDialogs.empty());
    EXPECT_EQ(windows.choices.size(), 2u);
    windows.choiceAnswers = {1};  // Discard
    windows.fileAnswers.clear();
    windows.push(eventCommand, windowMain, cmdNew);
    windows.push(eventCommand, windowMain, cmdOpen);  // an empty mesh holds nothing to ask about
    runEvents();
    EXPECT_TRUE(state.mesh.vertices.empty());
    EXPECT_EQ(windows.choices.size(), 3u);
    EXPECT_EQ(windows.fileDialogs.size(), 1u);

    startUp(state, folder, {});  // registers the handler
    state.mesh.vertices.push_back(Vertex{});
    ASSERT_TRUE(windows.sessionEndHandler);
    EXPECT_FALSE(windows.sessionEndHandler());
    EXPECT_FALSE(state.closeRequested);
    windows.choiceAnswers = {1};
    EXPECT_TRUE(windows.sessionEndHandler());
    EXPECT_TRUE(mainLoopPass(state));
}

TEST_F(Editing, SaveAsAsksBeforeReplacingAnotherFile)
{
    const std::string other = folder + "other.pq";
    std::ofstream(other) << "keep";
    windows.fileAnswers = {other, other, other};
    windows.push(eventCommand, windowMain, cmdSaveAs);  // Cancel
    runEvents();
    EXPECT_EQ(fileBytes(other).size(), 4u);
    EXPECT_EQ(state.currentFileName, folder + "quads.pq");
    ASSERT_EQ(windows.choices.size(), 1u);
    EXPECT_EQ(windows.choices[0].text, "other.pq existiert bereits. Ersetzen?|Ersetzen|Abbrechen");

    windows.choiceAnswers = {0};
    windows.push(eventCommand, windowMain, cmdSaveAs);
    runEvents();
    EXPECT_EQ(fileBytes(other), writeMeshBytes(state.mesh));
    EXPECT_EQ(state.currentFileName, other);
    windows.push(eventCommand, windowMain, cmdSaveAs);  // its own file: no question
    runEvents();
    EXPECT_EQ(windows.choices.size(), 2u);
}
