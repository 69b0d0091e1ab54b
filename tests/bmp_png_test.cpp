// bmp_png_test.cpp: the BMP reader pqtool uses for labels and textures, and
// the PNG writer of its pictures: layouts other programs write, and bad bytes.
#include <gtest/gtest.h>

#include <fstream>

#include "engine/engine.h"
#include "tests/test_images.h"

namespace {

void put16(std::vector<uint8_t>& b, uint32_t v)
{
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
}
void put32(std::vector<uint8_t>& b, uint32_t v)
{
    put16(b, v & 0xFFFF);
    put16(b, v >> 16);
}

// A BMP as paint programs write it: 14-byte file header, an info header of
// `infoSize` bytes, optional masks, rows padded to 4 bytes.
std::vector<uint8_t> makeBmp(const RgbImage& image, int bits, bool topDown, uint32_t infoSize = 40,
                             bool bitfields = false)
{
    const auto w = static_cast<size_t>(image.width), h = static_cast<size_t>(image.height);
    const size_t stride = (w * static_cast<size_t>(bits) + 31) / 32 * 4;
    const bool masksAfter = bitfields && infoSize == 40;
    const uint32_t offset = 14 + infoSize + (masksAfter ? 12 : 0);
    std::vector<uint8_t> b{'B', 'M'};
    put32(b, static_cast<uint32_t>(offset + stride * h));
    put32(b, 0);
    put32(b, offset);
    put32(b, infoSize);
    put32(b, static_cast<uint32_t>(image.width));
    put32(b, static_cast<uint32_t>(topDown ? -image.height : image.height));
    put16(b, 1);
    put16(b, static_cast<uint32_t>(bits));
    put32(b, bitfields ? 3 : 0);
    while (b.size() < 14 + 40) b.push_back(0);
    // Masks in the v4 header or after the plain one: blue in the high byte here.
    const uint32_t masks[3] = {0x0000FF00, 0x00FF0000, 0xFF000000};
    if (bitfields)
        for (uint32_t m : masks) put32(b, m);
    while (b.size() < offset) b.push_back(0);
    for (size_t row = 0; row < h; ++row) {
        const size_t y = topDown ? row : h - 1 - row;
        size_t written = 0;
        for (size_t x = 0; x < w; ++x) {
            const uint8_t* p = &image.rgb[(y * w + x) * 3];
            if (bitfields) {
                b.insert(b.end(), {0x7F, p[0], p[1], p[2]});
            } else {
                b.insert(b.end(), {p[2], p[1], p[0]});
                if (bits == 32) b.push_back(0x55);  // the unused byte is ignored
            }
            written += static_cast<size_t>(bits) / 8;
        }
        for (; written < stride; ++written) b.push_back(0);
    }
    return b;
}

RgbImage sample()
{
    return makeRgbImage(5, 3, [](int32_t x, int32_t y) {
        return std::array<uint8_t, 3>{static_cast<uint8_t>(x * 50), static_cast<uint8_t>(y * 100),
                                      static_cast<uint8_t>(200 - x * 10 - y)};
    });
}

void expectSame(const RgbImage& a, const RgbImage& b)
{
    EXPECT_EQ(a.width, b.width);
    EXPECT_EQ(a.height, b.height);
    EXPECT_EQ(a.rgb, b.rgb);
}

}  // namespace

TEST(BmpDecoder, ReadsTheLayoutsPaintProgramsWrite)
{
    const RgbImage image = sample();
    expectSame(decodeBmp(makeBmp(image, 24, false)), image);  // 5 * 3 bytes: rows padded
    expectSame(decodeBmp(makeBmp(image, 24, true)), image);
    expectSame(decodeBmp(makeBmp(image, 32, false)), image);
    expectSame(decodeBmp(makeBmp(image, 32, false, 40, true)), image);
    expectSame(decodeBmp(makeBmp(image, 32, true, 108, true)), image);  // v4 header
    // The last row without its padding is still whole.
    std::vector<uint8_t> unpadded = makeBmp(image, 24, false);
    unpadded.resize(unpadded.size() - 1);
    expectSame(decodeBmp(unpadded), image);
}

