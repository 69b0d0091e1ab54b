// gl_test_support.h: reading pixels back from an offscreen context in tests.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <functional>

#include "engine/engine.h"

struct Pixel {
    int r = 0, g = 0, b = 0;
    bool operator==(const Pixel&) const = default;
};

inline Pixel pixelAt(const RgbImage& image, int col, int row)
{
    const size_t i = (static_cast<size_t>(row) * static_cast<size_t>(image.width) + static_cast<size_t>(col)) * 3;
    return {image.rgb[i], image.rgb[i + 1], image.rgb[i + 2]};
}

inline bool isNear(Pixel p, Pixel q, int tolerance)
{
    return std::abs(p.r - q.r) <= tolerance && std::abs(p.g - q.g) <= tolerance &&
           std::abs(p.b - q.b) <= tolerance;
}

inline bool isBlack(Pixel p) { return p == Pixel{}; }

// Bounding box of the pixels in [left, right] x [top, bottom] that match.
struct PixelBox {
    int left = INT_MAX, top = INT_MAX, right = -1, bottom = -1;
    int count = 0;
    bool empty() const { return count == 0; }
    double centreX() const { return (left + right) / 2.0; }
    double centreY() const { return (top + bottom) / 2.0; }
};

inline PixelBox findPixels(const RgbImage& image, const std::function<bool(Pixel)>& match,
                           int left = 0, int top = 0, int right = INT_MAX, int bottom = INT_MAX)
{
    PixelBox box;
    right = std::min(right, image.width - 1);
    bottom = std::min(bottom, image.height - 1);
    for (int row = std::max(top, 0); row <= bottom; ++row)
        for (int col = std::max(left, 0); col <= right; ++col)
            if (match(pixelAt(image, col, row))) {
                box.left = std::min(box.left, col);
                box.right = std::max(box.right, col);
                box.top = std::min(box.top, row);
                box.bottom = std::max(box.bottom, row);
                ++box.count;
            }
    return box;
}

inline std::function<bool(Pixel)> exactly(Pixel colour)
{
    return [colour](Pixel p) { return p == colour; };
}

inline std::function<bool(Pixel)> notBlack()
{
    return [](Pixel p) { return !isBlack(p); };
}

// Mesa's software renderer is part of the build machine; without a context the
// test fails rather than passing unseen.
#define PQ_REQUIRE_GL(gl) ASSERT_TRUE((gl).valid()) << "no offscreen OpenGL context"
