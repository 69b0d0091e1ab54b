// qt_images.cpp: the window layer's numbered images: icons and pictures read
// with Qt's decoders, or handed over as pixels.
#include "app/qt/qt_support.h"

#include <QImageReader>

namespace {

constexpr int maxImageSide = 16384;
constexpr qint64 maxImagePixels = 64LL * 1024 * 1024;

// Opens an image reader; false when the file is unreadable or claims a size
// too large to allocate.
bool openImageReader(QImageReader& reader)
{
    if (!reader.canRead()) return false;
    const QSize size = reader.size();
    if (!size.isValid()) return true;
    return size.width() <= maxImageSide && size.height() <= maxImageSide &&
           static_cast<qint64>(size.width()) * size.height() <= maxImagePixels;
}

}  // namespace

bool QtWindowLayer::readPlatformImage(const std::string& path, RgbImage& out) const
{
    out = RgbImage{};
    QImageReader reader(QString::fromStdString(path));
    const QByteArray format = reader.format().toLower();
    if (format != "bmp" && format != "ico" && format != "cur") return false;
    if (!openImageReader(reader)) return false;
    const QImage image = reader.read().convertToFormat(QImage::Format_RGB888);
    if (image.isNull() || image.width() <= 0 || image.height() <= 0) return false;
    const auto rowBytes = static_cast<size_t>(image.width()) * 3;
    out.rgb.resize(rowBytes * static_cast<size_t>(image.height()));
    for (int row = 0; row < image.height(); ++row)
        std::copy_n(image.constScanLine(row), rowBytes, out.rgb.begin() + static_cast<std::ptrdiff_t>(rowBytes * static_cast<size_t>(row)));
    out.width = image.width();
    out.height = image.height();
    return true;
}

bool QtWindowLayer::loadImage(int32_t slot, const std::string& path)
{
    QImageReader reader(QString::fromStdString(path));
    if (!openImageReader(reader)) return false;
    QImage image = reader.read();
    if (image.isNull()) return false;
    images_[slot] = std::move(image);
    return true;
}

void QtWindowLayer::setImage(int32_t slot, const RgbImage& image)
{
    if (image.width <= 0 || image.height <= 0 ||
        image.rgb.size() < static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * 3)
        return;
    const QImage view(image.rgb.data(), image.width, image.height, image.width * 3, QImage::Format_RGB888);
    images_[slot] = view.copy();
}

void QtWindowLayer::freeImage(int32_t slot) { images_.erase(slot); }

bool QtWindowLayer::hasImage(int32_t slot) const { return images_.count(slot) != 0; }

int32_t QtWindowLayer::imageWidth(int32_t slot) const
{
    auto it = images_.find(slot);
    return it == images_.end() ? 0 : it->second.width();
}

int32_t QtWindowLayer::imageHeight(int32_t slot) const
{
    auto it = images_.find(slot);
    return it == images_.end() ? 0 : it->second.height();
}
