// image_decoders.cpp: PNG (libpng) and JPEG (libjpeg) decoding from memory into
// tightly packed 8-bit RGB, top row first. Corrupt, truncated or oversized
// input gives a 0 x 0 image; the libraries' error exits are redirected with
// longjmp so nothing ends the process. Only C objects live between setjmp and
// longjmp; the output vectors exist before setjmp and are merely resized.
#include "engine/engine.h"

#include <csetjmp>
#include <cstdio>
#include <cstring>

#include <jpeglib.h>
#include <png.h>

namespace {

// Header dimensions accepted before any pixel buffer is allocated.
bool isAcceptableSize(uint64_t width, uint64_t height)
{
    return width > 0 && height > 0 && width <= maxImageSide && height <= maxImageSide &&
           width * height <= maxImagePixels;
}

// ---- PNG ------------------------------------------------------------------------------------

constexpr png_alloc_size_t maxPngChunkBytes = 4 << 20;
constexpr png_uint_32 maxPngKeptChunks = 64;
// Text, suggested palettes, colour profiles and metadata: the decoder uses none of them.
constexpr png_byte unusedPngChunks[] = "tEXt\0zTXt\0iTXt\0sPLT\0iCCP\0eXIf\0tIME\0pHYs\0";

struct PngSource {
    const uint8_t* data = nullptr;
    size_t size = 0;
    size_t offset = 0;
};

void pngRead(png_structp png, png_bytep out, png_size_t length)
{
    auto* source = static_cast<PngSource*>(png_get_io_ptr(png));
    if (length > source->size - source->offset) png_error(png, "truncated");
    std::memcpy(out, source->data + source->offset, length);
    source->offset += length;
}

void pngError(png_structp png, png_const_charp)
{
    png_longjmp(png, 1);
}

void pngWarning(png_structp, png_const_charp) {}

// ---- JPEG -----------------------------------------------------------------------------------

struct JpegError {
    jpeg_error_mgr manager;  // first, so libjpeg's pointer is also ours
    std::jmp_buf jump;
};

struct JpegProgress {
    jpeg_progress_mgr manager;  // first, as above
};

// Scans of a progressive JPEG beyond which decoding is abandoned: junk can
// declare endless scans that each cost a full pass over the image.
constexpr int maxJpegScans = 500;

[[noreturn]] void jpegErrorExit(j_common_ptr info)
{
    std::longjmp(reinterpret_cast<JpegError*>(info->err)->jump, 1);
}

// Warnings mean corrupt or truncated data; such an image is not used.
void jpegEmitMessage(j_common_ptr info, int level)
{
    if (level < 0) jpegErrorExit(info);
}

void jpegOutputMessage(j_common_ptr) {}

void jpegProgress(j_common_ptr info)
{
    const auto* d = reinterpret_cast<j_decompress_ptr>(info);
    if (d->input_scan_number > maxJpegScans) jpegErrorExit(info);
}

}  // namespace

bool hasPngSignature(std::span<const uint8_t> bytes)
{
    return bytes.size() >= 8 && png_sig_cmp(bytes.data(), 0, 8) == 0;
}

bool hasJpegSignature(std::span<const uint8_t> bytes)
{
    return bytes.size() >= 3 && bytes[0] == 0xFF && bytes[1] == 0xD8 && bytes[2] == 0xFF;
}

