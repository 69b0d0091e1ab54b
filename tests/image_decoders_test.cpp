// The image decoders (PNG, JPEG, BMP) on good and bad bytes, and the PNG writer; no OpenGL.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <zlib.h>

#include <algorithm>

#include "engine/engine.h"
#include "tests/test_images.h"

namespace {

void expectNear(const RgbImage& actual, const RgbImage& expected, int tolerance)
{
    ASSERT_EQ(std::pair(actual.width, actual.height), std::pair(expected.width, expected.height));
    ASSERT_EQ(actual.rgb.size(), expected.rgb.size());
    for (size_t i = 0; i < actual.rgb.size(); ++i) ASSERT_NEAR(actual.rgb[i], expected.rgb[i], tolerance) << "byte " << i;
}

bool refused(const RgbImage& image) { return image.width == 0 && image.height == 0 && image.rgb.empty(); }

void put(std::vector<uint8_t>& bytes, size_t at, uint32_t value, bool bigEndian)
{
    for (size_t i = 0; i < 4; ++i) bytes.resize(std::max(bytes.size(), at + 4)), bytes[at + i] = uint8_t(value >> (bigEndian ? 24 - 8 * i : 8 * i));
}

// A valid PNG whose IHDR claims width x height, with a matching CRC.
std::vector<uint8_t> pngClaiming(uint32_t width, uint32_t height)
{
    std::vector<uint8_t> png = encodeTestPng(fiveByThree);
    put(png, 16, width, true);
    put(png, 20, height, true);
    put(png, 29, uint32_t(crc32(0, &png[12], 17)), true);  // over "IHDR" and its 13 data bytes
    return png;
}

// A valid JPEG whose SOF header claims width x height.
std::vector<uint8_t> jpegClaiming(uint16_t width, uint16_t height)
{
    std::vector<uint8_t> jpeg = encodeTestJpeg(fiveByThree);
    const std::array<uint8_t, 2> marker{0xFF, 0xC0};  // std::search: clang 14 rejects libstdc++'s ranges::search
    const auto sof = std::search(jpeg.begin(), jpeg.end(), marker.begin(), marker.end());
    sof[5] = uint8_t(height >> 8), sof[6] = uint8_t(height), sof[7] = uint8_t(width >> 8), sof[8] = uint8_t(width);
    return jpeg;
}

std::vector<uint8_t> junk(size_t size, unsigned seed)
{
    std::vector<uint8_t> bytes(size);
    for (auto& b : bytes) b = uint8_t((seed = seed * 1103515245u + 12345u) >> 16);
    return bytes;
}

// A BMP as paint programs write it: an info header of `infoSize` bytes, masks (blue in
// the high byte) in it or after it for 32-bit BI_BITFIELDS, rows padded to 4 bytes.
std::vector<uint8_t> makeBmp(const RgbImage& image, uint32_t bits, bool topDown, uint32_t infoSize = 40, bool bitfields = false)
{
    const auto w = size_t(image.width), h = size_t(image.height), stride = (w * bits + 31) / 32 * 4;
    const uint32_t offset = 14 + infoSize + (bitfields && infoSize == 40 ? 12 : 0);
    std::vector<uint8_t> b{'B', 'M'};
    for (const uint32_t v : {uint32_t(offset + stride * h), 0u, offset, infoSize, uint32_t(image.width), uint32_t(topDown ? -image.height : image.height)})
        put(b, b.size(), v, false);
    put(b, 26, 1 | bits << 16, false);
    put(b, 30, bitfields ? 3 : 0, false);
    if (infoSize == 12)  // OS/2's core header: 16-bit width, height, planes and bits
        put(b, 18, uint32_t(image.width) | uint32_t(uint16_t(topDown ? -image.height : image.height)) << 16, false), put(b, 22, 1 | bits << 16, false);
    for (size_t i = 0; i < 3 && bitfields; ++i) put(b, 54 + 4 * i, 0xFF00u << (8 * i), false);
    b.resize(offset);
    for (size_t row = 0; row < h; ++row) {
        const uint8_t* p = &image.rgb[(topDown ? row : h - 1 - row) * w * 3];
        for (size_t x = 0; x < w; ++x, p += 3) {
            if (bitfields) b.insert(b.end(), {0x7F, p[0], p[1], p[2]});
            else b.insert(b.end(), {p[2], p[1], p[0]});
            if (bits == 32 && !bitfields) b.push_back(0x55);  // the unused byte is ignored
        }
        b.resize(offset + stride * (row + 1));
    }
    return b;
}

TEST(PngDecoder, DecodesEveryColourTypeTopRowFirstAndRefusesBadBytes)
{
    const RgbImage gray = makeRgbImage(9, 2, [](int32_t x, int32_t y) { return Colour{uint8_t(x % 2 * 255 * y), uint8_t(x % 2 * 255 * y), uint8_t(x % 2 * 255 * y)}; });
    const std::pair<const RgbImage*, TestPngOptions> cases[] = {
        {nullptr, {2, 8, false}}, {nullptr, {6, 8, false}}, {nullptr, {2, 16, false}},
        {nullptr, {2, 8, true}}, {&gray, {0, 8, false}}, {&gray, {4, 8, false}}, {&gray, {0, 1, false}}};
    for (const auto& [image, options] : cases) {
        SCOPED_TRACE(options.colorType * 100 + options.bitDepth + options.interlaced);
        expectNear(decodePng(encodeTestPng(image ? *image : fiveByThree, options)), image ? *image : fiveByThree, 0);
    }
    EXPECT_TRUE(hasPngSignature(encodeTestPng(fiveByThree)));
    EXPECT_EQ(decodePng(pngClaiming(5, 3)).width, 5);  // the forging itself is sound
    // The program's own writer: read back whole; nothing for an empty or short image.
    const RgbImage image = makeRgbImage(37, 11, [](int32_t x, int32_t y) { return Colour{uint8_t(x * 7), uint8_t(y * 23), uint8_t(x ^ y)}; });
    expectNear(decodePng(encodePng(image)), image, 0);
    for (const RgbImage& bad : {RgbImage{}, RgbImage{4, 0, {}}, RgbImage{4, 4, std::vector<uint8_t>(47)}}) EXPECT_TRUE(encodePng(bad).empty());
    EXPECT_FALSE(encodePng(RgbImage{4, 4, std::vector<uint8_t>(48)}).empty());

    for (const auto& [w, h] : {std::pair(16384, 1), std::pair(1, 16384)})  // the largest sides allowed
        EXPECT_EQ(decodePng(encodeTestPng(makeRgbImage(w, h, [](int32_t, int32_t) { return Colour{1, 2, 3}; }))).height, h);
    const std::vector<uint8_t> good = encodeTestPng(fiveByThree);
    for (size_t length = 0; length < good.size(); ++length) EXPECT_TRUE(refused(decodePng({good.data(), length}))) << length;
    std::vector<uint8_t> corrupt = good, junkAfterSignature = junk(2048, 3);
    for (size_t i = 40; i < corrupt.size() - 12; ++i) corrupt[i] ^= 0x5A;  // IDAT damaged
    std::copy_n(good.begin(), 8, junkAfterSignature.begin());
    for (const auto& bytes : {junk(4096, 7), encodeTestJpeg(fiveByThree), corrupt, junkAfterSignature, pngClaiming(16385, 1),
                              pngClaiming(1, 16385), pngClaiming(16384, 16384), pngClaiming(0x7FFFFFFF, 0x7FFFFFFF), pngClaiming(0, 3),
                              pngClaiming(8000, 8000)})  // the last within the limits, refused by the missing data
        EXPECT_TRUE(refused(decodePng(bytes)));
    // Chunks the decoder does not use cannot ask for gigabytes: a length of 2 GB and 3 bytes of it.
    for (const char* type : {"tEXt", "zTXt", "iTXt", "sPLT", "iCCP"}) {
        std::vector<uint8_t> png(good.begin(), good.begin() + 33);
        put(png, 33, 0x7FFFFFFF, true);
        png.insert(png.end(), type, type + 4);
        png.insert(png.end(), {'a', 0, 'b'});
        rusage before{}, after{};
        getrusage(RUSAGE_SELF, &before);
        EXPECT_TRUE(refused(decodePng(png)) && getrusage(RUSAGE_SELF, &after) == 0 && after.ru_maxrss - before.ru_maxrss < 64 * 1024) << type;
    }
}

TEST(JpegDecoder, DecodesColourAndGrayAndRefusesBadBytes)
{
    const RgbImage flat = makeRgbImage(7, 5, [](int32_t, int32_t) { return Colour{200, 120, 40}; });
    const RgbImage gray = makeRgbImage(6, 6, [](int32_t, int32_t) { return Colour{90, 90, 90}; });
    expectNear(decodeJpeg(encodeTestJpeg(fiveByThree)), fiveByThree, 40);
    expectNear(decodeJpeg(encodeTestJpeg(fiveByThree, false, true)), fiveByThree, 40);
    expectNear(decodeJpeg(encodeTestJpeg(flat)), flat, 3);
    expectNear(decodeJpeg(encodeTestJpeg(gray, true)), gray, 2);
    EXPECT_EQ(decodeJpeg(jpegClaiming(5, 3)).width, 5);

    const std::vector<uint8_t> good = encodeTestJpeg(fiveByThree);
    for (size_t length = 0; length < good.size(); ++length) EXPECT_TRUE(refused(decodeJpeg({good.data(), length}))) << length;
    std::vector<uint8_t> junkAfterMarker = junk(2048, 5);
    std::copy_n(good.begin(), 3, junkAfterMarker.begin());
    for (const auto& bytes : {junk(4096, 11), encodeTestPng(fiveByThree), junkAfterMarker, jpegClaiming(16385, 1),
                              jpegClaiming(16000, 16000), jpegClaiming(0, 3), jpegClaiming(9000, 7000)})
        EXPECT_TRUE(refused(decodeJpeg(bytes)));
}

TEST(BmpDecoder, ReadsTheLayoutsPaintProgramsWriteAndTheShippedLabelsAndRefusesBadBytes)
{
    for (const auto& [bits, topDown, infoSize, bitfields] : {std::tuple(24u, false, 40u, false), std::tuple(24u, true, 40u, false),
                                                             std::tuple(32u, false, 40u, false), std::tuple(32u, false, 40u, true),
                                                             std::tuple(32u, true, 108u, true), std::tuple(24u, true, 12u, false)}) {
        SCOPED_TRACE(bits + topDown * 1000 + infoSize * 10 + bitfields * 10000);
        std::vector<uint8_t> bmp = makeBmp(fiveByThree, bits, topDown, infoSize, bitfields);
        expectNear(decodeBmp(bmp), fiveByThree, 0);
        bmp.resize(bmp.size() - (bits == 24 ? 1 : 0));  // the last row without its padding is still whole
        expectNear(decodeBmp(bmp), fiveByThree, 0);
    }
    const RgbImage widest = makeRgbImage(16384, 1, [](int32_t x, int32_t) { return Colour{uint8_t(x), 0, 0}; });
    expectNear(decodeBmp(makeBmp(widest, 24, false)), widest, 0);  // the largest side allowed
    for (const char* name : {"Front.bmp", "Side.bmp", "Top.bmp", "3D.bmp"}) {
        RgbImage label;
        ASSERT_TRUE(readBmpFile(std::string(PQ_SOURCE_DIR "/Images/") + name, label)) << name;
        EXPECT_EQ(std::tuple(label.width, label.height, label.rgb[0], label.rgb[2]), std::tuple(22, 15, 0, 140)) << name;  // dark blue ground
    }

    const std::vector<uint8_t> good = makeBmp(fiveByThree, 24, false);
    std::vector<std::vector<uint8_t>> bad{{}, {'B', 'M'}, junk(4096, 9)};
    bad.back()[0] = 'B', bad.back()[1] = 'M';
    for (size_t cut : {size_t{10}, size_t{30}, size_t{54}, good.size() - 4}) bad.emplace_back(good.begin(), good.begin() + std::ptrdiff_t(cut));
    // Pixels past the end, a header larger than the file, no width, wider than any texture,
    // the most negative height, taller than the bytes, run-length compressed, 8 bits.
    const std::pair<size_t, uint32_t> patches[] = {{10, 0xFFFFFFF0u}, {14, 0x7FFFFFFFu}, {18, 0u}, {18, 100000u},
                                                   {22, 0x80000000u}, {22, 20000u}, {30, 1u}, {28, 8u}};
    for (const auto& [at, value] : patches) put(bad.emplace_back(good), at, value, false);
    std::vector<uint8_t> masksMissing = makeBmp(fiveByThree, 32, false, 40, true);
    masksMissing.resize(60);
    bad.push_back(masksMissing);
    for (const auto& bytes : bad) EXPECT_TRUE(refused(decodeBmp(bytes))) << bytes.size();

    const std::string dir = makeTestFolder("bmp_reader");
    writeTestFile(dir + "/picture.png", encodeTestPng(fiveByThree));
    RgbImage out;
    EXPECT_FALSE(readBmpFile(dir + "/missing.bmp", out) || readBmpFile(dir, out) || readBmpFile(dir + "/picture.png", out));
    EXPECT_EQ(out.width, 0);
}

}  // namespace
