// Pixel tests of the views' drawing, the camera, the label quad and the cube
// in an offscreen Mesa context of a view's size.
#include <gtest/gtest.h>

#include <GL/gl.h>

#include <cmath>
#include <memory>

#include "tests/gl_test_support.h"
#include "tests/test_images.h"
#include "tests/test_mesh.h"
#include "views/views.h"

namespace {

const Pixel white{255, 255, 255}, red{255, 0, 0}, green{0, 255, 0}, blue{0, 0, 255}, black{};
const Pixel yellow{191, 191, 0};  // (0.75, 0.75, 0): a selected triangle
const Pixel labelBlue{0, 0, 96};

// One view's context set up as view creation does, with a dark 1 x 1 label;
// its arrays may be shared with other views' fixtures.
struct ViewFixture {
    OffscreenGl gl;
    Engine engine;
    RenderBuffers ownBuffers;
    RenderBuffers& buffers;
    ViewBuffers own;
    GLuint label = 0;
    ViewKind view;
    float ratio;  // device pixels per client pixel

    explicit ViewFixture(ViewKind kind, int32_t width = 248, RenderBuffers* shared = nullptr, float pixelRatio = 1.0f)
        : gl(static_cast<int32_t>(static_cast<float>(width) * pixelRatio), static_cast<int32_t>(198 * pixelRatio)),
          buffers(shared != nullptr ? *shared : ownBuffers), view(kind), ratio(pixelRatio)
    {
        if (!gl.valid()) return;
        prepareViewContext(view);
        glGenTextures(1, &label), glBindTexture(GL_TEXTURE_2D, label);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 1, 1, 0, GL_RGB, GL_UNSIGNED_BYTE, std::array<uint8_t, 3>{0, 0, 96}.data());
        finishViewContext(view);
    }
    ~ViewFixture()
    {
        if (!gl.makeCurrent()) return;
        glDeleteTextures(1, &label);
        own = ViewBuffers{};
    }
    // Two redraws, so the second finds the state every later redraw finds.
    RgbImage draw(const Mesh& mesh, const ViewCamera& camera = {}, uint32_t texture = 0, bool meshChanged = true)
    {
        return drawWith(own, RenderPath::BufferObjects, mesh, camera, texture, meshChanged);
    }
    RgbImage drawWith(ViewBuffers& arrays, RenderPath path, const Mesh& mesh, const ViewCamera& camera = {},
                      uint32_t texture = 0, bool meshChanged = true, int passes = 2)
    {
        gl.makeCurrent();
        if (meshChanged) ++buffers.meshRevision;
        const auto client = [this](int32_t length) { return static_cast<int32_t>(static_cast<float>(length) / ratio); };
        ViewFrame frame = viewFrame(view, client(gl.width()), client(gl.height()), ratio, path);
        frame.textureName = texture;
        frame.labelTexture = label;
        for (int pass = 0; pass < passes; ++pass) drawView(engine, frame, mesh, camera, buffers, arrays);
        return gl.readPixels();
    }
};

// A triangle over three new vertices, corners in the order given.
Triangle& addCorners(Mesh& mesh, std::array<Vec3, 3> corners, int32_t selected = 0)
{
    const auto first = static_cast<int32_t>(mesh.vertices.size());
    for (const Vec3& c : corners) addVertex(mesh, c.x, c.y, c.z);
    Triangle& t = addTriangle(mesh, first, first + 1, first + 2);
    t.selected = selected;
    return t;
}

Mesh frontTriangle(int32_t selected = 0)
{
    Mesh mesh;
    addCorners(mesh, {{{0.25f, 0.25f, 0.0f}, {0.75f, 0.25f, 0.0f}, {0.25f, 0.75f, 0.0f}}}, selected);
    return mesh;
}

void colour(Pixel p) { glColor3ub(static_cast<GLubyte>(p.r), static_cast<GLubyte>(p.g), static_cast<GLubyte>(p.b)); }

PixelBox near(const RgbImage& image, Pixel colour, int col, int row)
{ return findPixels(image, exactly(colour), col - 6, row - 6, col + 6, row + 6); }

