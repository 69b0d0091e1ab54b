// qt_gl.cpp: the window layer's OpenGL: one context per view window, made
// current and swapped on the program's request.
#include "app/qt/qt_support.h"

#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QWindow>

bool QtWindowLayer::createGlContext(int32_t number)
{
    Window* w = find(number);
    if (!w || !w->glWindow) return false;
    auto context = std::make_unique<QOpenGLContext>();
    context->setFormat(viewFormat());
    if (!context->create()) return false;
    w->glWindow->create();
    if (!context->makeCurrent(w->glWindow)) return false;
    // The native window may still have its default size at this point; the
    // context starts with a viewport over the whole view, as it will be shown,
    // in device pixels.
    const QSize pixels = w->glWindow->size() * w->glWindow->devicePixelRatio();
    context->functions()->glViewport(0, 0, pixels.width(), pixels.height());
    w->context = std::move(context);
    return true;
}

void QtWindowLayer::makeCurrent(int32_t number)
{
    Window* w = find(number);
    if (w && w->context && w->glWindow) w->context->makeCurrent(w->glWindow);
}

void QtWindowLayer::swapBuffers(int32_t number)
{
    Window* w = find(number);
    if (w && w->context && w->glWindow && w->glWindow->isExposed()) w->context->swapBuffers(w->glWindow);
}

std::string QtWindowLayer::glString(uint32_t name) const
{
    QOpenGLContext* context = QOpenGLContext::currentContext();
    if (!context) return {};
    const auto* text = reinterpret_cast<const char*>(context->functions()->glGetString(name));
    return text ? std::string(text) : std::string();
}
