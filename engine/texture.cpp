// texture.cpp: loadTexture: an image file into a new texture of the current
// context. Keeps the enabled decoders and the reused pixel buffer in Engine.
#include "engine/engine.h"

#include <GL/gl.h>
#include <GL/glu.h>

#include <algorithm>
#include <cstdio>
#include <memory>

namespace {

// Files larger than this are not images we load.
constexpr size_t maxImageFileBytes = 256u << 20;

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// The whole file, or nothing when it cannot be read or is larger than the cap.
std::vector<uint8_t> readWholeFile(const std::string& path)
{
    std::vector<uint8_t> bytes;
    const std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) return bytes;
    // Refuse what is plainly too large before reading any of it.
    if (std::fseek(file.get(), 0, SEEK_END) == 0) {
        const long length = std::ftell(file.get());
        if (length < 0 || static_cast<unsigned long>(length) > maxImageFileBytes) return bytes;
        std::rewind(file.get());
    }
    uint8_t chunk[65536];
    for (;;) {
        const size_t n = std::fread(chunk, 1, sizeof chunk, file.get());
        if (n == 0) break;
        if (bytes.size() + n > maxImageFileBytes) return {};
        bytes.insert(bytes.end(), chunk, chunk + n);
    }
    if (std::ferror(file.get()) != 0) return {};
    return bytes;
}

bool hasIcoSignature(const std::vector<uint8_t>& b)
{
    return b.size() >= 4 && b[0] == 0 && b[1] == 0 && b[2] == 1 && b[3] == 0;
}

bool isUsable(const RgbImage& image)
{
    return image.width > 0 && image.height > 0 &&
           image.rgb.size() >= static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * 3;
}

RgbImage readImage(const Engine& engine, const std::string& path,
                   const PlatformImageReader& readPlatformImage)
{
    const std::vector<uint8_t> bytes = readWholeFile(path);
    RgbImage image;
    if (bytes.size() >= 2 && bytes[0] == 'B' && bytes[1] == 'M') {
        if (readPlatformImage && readPlatformImage(path, image) && isUsable(image)) return image;
        return {};
    }
    // The platform is asked for icons only, so that PNG and JPEG files load
    // exactly when their decoder is enabled.
    if (hasIcoSignature(bytes) && readPlatformImage && readPlatformImage(path, image) &&
        isUsable(image))
        return image;
    for (const ImageDecoder decoder : engine.enabledDecoders) {
        image = decoder == ImageDecoder::Jpeg ? decodeJpeg(bytes) : decodePng(bytes);
        if (isUsable(image)) return image;
    }
    return {};
}

void enableDecoder(Engine& engine, ImageDecoder decoder)
{
    auto& enabled = engine.enabledDecoders;
    if (std::find(enabled.begin(), enabled.end(), decoder) == enabled.end())
        enabled.push_back(decoder);
}

}  // namespace

std::string fileExtension(const std::string& fileName)
{
    const size_t slash = fileName.find_last_of("\\/");
    const size_t dot = fileName.find_last_of('.');
    if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return {};
    std::string extension = fileName.substr(dot + 1);
    for (char& ch : extension) {
        const auto c = static_cast<unsigned char>(ch);
        if ((c >= 'A' && c <= 'Z') || (c >= 192 && c <= 223)) ch = static_cast<char>(c + 32);
    }
    return extension;
}

RgbImage readTextureImage(Engine& engine, const std::string& fileName,
                          const PlatformImageReader& readPlatformImage)
{
    const std::string extension = fileExtension(fileName);
    if (extension == "jpg") enableDecoder(engine, ImageDecoder::Jpeg);
    else if (extension == "png") enableDecoder(engine, ImageDecoder::Png);
    return readImage(engine, fileName, readPlatformImage);
}

uint32_t uploadTexture(Engine& engine, const RgbImage& image, int32_t mode)
{
    const size_t size = isUsable(image) ? static_cast<size_t>(image.width) * image.height * 3 : 0;
    engine.pixels.assign(size, 0);
    std::copy_n(image.rgb.begin(), size, engine.pixels.begin());

    GLuint name = 0;
    glGenTextures(1, &name);
    if (mode < 0 || mode > 2) return name;

    glBindTexture(GL_TEXTURE_2D, name);
    const bool linear = mode != 0;
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, linear ? GL_LINEAR : GL_NEAREST);
    glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER,
                    mode == 2 ? GL_LINEAR_MIPMAP_NEAREST : linear ? GL_LINEAR : GL_NEAREST);
    // Rows are packed without padding; alignment 1 keeps widths with 3 * width
    // not a multiple of 4 from arriving sheared.
    GLint alignment = 4;
    glGetIntegerv(GL_UNPACK_ALIGNMENT, &alignment);
    glPixelStorei(GL_UNPACK_ALIGNMENT, 1);
    const GLsizei width = size > 0 ? image.width : 0;
    const GLsizei height = size > 0 ? image.height : 0;
    if (mode == 2) {
        if (size > 0)
            gluBuild2DMipmaps(GL_TEXTURE_2D, 3, width, height, GL_RGB, GL_UNSIGNED_BYTE,
                              engine.pixels.data());
    } else {
        glTexImage2D(GL_TEXTURE_2D, 0, GL_RGB, width, height, 0, GL_RGB, GL_UNSIGNED_BYTE,
                     size > 0 ? engine.pixels.data() : nullptr);
    }
    glPixelStorei(GL_UNPACK_ALIGNMENT, alignment);
    return name;
}

uint32_t loadTexture(Engine& engine, const std::string& fileName, int32_t mode,
                     const PlatformImageReader& readPlatformImage)
{
    return uploadTexture(engine, readTextureImage(engine, fileName, readPlatformImage), mode);
}
