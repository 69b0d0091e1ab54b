// choose_texture.cpp: "choose texture" with the real texture upload of the
// engine and the platform's reader for BMP files.
#include "app/app.h"

void chooseTexture(AppState& state)
{
    chooseTextureWith(
        state,
        [&state](const std::string& fileName) { return readTextureImage(state.engine, fileName, platformReader(state)); },
        [&state](const RgbImage& image) { return uploadTexture(state.engine, image, 0); });
}
