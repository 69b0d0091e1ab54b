// engine.h: the render engine: texture loading, the camera on the projection
// matrix, a screen-aligned textured quad and a textured cube. OpenGL 1.1;
// every call acts on the context current at the call.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <vector>

// Owns one OpenGL texture name and deletes it when reset or destroyed. Textures
// belong to a context: reset it while that context is current.
class GlTexture {
public:
    GlTexture() = default;
    explicit GlTexture(uint32_t name) : name_(name) {}
    ~GlTexture();
    GlTexture(GlTexture&& other) noexcept : name_(other.name_) { other.name_ = 0; }
    GlTexture& operator=(GlTexture&& other) noexcept;
    GlTexture(const GlTexture&) = delete;
    GlTexture& operator=(const GlTexture&) = delete;

    uint32_t name() const { return name_; }
    void reset(uint32_t name = 0);

private:
    uint32_t name_ = 0;
};

// Owns one OpenGL buffer object name (OpenGL 1.5) and deletes it when reset or
// destroyed; like a texture it belongs to the context current when it was made.
class GlBuffer {
public:
    GlBuffer() = default;
    explicit GlBuffer(uint32_t name) : name_(name) {}
    ~GlBuffer();
    GlBuffer(GlBuffer&& other) noexcept : name_(other.name_) { other.name_ = 0; }
    GlBuffer& operator=(GlBuffer&& other) noexcept;
    GlBuffer(const GlBuffer&) = delete;
    GlBuffer& operator=(const GlBuffer&) = delete;

    uint32_t name() const { return name_; }
    void reset(uint32_t name = 0);

private:
    uint32_t name_ = 0;
};

// Tightly packed 8-bit RGB, top row first; 0 x 0 when unreadable.
struct RgbImage {
    int32_t width = 0;
    int32_t height = 0;
    std::vector<uint8_t> rgb;
};

// The camera of the most recent setCamera, shared by all views; drawImage2D
// restores it after drawing.
struct CameraState {
    float fieldOfView = 0.0f;
    float nearPlane = 0.0f;
    float farPlane = 0.0f;
    float x = 0.0f, y = 0.0f, z = 0.0f;
    float angleX = 0.0f, angleY = 0.0f, angleZ = 0.0f;
};

enum class ImageDecoder { Jpeg, Png };

// Engine state that lives for the whole run.
struct Engine {
    CameraState camera;
    std::vector<ImageDecoder> enabledDecoders;  // in the order they were enabled
    std::vector<uint8_t> pixels;                // reused by every load
};

// Images larger than this on a side or in pixels are refused before decoding.
constexpr uint32_t maxImageSide = 16384;
constexpr uint64_t maxImagePixels = 64'000'000;

// Decoders from memory into RgbImage; anything corrupt, truncated, of another
// format or too large gives 0 x 0. They never end the process.
RgbImage decodePng(std::span<const uint8_t> bytes);
RgbImage decodeJpeg(std::span<const uint8_t> bytes);
bool hasPngSignature(std::span<const uint8_t> bytes);
bool hasJpegSignature(std::span<const uint8_t> bytes);

// Reads a BMP or ICO file through the platform; false when it cannot.
using PlatformImageReader = std::function<bool(const std::string& path, RgbImage& out)>;

// Loads an image file (BMP, ICO through the platform; JPEG and PNG once their
// decoder is enabled by a ".jpg" or ".png" name) into a new texture of the
// current context and returns its name. Filter mode 0 nearest, 1 linear,
// 2 linear with mipmaps, other values no image. An unreadable file gives a
// texture name without an image; nothing is reported.
uint32_t loadTexture(Engine& engine, const std::string& fileName, int32_t mode,
                     const PlatformImageReader& readPlatformImage);
// The two halves of loadTexture: the file's pixels as it reads them (0 x 0
// when unreadable), and a new texture of the current context from pixels.
RgbImage readTextureImage(Engine& engine, const std::string& fileName,
                          const PlatformImageReader& readPlatformImage);
uint32_t uploadTexture(Engine& engine, const RgbImage& image, int32_t mode);

// The text after the last "." of the last path component, with A-Z and the
// Latin-1 capitals lower-cased; empty when there is none.
std::string fileExtension(const std::string& fileName);

// Loads the identity into the projection matrix, applies the perspective step,
// the rotations about X, Y, Z and the translation, and returns to the
// model-view matrix. aspect is the current window's width / height.
void setCamera(Engine& engine, float aspect, float fieldOfView, float x, float y, float z,
               float angleX, float angleY, float angleZ);
