// choose_texture.cpp: the mesh texture read through the engine and uploaded
// into the 3D view's context: "choose texture", and the picture that goes
// with a mesh file when it is opened, merged or saved.
#include "app/app.h"

namespace {

TextureReader engineReader(AppState& state)
{
    return [&state](const std::string& fileName) {
        return readTextureImage(state.engine, fileName, platformReader(state));
    };
}

TextureUploader engineUploader(AppState& state)
{
    return [&state](const RgbImage& image) { return uploadTexture(state.engine, image, 0); };
}

}  // namespace

void chooseTexture(AppState& state) { chooseTextureWith(state, engineReader(state), engineUploader(state)); }

bool setMeshTexture(AppState& state, const std::string& file)
{
    return setMeshTextureWith(state, file, engineReader(state), engineUploader(state));
}

void loadTextureForMesh(AppState& state, const std::string& meshPath)
{
    const MeshTexture pick = textureForMesh(state.userState, meshPath);
    const int32_t language = state.prefs.language;
    if (!pick.missing.empty())
        state.windows->showMessage("Texture", textOf(language, Text::TextureGone, {pick.missing, meshPath}));
    if (pick.path.empty()) return;
    if (!setMeshTextureWith(state, pick.path, engineReader(state), engineUploader(state)) && pick.missing.empty())
        state.windows->showMessage("Texture", textOf(language, Text::TextureUnreadable, {pick.path}));
    markViewsDirty(state, viewBit(ViewKind::ThreeD));
}

void rememberMeshTexture(AppState& state)
{
    if (state.textureName.name() == 0 || state.currentFileName.empty()) return;
    const MeshTexture opened = textureForMesh(state.userState, state.currentFileName);
    const std::string shown = absolutePath(state.textureFileName);
    if (opened.path.empty() || !opened.missing.empty() || absolutePath(opened.path) != shown)
        rememberUserValue(state, textureMemoryKey(state.currentFileName), shown);
}