// 5 x 3 texture: rows red, green, blue; right column white.
RgbImage stripeTexture()
{
    struct C { uint8_t r, g, b; };
    return makeRgbImage(5, 3, [](int32_t x, int32_t y) {
        return x == 4 ? C{255, 255, 255} : y == 0 ? C{255, 0, 0} : y == 1 ? C{0, 255, 0} : C{0, 0, 255};
    });
}

// A square from -0.8 to 0.8 with the whole texture, V = 0 at the top, wound
// clockwise on screen (drawn) or counter-clockwise (culled).
Mesh texturedSquare(bool clockwise, int32_t selected = 0)
{
    Mesh mesh;
    const std::array<Vec3, 4> at{{{-0.8f, 0.8f, 0}, {0.8f, 0.8f, 0}, {0.8f, -0.8f, 0}, {-0.8f, -0.8f, 0}}};
    const std::array<std::array<float, 2>, 4> uv{{{0, 0}, {1, 0}, {1, 1}, {0, 1}}};
    for (std::array<size_t, 3> order : {std::array<size_t, 3>{0, 1, 2}, std::array<size_t, 3>{0, 2, 3}}) {
        if (!clockwise) std::swap(order[0], order[2]);
        Triangle& t = addCorners(mesh, {at[order[0]], at[order[1]], at[order[2]]}, selected);
        for (size_t c = 0; c < 3; ++c) t.u[c] = uv[order[c]][0], t.v[c] = uv[order[c]][1];
    }
    return mesh;
}

}  // namespace

// The reference drawing of Front, Side and Top, in batches, gives the pixels
// of the plain drawing, one call per corner in list order: plain markers, the
// triangles, then the selected and the marked markers over everything.
TEST(Render, ReferenceDrawingGivesThePixelsOfCornerByCornerDrawing)
{
    Mesh markers, wires;
    markers.vertices = {{0.5f, 0.25f, 0.0f, 1, 0}, {0.505f, 0.25f, 0.3f, 0, 0}, {-0.3f, -0.6f, 0.2f, 0, 1},
                        {0.0f, 0.0f, 1.5f, 0, 0}, {0.9999f, -0.99f, -0.995f, 0, 0}};
    // Markers at every sub-pixel phase, overlapping at several depths.
    const auto wave = [](int i, float step) { return std::fmod(static_cast<float>(i) * step, 1.9f) - 0.95f; };
    for (int i = 0; i < 300; ++i)
        addVertex(markers, wave(i, 0.01373f), wave(i, 0.02917f), wave(i, 0.04111f), i % 3 == 0).marked = i % 7 == 0;
    // Overlapping triangles, one selected, some degenerate as clicks on nothing make them.
    for (int i = 0; i < 60; ++i) addVertex(wires, wave(i, 0.1373f), wave(i, 0.2917f), wave(i, 0.4111f));
    for (int32_t i = 0; i < 200; ++i) {
        Triangle& t = addTriangle(wires, i % 60, (i * 7 + 3) % 60, i % 17 == 0 ? i % 60 : (i * 13 + 5) % 60);
        if (i % 19 == 0) t.vertexIndex[2] = t.vertexIndex[1];
        t.selected = i == 42;
    }
    for (const ViewKind view : {ViewKind::Front, ViewKind::Side, ViewKind::Top})
    for (const Mesh& mesh : {markers, wires}) {
        ViewFixture f(view);
        PQ_REQUIRE_GL(f.gl);
        const CameraArgs c = viewCameraArgs(view, ViewCamera{});
        setCamera(f.engine, 1.0f, 0.0f, c.x, c.y, c.z, c.angleX, c.angleY, c.angleZ);
        glEnable(GL_DEPTH_TEST), glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT), ++f.buffers.meshRevision;
        renderMesh(mesh, viewFrame(view, 248, 198, 1.0f, RenderPath::Reference), ViewCamera{}, f.buffers, f.own);
        const RgbImage batched = f.gl.readPixels();

        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glDisable(GL_TEXTURE_2D), glDisable(GL_CULL_FACE);
        glPolygonMode(GL_FRONT_AND_BACK, GL_LINE), glLoadIdentity(), colour(white);
        glBegin(GL_LINES);  // the origin cross
        for (const float p : {-0.125f, 0.125f}) glVertex3f(p, 0.0f, 0.0f);
        for (const float p : {0.125f, -0.125f}) glVertex3f(0.0f, p, 0.0f);
        for (const float p : {0.125f, -0.125f}) glVertex3f(0.0f, 0.0f, p);
        glEnd();
        const auto drawMarkers = [&mesh](int group) {
            for (const Vertex& v : mesh.vertices) {
                if ((v.marked != 0 ? 2 : v.selected == 1 ? 1 : 0) != group) continue;
                colour(std::array{white, red, green}[static_cast<size_t>(group)]);
                const float size = v.selected == 1 ? 0.025f : 0.01f;
                drawCube(v.x, v.y, v.z, size, size, size, 0.0f, 0.0f, 0.0f);
            }
        };
        drawMarkers(0);
        glLoadIdentity(), glBegin(GL_TRIANGLES);
        for (const Triangle& t : mesh.triangles) {
            colour(t.selected == 1 ? yellow : white);
            for (const int32_t p : t.vertexIndex) glVertex3fv(&mesh.vertices[static_cast<size_t>(p)].x);
        }
        glEnd();
        glDepthFunc(GL_ALWAYS), drawMarkers(1), drawMarkers(2), glDepthFunc(GL_LESS);
        EXPECT_GT(findPixels(batched, notBlack).count, 1000);
        EXPECT_TRUE(batched.rgb == f.gl.readPixels().rgb);
    }
}

