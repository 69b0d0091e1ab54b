// choose_texture.cpp: "choose texture" and a texture taken by name, with the
// real texture upload of the engine and the platform's reader for BMP files.
#include "app/app.h"

namespace {

TextureReader engineReader(AppState& state)
{
    return [&state](const std::string& fileName) {
        return readTextureImage(state.engine, fileName, platformReader(state));
    };
}

TextureUploader engineUpload(AppState& state)
{
    return [&state](const RgbImage& image) { return uploadTexture(state.engine, image, 0); };
}

}  // namespace

void chooseTexture(AppState& state) { chooseTextureWith(state, engineReader(state), engineUpload(state)); }

void useTextureFile(AppState& state, const std::string& file)
{
    useTextureFileWith(state, file, engineReader(state), engineUpload(state));
}
