// check_image.h: what every decoder result must satisfy, for the fuzz targets.
#pragma once

#include <cstdlib>

#include "engine/engine.h"

// Either the empty image or one within the limits whose buffer fits its size.
inline void checkDecodedImage(const RgbImage& image)
{
    if (image.width == 0 || image.height == 0) {
        if (image.width != 0 || image.height != 0 || !image.rgb.empty()) std::abort();
        return;
    }
    const auto w = static_cast<uint64_t>(image.width), h = static_cast<uint64_t>(image.height);
    if (image.width < 0 || image.height < 0 || w > maxImageSide || h > maxImageSide ||
        w * h > maxImagePixels || image.rgb.size() != w * h * 3)
        std::abort();
}