TEST(BmpDecoder, ReadsTheShippedViewLabels)
{
    for (const char* name : {"Front.bmp", "Side.bmp", "Top.bmp", "3D.bmp"}) {
        RgbImage label;
        ASSERT_TRUE(readBmpFile(std::string(PQ_SOURCE_DIR "/Images/") + name, label)) << name;
        EXPECT_EQ(label.width, 22);
        EXPECT_EQ(label.height, 15);
        EXPECT_EQ(label.rgb[0], 0);  // the dark blue ground in the top left corner
        EXPECT_EQ(label.rgb[2], 140);
    }
}

TEST(BmpDecoder, RefusesBadBytesWithAnEmptyImage)
{
    const std::vector<uint8_t> good = makeBmp(sample(), 24, false);
    const auto refused = [](std::vector<uint8_t> bytes) { return decodeBmp(bytes).width == 0; };
    EXPECT_TRUE(refused({}));
    EXPECT_TRUE(refused({'B', 'M'}));
    for (size_t cut : {size_t{10}, size_t{30}, size_t{54}, good.size() - 4})
        EXPECT_TRUE(refused({good.begin(), good.begin() + static_cast<std::ptrdiff_t>(cut)})) << cut;
    std::vector<uint8_t> junk(4096);
    for (size_t i = 0; i < junk.size(); ++i) junk[i] = static_cast<uint8_t>(i * 7919 + 13);
    junk[0] = 'B';
    junk[1] = 'M';
    EXPECT_TRUE(refused(junk));

    const auto patched = [&good](size_t at, uint32_t value) {
        std::vector<uint8_t> b = good;
        for (int i = 0; i < 4; ++i) b[at + static_cast<size_t>(i)] = static_cast<uint8_t>(value >> (8 * i));
        return b;
    };
    EXPECT_TRUE(refused(patched(10, 0xFFFFFFF0)));   // pixels far past the end
    EXPECT_TRUE(refused(patched(14, 0x7FFFFFFF)));   // header larger than the file
    EXPECT_TRUE(refused(patched(18, 0)));            // no width
    EXPECT_TRUE(refused(patched(18, 100000)));       // wider than any texture
    EXPECT_TRUE(refused(patched(22, 0x80000000)));   // the most negative height
    EXPECT_TRUE(refused(patched(22, 20000)));        // taller than the bytes
    EXPECT_TRUE(refused(patched(30, 1)));            // run-length compressed
    std::vector<uint8_t> eightBit = good;
    eightBit[28] = 8;
    EXPECT_TRUE(refused(eightBit));

    const std::string dir = makeTestFolder("bmp_reader");
    RgbImage out;
    EXPECT_FALSE(readBmpFile(dir + "/missing.bmp", out));
    EXPECT_FALSE(readBmpFile(dir, out));
    writeTestFile(dir + "/picture.png", encodeTestPng(sample()));
    EXPECT_FALSE(readBmpFile(dir + "/picture.png", out));
    EXPECT_EQ(out.width, 0);
}

TEST(PngEncoder, WritesWhatTheDecoderReadsBack)
{
    const RgbImage image = makeRgbImage(37, 11, [](int32_t x, int32_t y) {
        return std::array<uint8_t, 3>{static_cast<uint8_t>(x * 7), static_cast<uint8_t>(y * 23),
                                      static_cast<uint8_t>(x ^ y)};
    });
    const std::vector<uint8_t> png = encodePng(image);
    ASSERT_TRUE(hasPngSignature(png));
    expectSame(decodePng(png), image);
    EXPECT_TRUE(encodePng(RgbImage{}).empty());
    EXPECT_TRUE(encodePng(RgbImage{4, 4, std::vector<uint8_t>(10)}).empty());  // fewer pixels than promised
}
