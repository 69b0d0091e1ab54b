// test_images.cpp: test-side encoders; failures abort the test, not the decoders.
#include "tests/test_images.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include <unistd.h>

#include <jpeglib.h>
#include <png.h>

std::vector<uint8_t> encodeTestPng(const RgbImage& image, TestPngOptions options)
{
    std::vector<uint8_t> out;
    const auto fail = [](png_structp, png_const_charp message) { std::fprintf(stderr, "test PNG encoder: %s\n", message); std::abort(); };
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, fail, nullptr);
    png_infop info = png_create_info_struct(png);
    png_set_write_fn(png, &out, [](png_structp p, png_bytep data, png_size_t length) {
        auto* bytes = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(p));
        bytes->insert(bytes->end(), data, data + length);
    }, [](png_structp) {});
    const int type = options.colorType, depth = options.bitDepth;
    png_set_IHDR(png, info, static_cast<png_uint_32>(image.width), static_cast<png_uint_32>(image.height), depth, type,
                 options.interlaced ? PNG_INTERLACE_ADAM7 : PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    // One byte per sample, packed by libpng below 8 bits.
    std::vector<uint8_t> samples;
    const auto put = [&](uint8_t v) {
        samples.push_back(depth < 8 ? static_cast<uint8_t>(v >> (8 - depth)) : v);
        if (depth == 16) samples.push_back(0x5A);  // low byte, dropped by 8-bit decoding
    };
    for (size_t i = 0; i < image.rgb.size(); i += 3) {
        for (int c = 0; c < ((type & PNG_COLOR_MASK_COLOR) ? 3 : 1); ++c) put(image.rgb[i + size_t(c)]);  // gray takes red
        if (type & PNG_COLOR_MASK_ALPHA) put(type == PNG_COLOR_TYPE_RGBA ? 128 : 255);
    }
    png_write_info(png, info);
    if (depth < 8) png_set_packing(png);
    std::vector<png_bytep> rows;
    for (size_t y = 0; y < static_cast<size_t>(image.height); ++y) rows.push_back(&samples[y * samples.size() / static_cast<size_t>(image.height)]);
    png_write_image(png, rows.data());
    png_write_end(png, nullptr);
    png_destroy_write_struct(&png, &info);
    return out;
}

std::vector<uint8_t> encodeTestJpeg(const RgbImage& image, bool gray, bool progressive)
{
    jpeg_compress_struct info{};
    jpeg_error_mgr error{};
    info.err = jpeg_std_error(&error);
    error.error_exit = [](j_common_ptr) { std::fprintf(stderr, "test JPEG encoder failed\n"); std::abort(); };
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = static_cast<JDIMENSION>(image.width), info.image_height = static_cast<JDIMENSION>(image.height);
    info.input_components = gray ? 1 : 3, info.in_color_space = gray ? JCS_GRAYSCALE : JCS_RGB;
    jpeg_set_defaults(&info);
    jpeg_set_quality(&info, 100, TRUE);
    for (int c = 0; c < info.num_components; ++c) info.comp_info[c].h_samp_factor = info.comp_info[c].v_samp_factor = 1;
    if (progressive) jpeg_simple_progression(&info);
    jpeg_start_compress(&info, TRUE);
    const auto w = static_cast<size_t>(image.width);
    std::vector<uint8_t> row(w * 3);
    while (info.next_scanline < info.image_height) {
        const uint8_t* src = &image.rgb[info.next_scanline * w * 3];
        for (size_t i = 0; i < row.size(); ++i) row[i] = gray ? src[(i % w) * 3] : src[i];  // gray takes the red channel
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
    std::ofstream file(path, std::ios::binary);
    file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!file) std::abort();
}

std::string makeTestFolder(const std::string& name)
{
    const auto folder = std::filesystem::temp_directory_path() / ("pq_test_" + name + "_" + std::to_string(::getpid()));
    std::filesystem::remove_all(folder);
    std::filesystem::create_directories(folder);
    return folder.string();
}

namespace {

// Remembered settings go to this process's own folder; the first language's locale is C.
struct PrivateUserFolders {
    std::string folder = makeTestFolder("user_folders");
    PrivateUserFolders()
    {
        ::setenv("XDG_STATE_HOME", (folder + "/state").c_str(), 1);
        ::setenv("XDG_CONFIG_HOME", (folder + "/config").c_str(), 1);
        ::unsetenv("LC_ALL"), ::unsetenv("LC_MESSAGES"), ::setenv("LANG", "C", 1);
    }
    ~PrivateUserFolders() { std::error_code error; std::filesystem::remove_all(folder, error); }
} const privateUserFolders;

}  // namespace