// A wavy grid of about `count` triangles over most of the view, its vertices
// at many depths; some selected, some marked, one triangle selected.
Mesh wavyGrid(int32_t count)
{
    Mesh mesh;
    const auto cells = static_cast<int32_t>(std::ceil(std::sqrt(count / 2.0)));
    for (int32_t j = 0; j <= cells; ++j)
        for (int32_t i = 0; i <= cells; ++i) {
            const float u = static_cast<float>(i) / static_cast<float>(cells);
            const float v = static_cast<float>(j) / static_cast<float>(cells);
            const int32_t n = j * (cells + 1) + i;
            addVertex(mesh, 1.8f * u - 0.9f + 0.03f * std::sin(9 * v), 0.9f - 1.8f * v + 0.03f * std::sin(7 * u),
                      0.7f * std::sin(3 * u + 2 * v), n % 37 == 0).marked = n % 101 == 50;
        }
    for (int32_t n = 0; std::ssize(mesh.triangles) < count; ++n) {
        const int32_t i = (n / 2) % cells, j = (n / 2) / cells, at = j * (cells + 1) + i;
        addTriangle(mesh, at, n % 2 == 0 ? at + 1 : at + cells + 2, n % 2 == 0 ? at + cells + 2 : at + cells + 1);
    }
    mesh.triangles[static_cast<size_t>(count / 3)].selected = 1;
    return mesh;
}

int32_t pixelsDiffering(const RgbImage& a, const RgbImage& b)
{
    int32_t count = 0;
    for (size_t i = 0; i < a.rgb.size(); i += 3) count += !std::equal(&a.rgb[i], &a.rgb[i] + 3, &b.rgb[i]);
    return count;
}

// Triangles of every size and slope over the whole view, overlapping at
// many depths, some degenerate; every fifth vertex selected.
Mesh scatteredTriangles()
{
    Mesh mesh;
    const auto wave = [](int i, float step) { return std::fmod(static_cast<float>(i) * step, 1.9f) - 0.95f; };
    for (int i = 0; i < 60; ++i) addVertex(mesh, wave(i, 0.1373f), wave(i, 0.2917f), wave(i, 0.4111f), i % 5 == 0);
    for (int32_t i = 0; i < 200; ++i)
        addTriangle(mesh, i % 60, (i * 7 + 3) % 60, i % 17 == 0 ? i % 60 : (i * 13 + 5) % 60).selected = i == 42;
    return mesh;
}

