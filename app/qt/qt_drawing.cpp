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
    // Shrunk pictures are smoothed; enlarged ones show their texels as squares.
    p.setRenderHint(QPainter::SmoothPixmapTransform, width < it->second.width() || height < it->second.height());
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

void QtWindowLayer::drawLines(int32_t window, const std::vector<LineSegment>& lines, LineMode mode)
{
    Canvas* canvas = canvasOf(window);
    if (!canvas) return;
    QVector<QLine> qlines;
    qlines.reserve(static_cast<qsizetype>(lines.size()));
    for (const LineSegment& l : lines) qlines.append(QLine(l.x0, l.y0, l.x1, l.y1));
    QPainter p(&canvas->image());
    p.setRenderHint(QPainter::Antialiasing, false);
    // One pixel wide on an ordinary screen, as many as a pixel has become on others.
    QPen pen(Qt::black, canvas->devicePixelRatioF() > 1.0 ? std::round(canvas->devicePixelRatioF()) : 0.0);
    pen.setCosmetic(true);
    if (mode == LineMode::Faint) {
        // Half-transparent white dashes between black ones: seen on dark and light pictures alike.
        QPen light = pen;
        light.setColor(QColor(255, 255, 255, 110));
        p.setPen(light);
        p.drawLines(qlines);
        pen.setColor(QColor(0, 0, 0, 110));
        pen.setDashPattern({3, 3});
    }
    p.setPen(pen);
    if (mode == LineMode::Invert) p.setCompositionMode(QPainter::RasterOp_NotDestination);
    p.drawLines(qlines);
    canvas->update();
}
