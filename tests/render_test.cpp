// Pixel tests of the camera, the label quad, the cube and renderMesh in an
// offscreen Mesa context of a view's size.
#include <gtest/gtest.h>

#include <cmath>

#include <GL/gl.h>

#include <array>

#include "engine/engine.h"
#include "tests/gl_test_support.h"
#include "tests/test_images.h"
#include "views/views.h"

namespace {

const Pixel white{255, 255, 255};
const Pixel red{255, 0, 0};
const Pixel green{0, 255, 0};
const Pixel yellow{191, 191, 0};  // (0.75, 0.75, 0)
const Pixel labelBlue{0, 0, 96};

// One view's context set up as view creation does, with a dark label texture.
struct ViewFixture {
    OffscreenGl gl;
    Engine engine;
    RenderBuffers buffers;
    GLuint label = 0;
    ViewKind view;

    ViewFixture(ViewKind kind, int32_t width = 248, int32_t height = 198)
        : gl(width, height), view(kind)
    {
        if (!gl.valid()) return;
        if (view == ViewKind::ThreeD) glEnable(GL_TEXTURE_2D);
        glDisable(GL_LIGHTING);
        if (view != ViewKind::ThreeD) glDisable(GL_FOG);
        glGenTextures(1, &label);
        glBindTexture(GL_TEXTURE_2D, label);
        glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
        const std::array<uint8_t, 3> dark{0, 0, 96};
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, 1, 1, 0, GL_RGB, GL_UNSIGNED_BYTE, dark.data());
    }
    ~ViewFixture()
    {
        if (gl.valid()) glDeleteTextures(1, &label);
    }

    // Two redraws, so the second finds the state every later redraw finds.
    RgbImage draw(const Mesh& mesh, const ViewCamera& camera = {}, uint32_t texture = 0, bool meshChanged = true)
    {
        if (meshChanged) ++buffers.meshRevision;
        const float aspect = static_cast<float>(gl.width()) / static_cast<float>(gl.height());
        for (int pass = 0; pass < 2; ++pass)
            drawView(engine, view, mesh, camera, aspect, texture, label, buffers);
        return gl.readPixels();
    }
};

Mesh meshWithVertex(float x, float y, float z, int32_t selected = 0, int32_t marked = 0)
{
    Mesh mesh;
    mesh.vertices.push_back({x, y, z, selected, marked});
    return mesh;
}

// A triangle over three new vertices, corners in the order given.
Triangle& addTriangle(Mesh& mesh, std::array<Vec3, 3> corners, int32_t selected = 0)
{
    Triangle t;
    for (size_t c = 0; c < 3; ++c) {
        t.vertexIndex[c] = static_cast<int32_t>(mesh.vertices.size());
        mesh.vertices.push_back({corners[c].x, corners[c].y, corners[c].z, 0, 0});
    }
    t.selected = selected;
    mesh.triangles.push_back(t);
    return mesh.triangles.back();
}

// The marker around a vertex: its bounding box of exact colour near the spot.
PixelBox markerNear(const RgbImage& image, Pixel colour, int col, int row)
{
    return findPixels(image, exactly(colour), col - 6, row - 6, col + 6, row + 6);
}

}  // namespace

TEST(RenderMesh, VertexMarkerSitsWhereEachViewMapsTheVertex)
{
    const Mesh mesh = meshWithVertex(0.5f, 0.25f, 0.0f);
    struct Case {
        ViewKind view;
        int32_t width;
        double col, row;
    };
    for (const Case c : {Case{ViewKind::Front, 248, 186, 74.25}, Case{ViewKind::Top, 248, 186, 99},
                         Case{ViewKind::Side, 250, 125, 74.25}}) {
        ViewFixture f(c.view, c.width);
        PQ_REQUIRE_GL(f.gl);
        const RgbImage image = f.draw(mesh);
        const PixelBox box = markerNear(image, white, static_cast<int>(c.col), static_cast<int>(c.row));
        ASSERT_FALSE(box.empty()) << "view " << static_cast<int>(c.view);
        EXPECT_NEAR(box.centreX(), c.col, 1.5);
        EXPECT_NEAR(box.centreY(), c.row, 1.5);
        EXPECT_LE(box.right - box.left, 4);  // about 2.5 pixels across
        EXPECT_LE(box.bottom - box.top, 4);
    }
}