// The editor's paths draw within a tenth of a percent of the reference's
// pixels in every view, at any size and zoom; without buffer objects exactly
// as with them.
TEST(Render, FastPathsDrawTheReferencePictureWithinATenthOfAPercent)
{
    ViewCamera out, in, panned;
    out.orthoZoom = 0.3f;
    in.orthoZoom = 6.0f, in.panX = -0.7f, in.panY = 0.6f, in.panZ = 0.2f;
    panned.panX = 0.25f, panned.panY = -0.3f, panned.panZ = 0.15f;
    const std::vector<ViewKind> all{ViewKind::Front, ViewKind::Side, ViewKind::Top, ViewKind::ThreeD};
    const auto compare = [](const Mesh& mesh, std::span<const ViewKind> views, std::span<const ViewCamera> cameras) {
        RenderBuffers shared;
        std::vector<std::unique_ptr<ViewFixture>> fixtures;
        std::vector<ViewBuffers> client(views.size());  // client arrays hold no names of a context
        for (const ViewKind view : views) {
            fixtures.push_back(std::make_unique<ViewFixture>(view, 248, &shared));
            PQ_REQUIRE_GL(fixtures.back()->gl);
            fixtures.back()->draw(mesh);
        }
        for (const ViewCamera& camera : cameras)
        for (size_t i = 0; i < views.size(); ++i) {
            ViewFixture& f = *fixtures[i];
            const RgbImage reference = f.drawWith(f.own, RenderPath::Reference, mesh, camera, 0, false, 1);
            const RgbImage buffered = f.drawWith(f.own, RenderPath::BufferObjects, mesh, camera, 0, false, 1);
            EXPECT_GT(findPixels(reference, notBlack).count, 500) << mesh.triangles.size();
            EXPECT_LE(pixelsDiffering(reference, buffered), 248 * 198 / 1000)
                << mesh.triangles.size() << " triangles in view " << int(views[i]) << " at zoom " << camera.orthoZoom;
            EXPECT_TRUE(f.drawWith(client[i], RenderPath::ClientArrays, mesh, camera, 0, false, 1).rgb == buffered.rgb);
        }
    };
    compare(scatteredTriangles(), all, std::array{ViewCamera{}, out, in, panned});
    for (const int32_t count : {1000, 10000, 100000})
        compare(wavyGrid(count), all, std::array{ViewCamera{}, out, in, panned});
    compare(wavyGrid(1000000), std::array{ViewKind::Front, ViewKind::Top}, std::array{ViewCamera{}, in});
}

// At a pixel ratio of two the viewport has twice the pixels each way and
// lines are two pixels wide; there every path draws every line.
TEST(Render, AtAPixelRatioOfTwoLinesAreTwoPixelsWideAndEveryPathDrawsTheReference)
{
    ViewFixture f(ViewKind::Front, 248, nullptr, 2.0f);
    PQ_REQUIRE_GL(f.gl);
    EXPECT_EQ(findPixels(f.draw(Mesh{}), exactly(white), 260, 0, 260, 395).count, 2) << "the cross's arm";
    const Mesh mesh = wavyGrid(10000);
    const RgbImage reference = f.drawWith(f.own, RenderPath::Reference, mesh);
    EXPECT_GT(findPixels(reference, notBlack).count, 5000);
    EXPECT_TRUE(f.drawWith(f.own, RenderPath::BufferObjects, mesh).rgb == reference.rgb);
}

// Buffer objects came with OpenGL 1.5; older contexts and unreadable version
// texts draw from client memory.
TEST(Render, ThePathFollowsTheContextsOpenGLVersion)
{
    EXPECT_EQ(renderPathFor("1.5"), RenderPath::BufferObjects);
    EXPECT_EQ(renderPathFor("4.5 (Compatibility Profile) Mesa 22.3.6"), RenderPath::BufferObjects);
    EXPECT_EQ(renderPathFor("1.4.0 - Build 7.14.10.4906"), RenderPath::ClientArrays);
    EXPECT_EQ(renderPathFor("OpenGL"), RenderPath::ClientArrays);
}

