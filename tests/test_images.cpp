// test_images.cpp: test-side encoders; failures abort the test, not the decoders.
#include "tests/test_images.h"

#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>

#include <unistd.h>

#include <jpeglib.h>
#include <png.h>

namespace {

void appendPngBytes(png_structp png, png_bytep data, png_size_t length)
{
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void flushNothing(png_structp) {}

[[noreturn]] void abortOnPngError(png_structp, png_const_charp message)
{
    std::fprintf(stderr, "test PNG encoder: %s\n", message);
    std::abort();
}

[[noreturn]] void abortOnJpegError(j_common_ptr)
{
    std::fprintf(stderr, "test JPEG encoder failed\n");
    std::abort();
}

}  // namespace

std::vector<uint8_t> encodeTestPng(const RgbImage& image, TestPngOptions options)
{
    std::vector<uint8_t> out;
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, abortOnPngError, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, appendPngBytes, flushNothing);
    const auto w = static_cast<size_t>(image.width), h = static_cast<size_t>(image.height);
    const int type = options.colorType;
    png_set_IHDR(png, info, image.width, image.height, options.bitDepth, type,
                 options.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);

    std::map<uint32_t, uint8_t> paletteIndex;
    std::vector<png_color> palette;
    if (type == PNG_COLOR_TYPE_PALETTE) {
        for (size_t i = 0; i < w * h; ++i) {
            const uint8_t* p = &image.rgb[i * 3];
            const uint32_t key = p[0] << 16 | p[1] << 8 | p[2];
            if (paletteIndex.emplace(key, static_cast<uint8_t>(palette.size())).second)
                palette.push_back({p[0], p[1], p[2]});
        }
        png_set_PLTE(png, info, palette.data(), static_cast<int>(palette.size()));
    }
    png_write_info(png, info);
    if (options.bitDepth < 8) png_set_packing(png);  // one sample a byte, packed by libpng

    const size_t channels = type == PNG_COLOR_TYPE_RGB ? 3 : type == PNG_COLOR_TYPE_RGBA ? 4
                          : type == PNG_COLOR_TYPE_GRAY_ALPHA ? 2 : 1;
    const size_t bytesPerSample = options.bitDepth == 16 ? 2 : 1;
    std::vector<std::vector<uint8_t>> rows(h, std::vector<uint8_t>(w * channels * bytesPerSample));
    for (size_t y = 0; y < h; ++y)
        for (size_t x = 0; x < w; ++x) {
            const uint8_t* p = &image.rgb[(y * w + x) * 3];
            std::vector<uint8_t> samples;
            if (type == PNG_COLOR_TYPE_PALETTE) samples = {paletteIndex[p[0] << 16 | p[1] << 8 | p[2]]};
            else if (type == PNG_COLOR_TYPE_GRAY) samples = {p[0]};
            else if (type == PNG_COLOR_TYPE_GRAY_ALPHA) samples = {p[0], 255};
            else if (type == PNG_COLOR_TYPE_RGBA) samples = {p[0], p[1], p[2], 128};
            else samples = {p[0], p[1], p[2]};
            for (size_t c = 0; c < channels; ++c) {
                uint8_t* dst = &rows[y][(x * channels + c) * bytesPerSample];
                dst[0] = options.bitDepth < 8 && type != PNG_COLOR_TYPE_PALETTE
                             ? static_cast<uint8_t>(samples[c] >> (8 - options.bitDepth))
                             : samples[c];
                if (bytesPerSample == 2) dst[1] = 0x5A;  // low byte, dropped by 8-bit decoding
            }
        }
    std::vector<png_bytep> rowPointers;
    for (auto& row : rows) rowPointers.push_back(row.data());
    png_write_image(png, rowPointers.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

std::vector<uint8_t> encodeTestJpeg(const RgbImage& image, bool gray, bool progressive)
{
    jpeg_compress_struct info{};
    jpeg_error_mgr error{};
    info.err = jpeg_std_error(&error);
    error.error_exit = abortOnJpegError;
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(image.width);
    info.image_height = static_cast<JDIMENSION>(image.height);
    info.input_components = gray ? 1 : 3;
    info.in_color_space = gray ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 100, TRUE);
    for (int c = 0; c < info.num_components; ++c) {
        info.comp_info[c].h_samp_factor = 1;
        info.comp_info[c].v_samp_factor = 1;
    }
    if (progressive) jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    const auto w = static_cast<size_t>(image.width);
    std::vector<uint8_t> row(w * 3);
    while (info.next_scanline < info.image_height) {
        const uint8_t* src = &image.rgb[info.next_scanline * w * 3];
        for (size_t x = 0; x < w; ++x) {
            if (gray) row[x] = src[x * 3];
            else for (size_t c = 0; c < 3; ++c) row[x * 3 + c] = src[x * 3 + c];
        }
        JSAMPROW rowPointer = row.data();
        jpeg_write_scanlines(&info, &rowPointer, 1);
    }
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    std::vector<uint8_t> out(buffer, buffer + size);
    std::free(buffer);
    return out;
}

void writeTestFile(const std::string& path, const std::vector<uint8_t>& bytes)
{
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) std::abort();
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
}

std::string makeTestFolder(const std::string& name)
{
    const auto folder = std::filesystem::temp_directory_path() / ("pq_test_" + name + "_" + std::to_string(::getpid()));
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder.string();
}