TEST(RenderMesh, MarkerColourFollowsSelectionAndMark)
{
    ViewFixture f(ViewKind::Front);
    PQ_REQUIRE_GL(f.gl);
    struct Case {
        int32_t selected, marked;
        Pixel colour;
    };
    for (const Case c : {Case{0, 0, white}, Case{1, 0, red}, Case{0, 1, green}, Case{1, 1, green}}) {
        const RgbImage image = f.draw(meshWithVertex(0.5f, 0.25f, 0.0f, c.selected, c.marked));
        const PixelBox near = findPixels(image, notBlack(), 180, 68, 192, 80);
        const PixelBox coloured = markerNear(image, c.colour, 186, 74);
        EXPECT_FALSE(coloured.empty());
        EXPECT_EQ(coloured.count, near.count) << "selected " << c.selected << " marked " << c.marked;
    }
}

class BatchedDrawing : public ::testing::TestWithParam<ViewKind> {
protected:
    // The view's camera, then renderMesh as the redraw calls it.
    static RgbImage drawBatched(ViewFixture& f, const Mesh& mesh)
    {
        const CameraArgs c = viewCameraArgs(GetParam(), ViewCamera{});
        setCamera(f.engine, 1.0f, 0.0f, c.x, c.y, c.z, c.angleX, c.angleY, c.angleZ);
        glEnable(GL_DEPTH_TEST);
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        ++f.buffers.meshRevision;
        renderMesh(mesh, 0, 0.0f, 1.0f, 0, f.buffers);
        return f.gl.readPixels();
    }

    // An orthographic view drawn the plain way, one call per corner, in the
    // order and colours of the batched drawing; what the batches must equal.
    static RgbImage drawCornerByCorner(OffscreenGl& gl, const Mesh& mesh)
    {
        glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
        glDisable(GL_TEXTURE_2D);
        glDisable(GL_CULL_FACE);
        glPolygonMode(GL_FRONT_AND_BACK, GL_LINE);
        glLoadIdentity();
        glColor3f(1.0f, 1.0f, 1.0f);
        glBegin(GL_LINES);
        for (const float p : {-0.125f, 0.125f}) glVertex3f(p, 0.0f, 0.0f);
        for (const float p : {0.125f, -0.125f}) glVertex3f(0.0f, p, 0.0f);
        for (const float p : {0.125f, -0.125f}) glVertex3f(0.0f, 0.0f, p);
        glEnd();
        for (const Vertex& v : mesh.vertices) {
            if (v.marked != 0) glColor3f(0.0f, 1.0f, 0.0f);
            else if (v.selected == 1) glColor3f(1.0f, 0.0f, 0.0f);
            else glColor3f(1.0f, 1.0f, 1.0f);
            drawCube(v.x, v.y, v.z, 0.01f, 0.01f, 0.01f, 0.0f, 0.0f, 0.0f);
        }
        glLoadIdentity();
        glBegin(GL_TRIANGLES);
        for (const Triangle& t : mesh.triangles) {
            if (t.selected == 1) glColor3f(0.75f, 0.75f, 0.0f);
            else glColor3f(1.0f, 1.0f, 1.0f);
            for (const int32_t p : t.vertexIndex) {
                const Vertex& v = mesh.vertices[static_cast<size_t>(p)];
                glVertex3f(v.x, v.y, v.z);
            }
        }
        glEnd();
        return gl.readPixels();
    }
};

TEST_P(BatchedDrawing, MarkersGiveTheSamePixelsAsDrawCube)
{
    ViewFixture f(GetParam());
    PQ_REQUIRE_GL(f.gl);
    Mesh mesh;
    mesh.vertices = {{0.5f, 0.25f, 0.0f, 1, 0}, {0.505f, 0.25f, 0.3f, 0, 0}, {-0.3f, -0.6f, 0.2f, 0, 1},
                     {0.0f, 0.0f, 1.5f, 0, 0}, {0.9999f, -0.99f, -0.995f, 0, 0}};
    // Markers at every sub-pixel phase and overlapping at several depths.
    for (int i = 0; i < 400; ++i) {
        const float t = static_cast<float>(i);
        mesh.vertices.push_back({std::fmod(t * 0.01373f, 1.9f) - 0.95f, std::fmod(t * 0.02917f, 1.9f) - 0.95f,
                                 std::fmod(t * 0.04111f, 1.9f) - 0.95f, i % 3 == 0 ? 1 : 0, i % 7 == 0 ? 1 : 0});
    }
    const RgbImage batched = drawBatched(f, mesh);

    const RgbImage oneByOne = drawCornerByCorner(f.gl, mesh);
    EXPECT_EQ(findPixels(batched, notBlack()).count, findPixels(oneByOne, notBlack()).count);
    EXPECT_TRUE(batched.rgb == oneByOne.rgb);
}