// A selected marker is larger than a plain one, and whole over a plain one
// nearer the viewer; a marked one is whole over both. All are hollow.
TEST(Render, SelectedAndMarkedMarkersAreDrawnLargerAndOverThePlainOnes)
{
    for (const RenderPath path : {RenderPath::Reference, RenderPath::BufferObjects}) {
        ViewFixture f(ViewKind::Front);
        PQ_REQUIRE_GL(f.gl);
        Mesh mesh;
        addVertex(mesh, -0.5f, -0.5f, 0.0f, 1), addVertex(mesh, 0.5f, -0.5f, 0.0f);  // alone: selected, plain
        addVertex(mesh, -0.5f + 3.1f / 124, 0.5f, -0.9f), addVertex(mesh, -0.5f, 0.5f, 0.0f, 1);  // plain on its edge
        addVertex(mesh, 0.5f, 0.5f, 0.0f, 1), addVertex(mesh, 0.5f, 0.5f, 0.5f, 1).marked = 1;
        const RgbImage image = f.drawWith(f.own, path, mesh);
        const PixelBox selected = near(image, red, 62, 148), plain = near(image, white, 186, 148);
        EXPECT_EQ(std::pair(selected.right - selected.left, selected.bottom - selected.top), std::pair(7, 4));
        EXPECT_EQ(std::pair(plain.right - plain.left, plain.bottom - plain.top), std::pair(3, 2));
        EXPECT_EQ(pixelAt(image, 62, 148), black) << "hollow";
        EXPECT_EQ(near(image, red, 62, 49).count, selected.count) << "whole over the nearer plain marker";
        EXPECT_EQ(near(image, green, 186, 49).count, selected.count) << "marked over selected";
        EXPECT_TRUE(near(image, red, 186, 49).empty());
    }
}

// Moving vertices updates each view's arrays where they moved; the picture
// is the one a fresh drawing gives, on both paths, also for a view that
// missed a move while another view was drawn, and when only selected
// vertices were said to move.
TEST(Render, MovedVerticesAreUpdatedInPlaceAndDrawnAsAfterAFreshStart)
{
    for (const RenderPath path : {RenderPath::ClientArrays, RenderPath::BufferObjects})
    for (const ViewKind view : {ViewKind::Front, ViewKind::Side, ViewKind::Top, ViewKind::ThreeD}) {
        Mesh mesh = wavyGrid(2000);
        ViewFixture f(view);
        PQ_REQUIRE_GL(f.gl);
        ViewBuffers other;
        f.drawWith(f.own, path, mesh);
        const uint64_t rebuilt = f.buffers.rebuiltAt;
        mesh.vertices[5].x += 0.2f, mesh.vertices[37].y -= 0.3f;  // a plain vertex and a selected one
        f.drawWith(other, path, mesh);
        mesh.vertices[600].z += 0.4f;
        f.drawWith(other, path, mesh);
        EXPECT_EQ(f.buffers.moved, std::vector<uint32_t>{600});
        mesh.vertices[37].x = -mesh.vertices[37].x;
        f.buffers.selectionMovedOnly = true;
        const RgbImage moved = f.drawWith(f.own, path, mesh);
        EXPECT_EQ(f.buffers.moved, std::vector<uint32_t>{37});
        EXPECT_EQ(f.buffers.rebuiltAt, rebuilt) << "moves rebuild nothing";
        ViewFixture fresh(view);
        EXPECT_TRUE(fresh.drawWith(fresh.own, path, mesh).rgb == moved.rgb) << int(view);
        EXPECT_TRUE(f.drawWith(other, path, mesh, {}, 0, false).rgb == moved.rgb) << "missed a move: " << int(view);
    }
}

// Wireframe edges shorter than 1.5 pixels on the view's screen are left out,
// as the view and the zoom make them; an edge of no finite length stays.
TEST(Render, WireframeEdgesShorterThanOneAndAHalfPixelsAreLeftOut)
{
    Mesh mesh;  // across Front 1.4 pixels along x, 1.6 along y; 1.7 across Side along z
    addVertex(mesh, 0, 0, 0), addVertex(mesh, 1.4f / 124, 0, 0), addVertex(mesh, 0, 1.6f / 99, 0);
    addVertex(mesh, 0, 0, 1.7f / 124), addVertex(mesh, NAN, 0, 0);
    addTriangle(mesh, 0, 1, 2), addTriangle(mesh, 0, 2, 3), addTriangle(mesh, 4, 4, 4);
    using Edges = std::vector<uint32_t>;
    const std::array<std::pair<ViewKind, Edges>, 3> kept{{{ViewKind::Front, {1, 2, 2, 0, 2, 3, 4, 4}},
                                                          {ViewKind::Side, {1, 2, 2, 0, 2, 3, 3, 0, 4, 4}},
                                                          {ViewKind::Top, {4, 4}}}};
    for (const auto& [view, edges] : kept) {
        ViewFixture f(view);
        PQ_REQUIRE_GL(f.gl);
        f.draw(mesh);
        EXPECT_EQ(f.own.longEdges, edges) << int(view);
    }
    ViewFixture top(ViewKind::Top);
    top.draw(mesh, {.orthoZoom = 2.0f});
    EXPECT_EQ(top.own.longEdges, (Edges{0, 1, 1, 2, 2, 3, 3, 0, 4, 4})) << "twice as long; 0 to 2 drawn as 2 to 0";
}

