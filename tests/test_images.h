// test_images.h: in-memory PNG and JPEG encoders for tests, and small file helpers.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/engine.h"

using Colour = std::array<uint8_t, 3>;

struct TestPngOptions { int colorType = 2 /* PNG_COLOR_TYPE_RGB */, bitDepth = 8; bool interlaced = false; };

// An RGB image of width x height whose pixel (x, y) is colour(x, y).
template <typename F>
RgbImage makeRgbImage(int32_t width, int32_t height, F colour)
{
    RgbImage image{width, height, {}};
    image.rgb.reserve(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
    for (int32_t y = 0; y < height; ++y)
        for (int32_t x = 0; x < width; ++x) {
            const auto [r, g, b] = colour(x, y);
            image.rgb.insert(image.rgb.end(), {r, g, b});
        }
    return image;
}

// 5 x 3 (15 bytes a row, so rows are not 4-aligned) with every pixel different.
inline const RgbImage fiveByThree = makeRgbImage(5, 3, [](int32_t x, int32_t y) { return Colour{uint8_t(x * 50), uint8_t(y * 100), uint8_t(200 - x * 10 - y)}; });

// PNG of an RGB image in the colour type (not palette) and depth asked for; gray takes the red channel.
std::vector<uint8_t> encodeTestPng(const RgbImage& image, TestPngOptions options = {});
// Baseline JPEG, quality 100 without chroma subsampling; gray takes the red channel.
std::vector<uint8_t> encodeTestJpeg(const RgbImage& image, bool gray = false, bool progressive = false);

void writeTestFile(const std::string& path, const std::vector<uint8_t>& bytes);
// A fresh empty folder under the system's temporary folder.
std::string makeTestFolder(const std::string& name);
