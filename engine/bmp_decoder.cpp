// bmp_decoder.cpp: uncompressed 24- and 32-bit Windows bitmaps from memory, for
// programs without a platform image reader (pqtool draws the views' labels
// with it). Every offset and size is checked against the bytes given.
#include "engine/engine.h"

#include <bit>
#include <fstream>
#include <iterator>

namespace {

constexpr uint32_t biRgb = 0;
constexpr uint32_t biBitfields = 3;
constexpr size_t maxBmpFileBytes = 256u << 20;

uint32_t le32(std::span<const uint8_t> b, size_t at)
{
    return static_cast<uint32_t>(b[at]) | static_cast<uint32_t>(b[at + 1]) << 8 |
           static_cast<uint32_t>(b[at + 2]) << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
}

uint16_t le16(std::span<const uint8_t> b, size_t at)
{
    return static_cast<uint16_t>(b[at] | b[at + 1] << 8);
}

// One channel of a 32-bit pixel under a mask, widened or narrowed to 8 bits.
uint8_t channel(uint32_t pixel, uint32_t mask)
{
    if (mask == 0) return 0;
    const int shift = std::countr_zero(mask);
    const uint32_t maximum = mask >> shift;
    const uint32_t value = (pixel & mask) >> shift;
    return static_cast<uint8_t>((static_cast<uint64_t>(value) * 255 + maximum / 2) / maximum);
}

}  // namespace

RgbImage decodeBmp(std::span<const uint8_t> bytes)
{
    constexpr size_t fileHeader = 14;
    if (bytes.size() < fileHeader + 12 || bytes[0] != 'B' || bytes[1] != 'M') return {};
    const uint32_t dataOffset = le32(bytes, 10);
    const uint32_t infoSize = le32(bytes, 14);
    if (infoSize < 12 || fileHeader + infoSize > bytes.size()) return {};

    int64_t width = 0, height = 0;
    uint32_t bits = 0, compression = biRgb;
    if (infoSize == 12) {
        width = le16(bytes, 18);
        height = static_cast<int16_t>(le16(bytes, 20));
        bits = le16(bytes, 24);
    } else {
        if (infoSize < 40) return {};
        width = static_cast<int32_t>(le32(bytes, 18));
        height = static_cast<int32_t>(le32(bytes, 22));
        bits = le16(bytes, 28);
        compression = le32(bytes, 30);
    }
    const bool topDown = height < 0;
    if (topDown) height = -height;
    if (width <= 0 || height <= 0 || width > maxImageSide || height > maxImageSide ||
        static_cast<uint64_t>(width * height) > maxImagePixels)
        return {};
    if (bits != 24 && bits != 32) return {};

    // The 32-bit channel masks: in the header from version 4 on, else after it.
    uint32_t red = 0x00FF0000, green = 0x0000FF00, blue = 0x000000FF;
    if (compression == biBitfields && bits == 32) {
        const size_t masks = infoSize >= 52 ? fileHeader + 40 : fileHeader + infoSize;
        if (masks + 12 > bytes.size()) return {};
        red = le32(bytes, masks);
        green = le32(bytes, masks + 4);
        blue = le32(bytes, masks + 8);
    } else if (compression != biRgb) {
        return {};
    }

    const size_t pixelBytes = bits / 8;
    const size_t stride = (static_cast<size_t>(width) * bits + 31) / 32 * 4;
    const auto w = static_cast<size_t>(width), h = static_cast<size_t>(height);
    // The last row may come without its padding.
    if (dataOffset > bytes.size() || (bytes.size() - dataOffset) < stride * (h - 1) + w * pixelBytes) return {};

    RgbImage image;
    image.width = static_cast<int32_t>(width);
    image.height = static_cast<int32_t>(height);
    image.rgb.resize(w * h * 3);
    for (size_t row = 0; row < h; ++row) {
        const size_t source = dataOffset + (topDown ? row : h - 1 - row) * stride;
        uint8_t* out = &image.rgb[row * w * 3];
        for (size_t col = 0; col < w; ++col, out += 3) {
            const size_t at = source + col * pixelBytes;
            if (bits == 24) {
                out[0] = bytes[at + 2];
                out[1] = bytes[at + 1];
                out[2] = bytes[at];
            } else {
                const uint32_t pixel = le32(bytes, at);
                out[0] = channel(pixel, red);
                out[1] = channel(pixel, green);
                out[2] = channel(pixel, blue);
            }
        }
    }
    return image;
}

bool readBmpFile(const std::string& path, RgbImage& out)
{
    out = RgbImage{};
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::vector<uint8_t> bytes;
    char chunk[65536];
    while (in.read(chunk, sizeof chunk) || in.gcount() > 0) {
        bytes.insert(bytes.end(), chunk, chunk + in.gcount());
        if (bytes.size() > maxBmpFileBytes) return false;
    }
    out = decodeBmp(bytes);
    return out.width > 0;
}