TEST(Render, OrthographicViewShowsCrossLabelAndWireframesAsTheyChange)
{
    ViewFixture f(ViewKind::Front);
    PQ_REQUIRE_GL(f.gl);
    RgbImage image = f.draw(Mesh{});
    const PixelBox cross = findPixels(image, exactly(white)), label = findPixels(image, exactly(labelBlue));
    EXPECT_EQ((std::array{cross.left, cross.right, cross.top, cross.bottom}), (std::array{108, 138, 87, 110}));
    EXPECT_EQ((std::array{label.left, label.right, label.top, label.bottom, label.count}), (std::array{12, 33, 10, 24, 22 * 15}));
    EXPECT_EQ(cross.count + label.count + findPixels(image, exactly(black)).count, 248 * 198);
    // The arrays are kept until the mesh's revision moves; changes that keep both lists' sizes must show then.
    Mesh mesh = frontTriangle();
    image = f.draw(mesh);
    EXPECT_FALSE(findPixels(image, exactly(white), 184, 47, 188, 52).empty());  // hypotenuse
    EXPECT_TRUE(findPixels(image, notBlack, 165, 55, 180, 65).empty());         // inside
    ViewCamera zoomed;  // twice as large: the lower edge now reaches the view's right side
    zoomed.orthoZoom = 2.0f;
    EXPECT_FALSE(findPixels(f.draw(mesh, zoomed), exactly(white), 236, 44, 246, 54).empty());
    mesh.vertices[0].selected = 1;
    EXPECT_FALSE(near(f.draw(mesh, {}, 0, false), white, 155, 74).empty());
    mesh.vertices[0].x = -0.5f;
    image = f.draw(mesh);
    EXPECT_FALSE(near(image, red, 62, 74).empty());
    EXPECT_TRUE(near(image, red, 155, 74).empty());
    mesh = frontTriangle(1);
    EXPECT_FALSE(findPixels(f.draw(mesh), exactly(yellow), 184, 47, 188, 52).empty());
    // A triangle under construction is left out; from its second corner on its first edge shows.
    for (const int32_t corner : {1, 2}) {
        mesh.pendingCorner = corner;
        image = f.draw(mesh);
        EXPECT_EQ(findPixels(image, exactly(yellow), 150, 72, 160, 76).empty(), corner == 1);  // corners 0 to 1
        EXPECT_TRUE(findPixels(image, exactly(yellow), 152, 40, 188, 70).empty());             // no other edge
    }
    mesh.vertices.clear();  // corners naming vertices of an empty list
    EXPECT_TRUE(findPixels(f.draw(mesh), exactly(yellow)).empty());
}

// Keeping proportions, a vertex is drawn where the mapping puts it, not where stretching would.
TEST(Render, KeepingProportionsDrawsAUnitAsManyPixelsAcrossAsDown)
{
    Mesh mesh;
    addVertex(mesh, 0.5f, 0.5f, 0.0f, 1);
    for (const float width : {248.0f, 150.0f}) {
        ViewFixture f(ViewKind::Front, static_cast<int32_t>(width));
        PQ_REQUIRE_GL(f.gl);
        const RgbImage image = f.draw(mesh, {.keepProportions = true});
        const ViewPoint at = modelToScreen(ViewKind::Front, {0.5f, 0.5f}, width, 198, {.keepProportions = true});
        const ViewPoint stretched = modelToScreen(ViewKind::Front, {0.5f, 0.5f}, width, 198, {});
        EXPECT_FALSE(near(image, red, static_cast<int>(at.a), static_cast<int>(at.b)).empty()) << width;
        EXPECT_TRUE(near(image, red, static_cast<int>(stretched.a), static_cast<int>(stretched.b)).empty()) << width;
    }
}

