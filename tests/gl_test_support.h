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
    const auto i = (static_cast<size_t>(row) * static_cast<size_t>(image.width) + static_cast<size_t>(col)) * 3;
    return {image.rgb.at(i), image.rgb.at(i + 1), image.rgb.at(i + 2)};
}

// Bounding box and count of the pixels in [left, right] x [top, bottom] that match.
struct PixelBox {
    int left = INT_MAX, top = INT_MAX, right = -1, bottom = -1, count = 0;
    bool empty() const { return count == 0; }
};

inline PixelBox findPixels(const RgbImage& image, const std::function<bool(Pixel)>& match, int left = 0,
                           int top = 0, int right = INT_MAX, int bottom = INT_MAX)
{
    PixelBox box;
    for (int row = std::max(top, 0); row <= std::min(bottom, image.height - 1); ++row)
        for (int col = std::max(left, 0); col <= std::min(right, image.width - 1); ++col)
            if (match(pixelAt(image, col, row)))
                box = {std::min(box.left, col), std::min(box.top, row), std::max(box.right, col),
                       std::max(box.bottom, row), box.count + 1};
    return box;
}

inline std::function<bool(Pixel)> exactly(Pixel colour) { return [colour](Pixel p) { return p == colour; }; }
inline bool notBlack(Pixel p) { return p != Pixel{}; }

// Mesa's software renderer is part of the build machine; without a context the
// test fails rather than passing unseen.
#define PQ_REQUIRE_GL(gl) ASSERT_TRUE((gl).valid()) << "no offscreen OpenGL context"