namespace {

// Everything the PNG decoding changes lives in the caller's frame, so that its
// values are defined again after a longjmp back into decodePngInto.
struct PngWork {
    png_structp png = nullptr;
    png_infop info = nullptr;
    PngSource source;
    std::vector<png_bytep> rows;
};

bool decodePngInto(PngWork& work, RgbImage& image)
{
    if (setjmp(png_jmpbuf(work.png)) != 0) return false;
    png_structp png = work.png;
    png_infop info = work.info;
    png_set_read_fn(png, &work.source, pngRead);
    png_set_user_limits(png, maxImageSide, maxImageSide);
    // A chunk's length field alone could ask for gigabytes, which libpng
    // allocates and clears before reading a byte of it. Pixel data is exempt
    // (libpng bounds it by the image size); any other chunk gets a few
    // megabytes, and the ones never used here are skipped without being kept.
    png_set_chunk_malloc_max(png, maxPngChunkBytes);
    png_set_chunk_cache_max(png, maxPngKeptChunks);
    png_set_keep_unknown_chunks(png, PNG_HANDLE_CHUNK_NEVER, unusedPngChunks,
                                static_cast<int>(sizeof unusedPngChunks / 5));
    png_read_info(png, info);
    const png_uint_32 width = png_get_image_width(png, info);
    const png_uint_32 height = png_get_image_height(png, info);
    if (!isAcceptableSize(width, height)) png_error(png, "image too large");

    png_set_expand(png);
    png_set_strip_16(png);
    png_set_strip_alpha(png);
    png_set_gray_to_rgb(png);
    png_set_interlace_handling(png);
    png_read_update_info(png, info);
    if (png_get_rowbytes(png, info) != static_cast<size_t>(width) * 3) png_error(png, "not RGB");

    image.rgb.resize(static_cast<size_t>(width) * height * 3);
    work.rows.resize(height);
    for (size_t y = 0; y < height; ++y) work.rows[y] = image.rgb.data() + y * width * 3;
    png_read_image(png, work.rows.data());
    png_read_end(png, nullptr);
    image.width = static_cast<int32_t>(width);
    image.height = static_cast<int32_t>(height);
    return true;
}

// As PngWork: the decompressor lives in the caller's frame.
struct JpegWork {
    jpeg_decompress_struct info{};
    JpegError error{};
    JpegProgress progress{};
};

bool decodeJpegInto(std::span<const uint8_t> bytes, JpegWork& work, RgbImage& image)
{
    if (setjmp(work.error.jump) != 0) return false;
    jpeg_decompress_struct& info = work.info;
    const auto common = reinterpret_cast<j_common_ptr>(&info);
    jpeg_create_decompress(&info);
    work.progress.manager.progress_monitor = jpegProgress;
    info.progress = &work.progress.manager;
    jpeg_mem_src(&info, bytes.data(), static_cast<unsigned long>(bytes.size()));
    jpeg_read_header(&info, TRUE);
    if (!isAcceptableSize(info.image_width, info.image_height)) jpegErrorExit(common);
    info.out_color_space = JCS_RGB;
    jpeg_start_decompress(&info);
    if (info.output_components != 3) jpegErrorExit(common);

    const size_t width = info.output_width;
    image.rgb.resize(width * info.output_height * 3);
    while (info.output_scanline < info.output_height) {
        JSAMPROW row = image.rgb.data() + static_cast<size_t>(info.output_scanline) * width * 3;
        jpeg_read_scanlines(&info, &row, 1);
    }
    jpeg_finish_decompress(&info);
    image.width = static_cast<int32_t>(info.output_width);
    image.height = static_cast<int32_t>(info.output_height);
    return true;
}

}  // namespace

RgbImage decodePng(std::span<const uint8_t> bytes)
{
    RgbImage image;
    if (!hasPngSignature(bytes)) return image;
    PngWork work;
    work.source = {bytes.data(), bytes.size(), 0};
    work.png = png_create_read_struct(PNG_LIBPNG_VER_STRING, nullptr, pngError, pngWarning);
    if (work.png == nullptr) return image;
    work.info = png_create_info_struct(work.png);
    const bool decoded = work.info != nullptr && decodePngInto(work, image);
    png_destroy_read_struct(&work.png, work.info != nullptr ? &work.info : nullptr, nullptr);
    return decoded ? image : RgbImage{};
}

RgbImage decodeJpeg(std::span<const uint8_t> bytes)
{
    RgbImage image;
    if (!hasJpegSignature(bytes)) return image;
    JpegWork work;
    work.info.err = jpeg_std_error(&work.error.manager);
    work.error.manager.error_exit = jpegErrorExit;
    work.error.manager.emit_message = jpegEmitMessage;
    work.error.manager.output_message = jpegOutputMessage;
    const bool decoded = decodeJpegInto(bytes, work, image);
    jpeg_destroy_decompress(&work.info);
    return decoded ? image : RgbImage{};
}