TEST_P(BatchedDrawing, WireframeGivesTheSamePixelsAsTrianglesInLineMode)
{
    ViewFixture f(GetParam());
    PQ_REQUIRE_GL(f.gl);
    Mesh mesh;
    for (int i = 0; i < 60; ++i) {
        const float t = static_cast<float>(i);
        mesh.vertices.push_back({std::fmod(t * 0.1373f, 1.9f) - 0.95f, std::fmod(t * 0.2917f, 1.9f) - 0.95f,
                                 std::fmod(t * 0.4111f, 1.9f) - 0.95f, 0, 0});
    }
    // Overlapping triangles in list order, one selected, some degenerate.
    for (int32_t i = 0; i < 200; ++i) {
        Triangle t;
        t.vertexIndex = {i % 60, (i * 7 + 3) % 60, (i * 13 + 5) % 60};
        if (i % 17 == 0) t.vertexIndex = {i % 60, i % 60, i % 60};  // clicks on nothing make these
        if (i % 19 == 0) t.vertexIndex[2] = t.vertexIndex[1];
        t.selected = i == 42 ? 1 : 0;
        mesh.triangles.push_back(t);
    }
    const RgbImage batched = drawBatched(f, mesh);

    const RgbImage immediate = drawCornerByCorner(f.gl, mesh);
    EXPECT_GT(findPixels(batched, notBlack()).count, 1000);
    EXPECT_TRUE(batched.rgb == immediate.rgb);
}

INSTANTIATE_TEST_SUITE_P(RenderMesh, BatchedDrawing,
                         ::testing::Values(ViewKind::Front, ViewKind::Side, ViewKind::Top));

TEST(RenderMesh, RedrawFollowsChangesMadeInPlace)
{
    // The arrays are kept until the mesh's revision moves; changes that keep both lists' sizes must show then.
    ViewFixture f(ViewKind::Front);
    PQ_REQUIRE_GL(f.gl);
    Mesh mesh;
    addTriangle(mesh, {{{0.25f, 0.25f, 0.0f}, {0.75f, 0.25f, 0.0f}, {0.25f, 0.75f, 0.0f}}});
    EXPECT_FALSE(markerNear(f.draw(mesh), white, 155, 74).empty());
    mesh.vertices[0].selected = 1;
    EXPECT_FALSE(markerNear(f.draw(mesh, {}, 0, false), white, 155, 74).empty());
    EXPECT_FALSE(markerNear(f.draw(mesh), red, 155, 74).empty());
    mesh.vertices[0].x = -0.5f;
    const RgbImage image = f.draw(mesh);
    EXPECT_FALSE(markerNear(image, red, 62, 74).empty());
    EXPECT_TRUE(markerNear(image, red, 155, 74).empty());
    mesh.triangles[0].selected = 1;
    EXPECT_FALSE(findPixels(f.draw(mesh), exactly(yellow), 184, 47, 188, 52).empty());
}

TEST(RenderMesh, EmptyMeshShowsOnlyTheOriginCrossAndLabel)
{
    ViewFixture f(ViewKind::Front);
    PQ_REQUIRE_GL(f.gl);
    const RgbImage image = f.draw(Mesh{});
    const PixelBox cross = findPixels(image, exactly(white));
    ASSERT_FALSE(cross.empty());
    EXPECT_NEAR(cross.left, 124 - 15.5, 2.0);  // arms 0.125 long
    EXPECT_NEAR(cross.right, 124 + 15.5, 2.0);
    EXPECT_NEAR(cross.top, 99 - 12.4, 2.0);
    EXPECT_NEAR(cross.bottom, 99 + 12.4, 2.0);
    const PixelBox other = findPixels(image, [](Pixel p) { return p != white && p != labelBlue && !isBlack(p); });
    EXPECT_TRUE(other.empty());

    ViewFixture threeD(ViewKind::ThreeD);
    const RgbImage image3D = threeD.draw(Mesh{});
    EXPECT_TRUE(findPixels(image3D, [](Pixel p) { return p != labelBlue && !isBlack(p); }).empty());
}

