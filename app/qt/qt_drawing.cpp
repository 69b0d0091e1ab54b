// qt_drawing.cpp: the window layer's 2D drawing into a window's canvas:
// images, filled rectangles and lines, shown as they are drawn.
#include "app/qt/qt_support.h"

#include <cmath>

void QtWindowLayer::drawImage(int32_t window, int32_t slot, int32_t x, int32_t y)
{
    Canvas* canvas = canvasOf(window);
    auto it = images_.find(slot);
    if (!canvas || it == images_.end()) return;
    QPainter p(&canvas->image());
    p.drawImage(x, y, it->second);
    canvas->update();
}

void QtWindowLayer::drawImageScaled(int32_t window, int32_t slot, int32_t x, int32_t y, int32_t width,
                                    int32_t height)
{
    Canvas* canvas = canvasOf(window);
    auto it = images_.find(slot);
    if (!canvas || it == images_.end()) return;
    QPainter p(&canvas->image());
    p.setRenderHint(QPainter::SmoothPixmapTransform, true);
    p.drawImage(QRect(x, y, width, height), it->second);
    canvas->update();
}

void QtWindowLayer::fillRect(int32_t window, int32_t x, int32_t y, int32_t width, int32_t height,
                             uint8_t red, uint8_t green, uint8_t blue)
{
    Canvas* canvas = canvasOf(window);
    if (!canvas) return;
    QPainter p(&canvas->image());
    p.fillRect(x, y, width, height, QColor(red, green, blue));
    canvas->update();
}

void QtWindowLayer::drawLine(int32_t window, int32_t x0, int32_t y0, int32_t x1, int32_t y1, LineMode mode)
{
    Canvas* canvas = canvasOf(window);
    if (!canvas) return;
    QPainter p(&canvas->image());
    p.setRenderHint(QPainter::Antialiasing, false);
    // One pixel wide on an ordinary screen, as many as a pixel has become on others.
    QPen pen(Qt::black, canvas->devicePixelRatioF() > 1.0 ? std::round(canvas->devicePixelRatioF()) : 0.0);
    pen.setCosmetic(true);
    p.setPen(pen);
    if (mode == LineMode::Invert) p.setCompositionMode(QPainter::RasterOp_NotDestination);
    p.drawLine(x0, y0, x1, y1);
    canvas->update();
}