TEST(Render, ThreeDViewShowsTheTextureTintedWhenSelectedCullsCounterClockwiseAndScalesByZoom)
{
    ViewFixture f(ViewKind::ThreeD);
    PQ_REQUIRE_GL(f.gl);
    const std::string file = makeTestFolder("render3d") + "/stripes.png";
    writeTestFile(file, encodeTestPng(stripeTexture()));
    const GlTexture texture(loadTexture(f.engine, file, 0, {}));
    for (const int32_t selected : {0, 1}) {
        const RgbImage image = f.draw(texturedSquare(true, selected), {}, texture.name());
        const std::vector<Pixel> seen{pixelAt(image, 124, 46), pixelAt(image, 124, 99), pixelAt(image, 124, 152),
                                      pixelAt(image, 203, 99)};
        const std::vector<Pixel> plain{red, green, blue, white}, tinted{{191, 0, 0}, {0, 191, 0}, black, yellow};
        EXPECT_EQ(seen, selected == 0 ? plain : tinted);
    }
    EXPECT_EQ(pixelAt(f.draw(texturedSquare(true)), 124, 99), white);  // untextured: plain colour
    EXPECT_TRUE(findPixels(f.draw(texturedSquare(false)), exactly(white)).empty());
    ViewFixture front(ViewKind::Front);  // no culling in the orthographic views
    EXPECT_FALSE(findPixels(front.draw(texturedSquare(false)), exactly(white), 20, 150, 30, 180).empty());

    EXPECT_TRUE(findPixels(f.draw(texturedSquare(true), {.zoom = -1}), exactly(white)).empty());
    const PixelBox quarter = findPixels(f.draw(texturedSquare(true), {.zoom = -0.75f}), exactly(white));
    // Scale 0.25: the square spans 0.4 of clip space.
    EXPECT_TRUE(std::abs(quarter.left - 99.2) <= 1 && std::abs(quarter.right - 148.8) <= 1) << quarter.left << " " << quarter.right;
}

TEST(Render, ViewsPictureLaysOutFourViewsWithTheTextureIn3D)
{
    const std::string folder = makeTestFolder("picture");
    writeTestFile(folder + "/stripes.png", encodeTestPng(stripeTexture()));
    const ViewsPicture picture = renderViewsPicture(texturedSquare(true), folder, folder + "/stripes.png", 100, 60);
    ASSERT_EQ(picture.image.width, 100);
    EXPECT_TRUE(picture.textureLoaded);
    EXPECT_FALSE(picture.labelsLoaded);
    EXPECT_EQ(pixelAt(picture.image, 75, 40), green) << "the 3D view's centre";
    for (const int row : {28, 29, 58, 59}) EXPECT_EQ(pixelAt(picture.image, 10, row), (Pixel{239, 239, 239})) << "between views: " << row;
    EXPECT_EQ(renderViewsPicture(Mesh{}, folder, "", 3, 20).image.width, 3) << "views of no width are left out";
}

// Far from the origin a mesh shows only when framed: Front, Side and Top as Frame all, the 3D view centred.
TEST(Render, FramedPictureShowsAFarMeshInEveryViewOrOneAlone)
{
    Mesh far = texturedSquare(true);
    for (Vertex& v : far.vertices) v.x += 50, v.y += 50, v.z += 50;
    const std::string folder = makeTestFolder("framed"), stripes = folder + "/stripes.png";
    writeTestFile(stripes, encodeTestPng(stripeTexture()));
    const ViewsPicture before = renderViewsPicture(far, folder, stripes, 200, 160);
    const ViewsPicture framed = renderViewsPicture(far, folder, stripes, 200, 160, {.frame = true});
    const auto span = [](const RgbImage& image, int left, int top) {
        const PixelBox box = findPixels(image, exactly(white), left, top, left + 97, top + 77);
        return std::max(box.right - box.left, box.bottom - box.top);
    };
    for (const auto& [left, top] : {std::pair{0, 0}, {100, 0}, {0, 80}}) {
        EXPECT_GT(span(framed.image, left, top), 65) << left << " " << top;
        EXPECT_LT(span(before.image, left, top), 55) << "the origin cross only";
    }
    EXPECT_EQ(pixelAt(framed.image, 150, 120), green) << "the 3D view's centre";
    EXPECT_EQ(pixelAt(before.image, 150, 120), black);
    const PictureFraming alone{.frame = true, .onlyView = ViewKind::ThreeD, .labels = false};
    const RgbImage threeD = renderViewsPicture(far, "", stripes, 90, 60, alone).image;
    EXPECT_EQ(pixelAt(threeD, 45, 30), green);
    EXPECT_EQ(findPixels(threeD, exactly(green)).left, 18) << "square: 54 pixels wide in the middle";
    EXPECT_EQ(findPixels(threeD, exactly(black), 0, 0, 10, 10).count, 121) << "no label";
}