TEST(RenderMesh, OrthographicTrianglesAreWireframesInTheirSelectionColour)
{
    ViewFixture f(ViewKind::Front);
    PQ_REQUIRE_GL(f.gl);
    for (const auto& [selected, colour] : {std::pair{0, white}, std::pair{1, yellow}}) {
        Mesh mesh;
        addTriangle(mesh, {{{0.25f, 0.25f, 0.0f}, {0.75f, 0.25f, 0.0f}, {0.25f, 0.75f, 0.0f}}}, selected);
        const RgbImage image = f.draw(mesh);
        EXPECT_FALSE(findPixels(image, exactly(colour), 184, 47, 188, 52).empty());   // hypotenuse
        EXPECT_FALSE(findPixels(image, exactly(colour), 150, 72, 160, 76).empty());   // lower edge
        EXPECT_TRUE(findPixels(image, notBlack(), 165, 55, 180, 65).empty());          // inside
        EXPECT_FALSE(markerNear(image, white, 217, 74).empty());  // markers stay white
    }
}

TEST(RenderMesh, TriangleUnderConstructionIsLeftOutAndItsFirstEdgeShown)
{
    ViewFixture f(ViewKind::Front);
    PQ_REQUIRE_GL(f.gl);
    Mesh mesh;
    addTriangle(mesh, {{{0.25f, 0.25f, 0.0f}, {0.75f, 0.25f, 0.0f}, {0.25f, 0.75f, 0.0f}}}, 1);
    mesh.pendingCorner = 1;
    RgbImage image = f.draw(mesh);
    EXPECT_TRUE(findPixels(image, exactly(yellow)).empty());

    mesh.pendingCorner = 2;
    image = f.draw(mesh);
    EXPECT_FALSE(findPixels(image, exactly(yellow), 150, 72, 160, 76).empty());  // corners 0 to 1
    EXPECT_TRUE(findPixels(image, exactly(yellow), 184, 47, 188, 52).empty());   // no hypotenuse
    EXPECT_TRUE(findPixels(image, exactly(yellow), 152, 40, 158, 70).empty());   // no left edge

    // Corners naming vertices of an empty list draw nothing and crash nothing.
    mesh.vertices.clear();
    image = f.draw(mesh);
    EXPECT_TRUE(findPixels(image, exactly(yellow)).empty());
}

namespace {

// 5 x 3 texture: rows red, green, blue; right column white (15-byte rows).
RgbImage stripeTexture()
{
    return makeRgbImage(5, 3, [](int32_t x, int32_t y) {
        struct C {
            uint8_t r, g, b;
        };
        if (x == 4) return C{255, 255, 255};
        return y == 0 ? C{255, 0, 0} : y == 1 ? C{0, 255, 0} : C{0, 0, 255};
    });
}

// A square from -0.8 to 0.8 with the whole texture, V = 0 at the top, wound
// clockwise on screen (drawn) or counter-clockwise (culled).
Mesh texturedSquare(bool clockwise, int32_t selected = 0)
{
    Mesh mesh;
    const std::array<Vec3, 4> at{{{-0.8f, 0.8f, 0}, {0.8f, 0.8f, 0}, {0.8f, -0.8f, 0}, {-0.8f, -0.8f, 0}}};
    const std::array<std::array<float, 2>, 4> uv{{{0, 0}, {1, 0}, {1, 1}, {0, 1}}};
    for (const auto& corners : {std::array<int, 3>{0, 1, 2}, std::array<int, 3>{0, 2, 3}}) {
        std::array<int, 3> order = corners;
        if (!clockwise) std::swap(order[0], order[2]);
        Triangle& t = addTriangle(mesh, {at[order[0]], at[order[1]], at[order[2]]}, selected);
        for (size_t c = 0; c < 3; ++c) {
            t.u[c] = uv[order[c]][0];
            t.v[c] = uv[order[c]][1];
        }
    }
    return mesh;
}

void expectStripes(const RgbImage& image, float tint, int tolerance)
{
    const auto scaled = [tint](Pixel p) {
        return Pixel{static_cast<int>(p.r * tint + 0.5f), static_cast<int>(p.g * tint + 0.5f), 0};
    };
    const bool tinted = tint != 1.0f;
    const auto expect = [&](Pixel p) { return tinted ? scaled(p) : p; };
    EXPECT_TRUE(isNear(pixelAt(image, 124, 46), expect(red), tolerance));
    EXPECT_TRUE(isNear(pixelAt(image, 124, 99), expect(green), tolerance));
    EXPECT_TRUE(isNear(pixelAt(image, 124, 152), tinted ? Pixel{} : Pixel{0, 0, 255}, tolerance));
    EXPECT_TRUE(isNear(pixelAt(image, 203, 99), expect(white), tolerance));
}

}  // namespace

