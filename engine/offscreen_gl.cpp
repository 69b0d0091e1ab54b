// offscreen_gl.cpp: an OpenGL compatibility context without a display, on
// Mesa's surfaceless EGL platform with a pbuffer as its framebuffer. Used by
// the tests, the benchmark and command-line rendering.
#include "engine/engine.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>
#include <GL/gl.h>

#include <cstring>

namespace {

EGLDisplay surfacelessDisplay()
{
    const char* extensions = eglQueryString(EGL_NO_DISPLAY, EGL_EXTENSIONS);
    if (extensions == nullptr || std::strstr(extensions, "EGL_MESA_platform_surfaceless") == nullptr)
        return EGL_NO_DISPLAY;
    const auto getPlatformDisplay = reinterpret_cast<PFNEGLGETPLATFORMDISPLAYEXTPROC>(
        eglGetProcAddress("eglGetPlatformDisplayEXT"));
    if (getPlatformDisplay == nullptr) return EGL_NO_DISPLAY;
    return getPlatformDisplay(EGL_PLATFORM_SURFACELESS_MESA, EGL_DEFAULT_DISPLAY, nullptr);
}

}  // namespace

OffscreenGl::OffscreenGl(int32_t width, int32_t height) : width_(width), height_(height)
{
    if (width <= 0 || height <= 0) return;
    EGLDisplay display = surfacelessDisplay();
    if (display == EGL_NO_DISPLAY) display = eglGetDisplay(EGL_DEFAULT_DISPLAY);
    if (display == EGL_NO_DISPLAY || eglInitialize(display, nullptr, nullptr) != EGL_TRUE) return;
    display_ = display;

    const EGLint configAttributes[] = {EGL_SURFACE_TYPE, EGL_PBUFFER_BIT, EGL_RED_SIZE, 8,
                                       EGL_GREEN_SIZE, 8, EGL_BLUE_SIZE, 8, EGL_DEPTH_SIZE, 24,
                                       EGL_RENDERABLE_TYPE, EGL_OPENGL_BIT, EGL_NONE};
    EGLConfig config = nullptr;
    EGLint found = 0;
    if (eglChooseConfig(display, configAttributes, &config, 1, &found) != EGL_TRUE || found < 1)
        return;
    if (eglBindAPI(EGL_OPENGL_API) != EGL_TRUE) return;
    const EGLint surfaceAttributes[] = {EGL_WIDTH, width, EGL_HEIGHT, height, EGL_NONE};
    EGLSurface surface = eglCreatePbufferSurface(display, config, surfaceAttributes);
    if (surface == EGL_NO_SURFACE) return;
    surface_ = surface;
    EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, nullptr);
    if (context == EGL_NO_CONTEXT) return;
    context_ = context;
    valid_ = eglMakeCurrent(display, surface, surface, context) == EGL_TRUE;
    if (valid_) glViewport(0, 0, width, height);
}

OffscreenGl::~OffscreenGl()
{
    if (display_ == nullptr) return;
    eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    if (context_ != nullptr) eglDestroyContext(display_, context_);
    if (surface_ != nullptr) eglDestroySurface(display_, surface_);
    // The display is shared by every context of the process; it stays initialised.
}

bool OffscreenGl::makeCurrent() const
{
    return valid_ && eglMakeCurrent(display_, surface_, surface_, context_) == EGL_TRUE;
}

RgbImage OffscreenGl::readPixels() const
{
    RgbImage image;
    if (!valid_) return image;
    const auto w = static_cast<size_t>(width_), h = static_cast<size_t>(height_);
    std::vector<uint8_t> bottomUp(w * h * 3);
    glFinish();
    glPixelStorei(GL_PACK_ALIGNMENT, 1);
    glReadPixels(0, 0, width_, height_, GL_RGB, GL_UNSIGNED_BYTE, bottomUp.data());
    image.width = width_;
    image.height = height_;
    image.rgb.resize(bottomUp.size());
    for (size_t row = 0; row < h; ++row)
        std::memcpy(&image.rgb[row * w * 3], &bottomUp[(h - 1 - row) * w * 3], w * 3);
    return image;
}
