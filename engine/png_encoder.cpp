// png_encoder.cpp: 8-bit RGB into PNG bytes with libpng's simplified writer,
// which reports failure by its return value instead of a longjmp.
#include "engine/engine.h"

#include <png.h>

#include <cstring>

std::vector<uint8_t> encodePng(const RgbImage& image)
{
    const auto pixels = static_cast<size_t>(image.width) * static_cast<size_t>(image.height);
    if (image.width <= 0 || image.height <= 0 || image.rgb.size() < pixels * 3) return {};
    png_image header;
    std::memset(&header, 0, sizeof header);
    header.version = PNG_IMAGE_VERSION;
    header.width = static_cast<png_uint_32>(image.width);
    header.height = static_cast<png_uint_32>(image.height);
    header.format = PNG_FORMAT_RGB;
    png_alloc_size_t size = 0;
    if (png_image_write_to_memory(&header, nullptr, &size, 0, image.rgb.data(), 0, nullptr) == 0) return {};
    std::vector<uint8_t> bytes(size);
    if (png_image_write_to_memory(&header, bytes.data(), &size, 0, image.rgb.data(), 0, nullptr) == 0) return {};
    bytes.resize(size);
    return bytes;
}