TEST(RenderMesh, ThreeDViewShowsPngAndJpegTexturesTintedWhenSelected)
{
    ViewFixture f(ViewKind::ThreeD);
    PQ_REQUIRE_GL(f.gl);
    const std::string folder = makeTestFolder("render3d");
    writeTestFile(folder + "/stripes.png", encodeTestPng(stripeTexture()));
    writeTestFile(folder + "/stripes.jpg", encodeTestJpeg(stripeTexture()));
    for (const auto& [name, tolerance] : {std::pair{"stripes.png", 0}, std::pair{"stripes.jpg", 40}}) {
        SCOPED_TRACE(name);
        const GlTexture texture(loadTexture(f.engine, folder + "/" + name, 0, {}));
        expectStripes(f.draw(texturedSquare(true), {}, texture.name()), 1.0f, tolerance);
        expectStripes(f.draw(texturedSquare(true, 1), {}, texture.name()), 0.75f, tolerance);
    }
}

TEST(RenderMesh, ThreeDViewCullsCounterClockwiseTrianglesAndScalesByZoom)
{
    ViewFixture f(ViewKind::ThreeD);
    PQ_REQUIRE_GL(f.gl);
    // Untextured (name 0): plain triangle colours.
    EXPECT_EQ(pixelAt(f.draw(texturedSquare(true)), 124, 99), white);
    EXPECT_TRUE(findPixels(f.draw(texturedSquare(false)), exactly(white)).empty());

    ViewFixture front(ViewKind::Front);  // no culling in the orthographic views
    EXPECT_FALSE(findPixels(front.draw(texturedSquare(false)), exactly(white), 20, 150, 30, 180).empty());

    ViewCamera camera;
    camera.zoom = -1.0f;
    EXPECT_TRUE(findPixels(f.draw(texturedSquare(true), camera), exactly(white)).empty());
    camera.zoom = -0.75f;  // scale 0.25: the square spans 0.4 of clip space
    const PixelBox quarter = findPixels(f.draw(texturedSquare(true), camera), exactly(white));
    EXPECT_NEAR(quarter.left, 124 - 0.2 * 124, 1.0);
    EXPECT_NEAR(quarter.right, 124 + 0.2 * 124, 1.0);

    camera = {};
    camera.orbitY = 180.0f;  // seen from behind the winding turns round
    EXPECT_TRUE(findPixels(f.draw(texturedSquare(true), camera), exactly(white)).empty());
    EXPECT_EQ(pixelAt(f.draw(texturedSquare(false), camera), 124, 99), white);
}

TEST(Camera, SetCameraNormalisesAnglesByOneStepAndTranslatesUnchanged)
{
    OffscreenGl gl(64, 64);
    PQ_REQUIRE_GL(gl);
    Engine engine;
    setCamera(engine, 1.0f, 0.0f, 0.5f, 0.0f, 0.0f, 0.0f, -90.0f, 450.0f);
    EXPECT_EQ(engine.camera.angleX, 360.0f);
    EXPECT_EQ(engine.camera.angleY, 270.0f);
    EXPECT_EQ(engine.camera.angleZ, 90.0f);
    EXPECT_EQ(engine.camera.nearPlane, 0.001f);
    EXPECT_EQ(engine.camera.farPlane, 50.0f);
    EXPECT_EQ(engine.camera.x, 0.5f);
    setCamera(engine, 1.0f, 0.0f, 0.0f, 0.0f, 0.0f, 360.0f, 800.0f, 360.5f);
    EXPECT_EQ(engine.camera.angleX, 360.0f);
    EXPECT_EQ(engine.camera.angleY, 440.0f);
    EXPECT_EQ(engine.camera.angleZ, 0.5f);

    setCamera(engine, 1.0f, 0.0f, 0.5f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f);
    GLint mode = 0;
    glGetIntegerv(GL_MATRIX_MODE, &mode);
    EXPECT_EQ(mode, GL_MODELVIEW);
    std::array<float, 16> m{};
    glGetFloatv(GL_PROJECTION_MATRIX, m.data());
    EXPECT_NEAR(m[12], 0.5f, 1e-6);  // the model origin lands at x = 0.5
    EXPECT_NEAR(m[0], 1.0f, 1e-6);   // 360 degrees is no turn
    EXPECT_NEAR(m[15], 1.0f, 1e-6);  // no perspective for a field of view of 0

    glMatrixMode(GL_PROJECTION);
    perspective(60.0f, 1.0f, 0.001f, 50.0f);  // a real field of view does change it
    glGetFloatv(GL_PROJECTION_MATRIX, m.data());
    EXPECT_NEAR(m[11], -1.0f, 1e-6);
}

