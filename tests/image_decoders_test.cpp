// Tests of the PNG and JPEG decoders on good and bad bytes; no OpenGL.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <cstdlib>

#include "engine/engine.h"
#include "tests/test_images.h"

namespace {

struct Colour {
    uint8_t r, g, b;
};

// 5 x 3 (15 bytes a row): rows red, green, blue, the right column white.
RgbImage stripes()
{
    return makeRgbImage(5, 3, [](int32_t x, int32_t y) {
        if (x == 4) return Colour{255, 255, 255};
        return y == 0 ? Colour{255, 0, 0} : y == 1 ? Colour{0, 255, 0} : Colour{0, 0, 255};
    });
}

void expectNear(const RgbImage& actual, const RgbImage& expected, int tolerance)
{
    ASSERT_EQ(actual.width, expected.width);
    ASSERT_EQ(actual.height, expected.height);
    ASSERT_EQ(actual.rgb.size(), expected.rgb.size());
    for (size_t i = 0; i < actual.rgb.size(); ++i)
        EXPECT_NEAR(actual.rgb[i], expected.rgb[i], tolerance) << "byte " << i;
}

void expectEmpty(const RgbImage& image)
{
    EXPECT_EQ(image.width, 0);
    EXPECT_EQ(image.height, 0);
    EXPECT_TRUE(image.rgb.empty());
}

uint32_t crc32Of(const uint8_t* data, size_t size)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (size_t i = 0; i < size; ++i) {
        crc ^= data[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void putBigEndian32(std::vector<uint8_t>& bytes, size_t at, uint32_t value)
{
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<uint8_t>(value >> (24 - 8 * i));
}

// A valid PNG whose IHDR claims width x height, with a matching CRC.
std::vector<uint8_t> pngClaiming(uint32_t width, uint32_t height)
{
    std::vector<uint8_t> png = encodeTestPng(stripes());
    putBigEndian32(png, 16, width);
    putBigEndian32(png, 20, height);
    putBigEndian32(png, 29, crc32Of(&png[12], 17));  // over "IHDR" and its 13 data bytes
    return png;
}

// A valid JPEG whose SOF header claims width x height.
std::vector<uint8_t> jpegClaiming(uint16_t width, uint16_t height)
{
    std::vector<uint8_t> jpeg = encodeTestJpeg(stripes());
    for (size_t i = 2; i + 8 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && (jpeg[i + 1] == 0xC0 || jpeg[i + 1] == 0xC2)) {
            jpeg[i + 5] = static_cast<uint8_t>(height >> 8);
            jpeg[i + 6] = static_cast<uint8_t>(height);
            jpeg[i + 7] = static_cast<uint8_t>(width >> 8);
            jpeg[i + 8] = static_cast<uint8_t>(width);
            return jpeg;
        }
    ADD_FAILURE() << "no SOF marker";
    return jpeg;
}

std::vector<uint8_t> junk(size_t size, unsigned seed)
{
    std::vector<uint8_t> bytes(size);
    for (auto& b : bytes) {
        seed = seed * 1103515245u + 12345u;
        b = static_cast<uint8_t>(seed >> 16);
    }
    return bytes;
}

}  // namespace

TEST(PngDecoder, DecodesEveryColourTypeToEightBitRgbTopRowFirst)
{
    const RgbImage expected = stripes();
    expectNear(decodePng(encodeTestPng(expected)), expected, 0);
    expectNear(decodePng(encodeTestPng(expected, {6, 8, false})), expected, 0);   // alpha dropped
    expectNear(decodePng(encodeTestPng(expected, {3, 8, false})), expected, 0);   // palette
    expectNear(decodePng(encodeTestPng(expected, {2, 16, false})), expected, 0);  // 16 bit
    expectNear(decodePng(encodeTestPng(expected, {2, 8, true})), expected, 0);    // Adam7

    const RgbImage gray = makeRgbImage(3, 2, [](int32_t x, int32_t y) {
        const auto v = static_cast<uint8_t>(40 * x + 100 * y);
        return Colour{v, v, v};
    });
    expectNear(decodePng(encodeTestPng(gray, {0, 8, false})), gray, 0);
    expectNear(decodePng(encodeTestPng(gray, {4, 8, false})), gray, 0);  // gray with alpha

    const RgbImage twoLevels = makeRgbImage(9, 2, [](int32_t x, int32_t) {
        return x % 2 == 0 ? Colour{0, 0, 0} : Colour{255, 255, 255};
    });
    expectNear(decodePng(encodeTestPng(twoLevels, {0, 1, false})), twoLevels, 0);  // 1 bit gray
}

TEST(PngDecoder, RefusesBadBytesWithAnEmptyImage)
{
    const std::vector<uint8_t> good = encodeTestPng(stripes());
    expectEmpty(decodePng({}));
    expectEmpty(decodePng(junk(4096, 7)));
    expectEmpty(decodePng(encodeTestJpeg(stripes())));
    for (size_t length = 0; length < good.size(); ++length)
        expectEmpty(decodePng({good.data(), length}));

    std::vector<uint8_t> corrupt = good;
    for (size_t i = 40; i < corrupt.size() - 12; ++i) corrupt[i] ^= 0x5A;  // IDAT damaged
    expectEmpty(decodePng(corrupt));

    std::vector<uint8_t> junkAfterSignature = junk(2048, 3);
    std::copy_n(good.begin(), 8, junkAfterSignature.begin());
    expectEmpty(decodePng(junkAfterSignature));
}

TEST(PngDecoder, RefusesHugeHeadersBeforeAllocating)
{
    ASSERT_EQ(decodePng(pngClaiming(5, 3)).width, 5);  // the forging itself is sound
    expectEmpty(decodePng(pngClaiming(16385, 1)));
    expectEmpty(decodePng(pngClaiming(1, 16385)));
    expectEmpty(decodePng(pngClaiming(16384, 16384)));  // 268 million pixels
    expectEmpty(decodePng(pngClaiming(0x7FFFFFFF, 0x7FFFFFFF)));
    expectEmpty(decodePng(pngClaiming(0, 3)));
    // Within the limits but with too little data: refused by the data, not the size.
    expectEmpty(decodePng(pngClaiming(8000, 8000)));
}

// The process's peak resident memory so far, in megabytes.
long peakMegabytes()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

TEST(PngDecoder, AncillaryChunksCannotAskForGigabytes)
{
    const std::vector<uint8_t> good = encodeTestPng(stripes());
    for (const char* type : {"tEXt", "zTXt", "iTXt", "sPLT", "iCCP"}) {
        SCOPED_TRACE(type);
        // Signature, header, then a chunk whose length says 2 GB and three bytes of it: 44 bytes.
        std::vector<uint8_t> png(good.begin(), good.begin() + 33);
        png.insert(png.end(), {0x7F, 0xFF, 0xFF, 0xFF});
        png.insert(png.end(), type, type + 4);
        png.insert(png.end(), {'a', 0, 'b'});
        ASSERT_EQ(png.size(), 44u);
        const long before = peakMegabytes();
        expectEmpty(decodePng(png));
        EXPECT_LT(peakMegabytes() - before, 64);
    }
    // A real text chunk before the pixels is passed over.
    std::vector<uint8_t> texted(good.begin(), good.begin() + 33);
    const std::string text = "Comment\0a picture";
    const size_t at = texted.size();
    texted.resize(at + 8 + text.size() + 4);
    putBigEndian32(texted, at, static_cast<uint32_t>(text.size()));
    std::copy_n("tEXt", 4, texted.begin() + static_cast<std::ptrdiff_t>(at) + 4);
    std::copy(text.begin(), text.end(), texted.begin() + static_cast<std::ptrdiff_t>(at) + 8);
    putBigEndian32(texted, texted.size() - 4, crc32Of(texted.data() + at + 4, 4 + text.size()));
    texted.insert(texted.end(), good.begin() + 33, good.end());
    expectNear(decodePng(texted), stripes(), 0);
}

TEST(JpegDecoder, DecodesColourAndGrayToRgb)
{
    const RgbImage expected = stripes();
    expectNear(decodeJpeg(encodeTestJpeg(expected)), expected, 40);
    expectNear(decodeJpeg(encodeTestJpeg(expected, false, true)), expected, 40);

    const RgbImage flat = makeRgbImage(7, 5, [](int32_t, int32_t) { return Colour{200, 120, 40}; });
    expectNear(decodeJpeg(encodeTestJpeg(flat)), flat, 3);

    const RgbImage gray = makeRgbImage(6, 6, [](int32_t, int32_t) { return Colour{90, 90, 90}; });
    expectNear(decodeJpeg(encodeTestJpeg(gray, true)), gray, 2);
}

TEST(JpegDecoder, RefusesBadBytesWithAnEmptyImage)
{
    const std::vector<uint8_t> good = encodeTestJpeg(stripes());
    expectEmpty(decodeJpeg({}));
    expectEmpty(decodeJpeg(junk(4096, 11)));
    expectEmpty(decodeJpeg(encodeTestPng(stripes())));
    for (size_t length = 0; length < good.size(); ++length)
        expectEmpty(decodeJpeg({good.data(), length}));

    std::vector<uint8_t> junkAfterMarker = junk(2048, 5);
    std::copy_n(good.begin(), 3, junkAfterMarker.begin());
    expectEmpty(decodeJpeg(junkAfterMarker));
}

TEST(JpegDecoder, RefusesHugeHeadersBeforeAllocating)
{
    ASSERT_EQ(decodeJpeg(jpegClaiming(5, 3)).width, 5);
    expectEmpty(decodeJpeg(jpegClaiming(16385, 1)));
    expectEmpty(decodeJpeg(jpegClaiming(16000, 16000)));  // 256 million pixels
    expectEmpty(decodeJpeg(jpegClaiming(0, 3)));
    expectEmpty(decodeJpeg(jpegClaiming(9000, 7000)));  // allowed size, data missing
}