// gluPerspective with the values widened; a field of view of 0 changes nothing.
void perspective(float fieldOfView, float aspect, float nearPlane, float farPlane);
// A textured quad in normalised device units from the view's left edge, then
// the camera of the last setCamera again.
void drawImage2D(const Engine& engine, float aspect, uint32_t texture, float x, float y,
                 float width, float height, int32_t alphaFlag);
// The textured cube from -1 to 1, moved, turned and scaled; loads the identity first.
void drawCube(float x, float y, float z, float sx, float sy, float sz, float angleX, float angleY,
              float angleZ);

// ---- cube geometry, shared with the vertex markers of the views ------------------------

// One corner of the cube drawCube draws, as (texture coordinate) at (position).
struct CubeCorner {
    float normal[3];
    float texCoord[2];
    float position[3];
};

// The cube from -1 to 1 as 24 GL_QUADS corners, face by face (front, back, top,
// bottom, right, left), each face counter-clockwise seen from outside.
inline constexpr std::array<CubeCorner, 24> cubeCorners{{
    {{0, 0, 1}, {0, 0}, {-1, -1, 1}}, {{0, 0, 1}, {1, 0}, {1, -1, 1}},
    {{0, 0, 1}, {1, 1}, {1, 1, 1}}, {{0, 0, 1}, {0, 1}, {-1, 1, 1}},
    {{0, 0, -1}, {1, 0}, {-1, -1, -1}}, {{0, 0, -1}, {1, 1}, {-1, 1, -1}},
    {{0, 0, -1}, {0, 1}, {1, 1, -1}}, {{0, 0, -1}, {0, 0}, {1, -1, -1}},
    {{0, 1, 0}, {0, 1}, {-1, 1, -1}}, {{0, 1, 0}, {0, 0}, {-1, 1, 1}},
    {{0, 1, 0}, {1, 0}, {1, 1, 1}}, {{0, 1, 0}, {1, 1}, {1, 1, -1}},
    {{0, -1, 0}, {1, 1}, {-1, -1, -1}}, {{0, -1, 0}, {0, 1}, {1, -1, -1}},
    {{0, -1, 0}, {0, 0}, {1, -1, 1}}, {{0, -1, 0}, {1, 0}, {-1, -1, 1}},
    {{1, 0, 0}, {1, 0}, {1, -1, -1}}, {{1, 0, 0}, {1, 1}, {1, 1, -1}},
    {{1, 0, 0}, {0, 1}, {1, 1, 1}}, {{1, 0, 0}, {0, 0}, {1, -1, 1}},
    {{-1, 0, 0}, {0, 0}, {-1, -1, -1}}, {{-1, 0, 0}, {1, 0}, {-1, -1, 1}},
    {{-1, 0, 0}, {1, 1}, {-1, 1, 1}}, {{-1, 0, 0}, {0, 1}, {-1, 1, -1}},
}};

// ---- offscreen rendering -----------------------------------------------------------------

// An OpenGL compatibility context of width x height pixels without a display
// (EGL, Mesa's surfaceless platform or else the default display), current after
// construction. When none can be made valid() is false and nothing is drawn.
class OffscreenGl {
public:
    OffscreenGl(int32_t width, int32_t height);
    ~OffscreenGl();
    OffscreenGl(const OffscreenGl&) = delete;
    OffscreenGl& operator=(const OffscreenGl&) = delete;

    bool valid() const { return valid_; }
    bool makeCurrent() const;
    int32_t width() const { return width_; }
    int32_t height() const { return height_; }
    // The framebuffer as RGB, top row first; 0 x 0 when not valid.
    RgbImage readPixels() const;

private:
    void* display_ = nullptr;
    void* surface_ = nullptr;
    void* context_ = nullptr;
    int32_t width_ = 0;
    int32_t height_ = 0;
    bool valid_ = false;
};

// ---- images without a platform reader (engine/bmp_decoder.cpp, engine/png_encoder.cpp) ----

// Uncompressed 24- and 32-bit BMP (bottom-up or top-down, BI_RGB or 32-bit
// BI_BITFIELDS) into RgbImage; any other, corrupt, truncated or too large input
// gives 0 x 0.
RgbImage decodeBmp(std::span<const uint8_t> bytes);
// A PlatformImageReader for BMP files through decodeBmp; false for anything else.
bool readBmpFile(const std::string& path, RgbImage& out);
// The image as PNG file bytes; empty when the image is empty or cannot be encoded.
std::vector<uint8_t> encodePng(const RgbImage& image);