TEST(Camera, DrawImage2DPlacesTheLabelUprightAndRestoresTheCamera)
{
    OffscreenGl gl(248, 198);
    PQ_REQUIRE_GL(gl);
    Engine engine;
    const std::string folder = makeTestFolder("label");
    writeTestFile(folder + "/label.png", encodeTestPng(makeRgbImage(4, 2, [](int32_t, int32_t y) {
        struct C {
            uint8_t r, g, b;
        };
        return y == 0 ? C{255, 0, 0} : C{0, 0, 255};
    })));
    const GlTexture label(loadTexture(engine, folder + "/label.png", 0, {}));
    glEnable(GL_TEXTURE_2D);
    glDisable(GL_LIGHTING);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    setCamera(engine, 248.0f / 198.0f, 0.0f, 0.25f, 0.0f, 0.0f, 30.0f, 0.0f, 0.0f);
    std::array<float, 16> before{}, after{}, modelView{};
    glGetFloatv(GL_PROJECTION_MATRIX, before.data());
    drawImage2D(engine, 248.0f / 198.0f, label.name(), 0.1f, -0.75f, 0.175f, 0.15f, 0);

    const RgbImage image = gl.readPixels();
    const PixelBox quad = findPixels(image, notBlack());
    // Pixels whose centres lie in x -0.9 to -0.725 (12.4 to 34.1), y 0.9 to 0.75 (9.9 to 24.75).
    EXPECT_EQ(quad.left, 12);
    EXPECT_EQ(quad.right, 33);
    EXPECT_EQ(quad.top, 10);
    EXPECT_EQ(quad.bottom, 24);
    EXPECT_EQ(pixelAt(image, 23, 12), red);   // the image's top row on top
    EXPECT_EQ(pixelAt(image, 23, 22), (Pixel{0, 0, 255}));

    glGetFloatv(GL_PROJECTION_MATRIX, after.data());
    glGetFloatv(GL_MODELVIEW_MATRIX, modelView.data());
    EXPECT_EQ(before, after);
    EXPECT_EQ(modelView, (std::array<float, 16>{1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1}));
    EXPECT_TRUE(glIsEnabled(GL_LIGHTING));
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_TRUE(glIsEnabled(GL_CULL_FACE));

    drawImage2D(engine, 1.0f, label.name(), 0.1f, -0.75f, 0.175f, 0.15f, 1);
    EXPECT_FALSE(glIsEnabled(GL_ALPHA_TEST));
}

TEST(Camera, DrawCubeCoversItsScaledExtentWhateverTheModelViewWas)
{
    OffscreenGl gl(200, 200);
    PQ_REQUIRE_GL(gl);
    Engine engine;
    // Move (1, 2, 3) to the origin, so 0.01 of a unit is one pixel.
    setCamera(engine, 1.0f, 0.0f, -1.0f, -2.0f, -3.0f, 0.0f, 0.0f, 0.0f);
    glDisable(GL_TEXTURE_2D);
    glClear(GL_COLOR_BUFFER_BIT);
    glTranslatef(0.5f, 0.5f, 0.0f);
    drawCube(1.0f, 2.0f, 3.0f, 0.1f, 0.1f, 0.1f, 0.0f, 0.0f, 0.0f);
    const PixelBox cube = findPixels(gl.readPixels(), notBlack());
    EXPECT_NEAR(cube.left, 90, 1.0);
    EXPECT_NEAR(cube.right, 109, 1.0);
    EXPECT_NEAR(cube.top, 90, 1.0);
    EXPECT_NEAR(cube.bottom, 109, 1.0);
}