// Whatever the model-view was: (1, 2, 3) moved to the origin, 0.01 of a unit is one pixel.
TEST(Camera, TheCubeCoversItsExtentAtItsPlace)
{
    OffscreenGl square(200, 200);
    PQ_REQUIRE_GL(square);
    Engine engine;
    setCamera(engine, 1.0f, 0.0f, -1.0f, -2.0f, -3.0f, 0.0f, 0.0f, 0.0f);
    glClear(GL_COLOR_BUFFER_BIT), glTranslatef(0.5f, 0.5f, 0.0f);
    drawCube(1.0f, 2.0f, 3.0f, 0.1f, 0.1f, 0.1f, 0.0f, 0.0f, 0.0f);
    const PixelBox cube = findPixels(square.readPixels(), notBlack);
    EXPECT_EQ((std::array{cube.left, cube.right, cube.top, cube.bottom}), (std::array{90, 109, 90, 109}));
    // The last corner's normal and texture coordinate stay current, as corner-by-corner drawing leaves them.
    std::array<float, 4> normal{}, texCoord{};
    glGetFloatv(GL_CURRENT_NORMAL, normal.data());
    glGetFloatv(GL_CURRENT_TEXTURE_COORDS, texCoord.data());
    EXPECT_EQ(std::make_pair(normal, texCoord), std::make_pair(std::array<float, 4>{-1, 0, 0, 0}, std::array<float, 4>{0, 1, 0, 1}));
    drawImage2D(engine, 1.0f, 0, 0.0f, 0.0f, 1.0f, 1.0f, 1);
    EXPECT_EQ(std::tuple(glIsEnabled(GL_ALPHA_TEST), glIsEnabled(GL_CULL_FACE), glIsEnabled(GL_DEPTH_TEST)), std::tuple(GL_FALSE, GL_TRUE, GL_TRUE))
        << "an image drawn with its alpha test leaves the state as it found it";
    setCamera(engine, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 800.0f, 0.0f, -10.0f);  // angles are brought into range by one turn only
    EXPECT_EQ(std::tuple(engine.camera.angleX, engine.camera.angleY, engine.camera.angleZ), std::tuple(440.0f, 360.0f, 350.0f));
}

// The 3D view projects in perspective (the flat views pass a field of view of 0
// and keep their projection), and only the 3D view keeps fog.
TEST(Camera, PerspectiveForThe3DViewAndFogOnlyThere)
{
    OffscreenGl gl(8, 8);
    PQ_REQUIRE_GL(gl);
    std::array<float, 16> m{};
    glMatrixMode(GL_PROJECTION), glLoadIdentity();
    perspective(0.0f, 2.0f, 1.0f, 3.0f);
    glGetFloatv(GL_PROJECTION_MATRIX, m.data());
    EXPECT_EQ(m, (std::array<float, 16>{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}));
    perspective(90.0f, 2.0f, 1.0f, 3.0f);
    glGetFloatv(GL_PROJECTION_MATRIX, m.data());
    for (const auto& [i, want] : {std::pair{0, 0.5f}, {5, 1.0f}, {10, -2.0f}, {11, -1.0f}, {14, -3.0f}})
        EXPECT_NEAR(m[static_cast<size_t>(i)], want, 1e-6) << i;
    for (const ViewKind view : {ViewKind::Front, ViewKind::Side, ViewKind::Top, ViewKind::ThreeD}) {
        glEnable(GL_FOG), finishViewContext(view);
        EXPECT_EQ(glIsEnabled(GL_FOG) == GL_TRUE, view == ViewKind::ThreeD);
    }
}
