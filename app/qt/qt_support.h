// qt_support.h: what the window layer's files share: the canvas of main and
// tool windows, text conversion and the views' surface format. Private to app/qt/.
#pragma once

#include <QImage>
#include <QPainter>
#include <QPoint>
#include <QRect>
#include <QString>
#include <QSurfaceFormat>
#include <QWidget>

#include <algorithm>
#include <string>
#include <string_view>

#include "app/qt/qt_window_layer.h"

constexpr int toolbarStripHeight = 25;

// The client area of main and tool windows: paints its backing image, on
// which the program draws, under its child widgets.
class Canvas : public QWidget {
public:
    explicit Canvas(QWidget* parent = nullptr) : QWidget(parent) {}

    // The backing image, grown to the widget's size in device pixels, so what
    // is drawn on it is as sharp as the screen; new parts are button face.
    QImage& image()
    {
        const qreal ratio = devicePixelRatioF();
        const QSize pixels = (size() * ratio).expandedTo(QSize(1, 1));
        if (image_.size() != pixels || image_.devicePixelRatio() != ratio) {
            QImage grown(pixels, QImage::Format_RGB32);
            grown.setDevicePixelRatio(ratio);
            grown.fill(palette().color(QPalette::Window));
            QPainter p(&grown);
            p.drawImage(0, 0, image_);
            image_ = std::move(grown);
        }
        return image_;
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.drawImage(0, 0, image());
    }

private:
    QImage image_;
};

inline QString qs(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

inline std::string utf8(const QString& text) { return text.toStdString(); }

// A compatibility-profile context with a depth buffer, double buffered.
inline QSurfaceFormat viewFormat()
{
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setRedBufferSize(8);
    format.setGreenBufferSize(8);
    format.setBlueBufferSize(8);
    format.setAlphaBufferSize(0);
    format.setDepthBufferSize(24);
    format.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
    return format;
}


// The point that centres `size` on `area`, never left of or above it.
inline QPoint centredOn(const QRect& area, QSize size)
{
    return {std::max(area.left(), area.center().x() - size.width() / 2),
            std::max(area.top(), area.center().y() - size.height() / 2)};
}
