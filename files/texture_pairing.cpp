// texture_pairing.cpp: which picture goes with a mesh file: the one the user
// last chose with it, remembered in the user state, else one beside it with
// the same name stem. Reads the file system, changes nothing.
#include "files/files.h"

#include <sys/stat.h>

#include <filesystem>

namespace {

bool isRegularFile(const std::string& path)
{
    struct stat info {};
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace

std::string sameStemTexture(const std::string& meshPath)
{
    const size_t slash = meshPath.find_last_of('/');
    const size_t dot = meshPath.find_last_of('.');
    const std::string stem = dot == std::string::npos || (slash != std::string::npos && dot < slash)
                                 ? meshPath
                                 : meshPath.substr(0, dot);
    for (const char* extension : {".png", ".jpg", ".jpeg", ".bmp"})
        if (isRegularFile(stem + extension)) return stem + extension;
    return {};
}

std::string absolutePath(const std::string& path)
{
    std::error_code error;
    const std::filesystem::path absolute = std::filesystem::absolute(path, error);
    if (error) return path;
    const std::filesystem::path resolved = std::filesystem::weakly_canonical(absolute, error);
    return error ? absolute.lexically_normal().string() : resolved.string();
}

std::string textureMemoryKey(const std::string& meshPath) { return "texture:" + absolutePath(meshPath); }

MeshTexture textureForMesh(const UserState& userState, const std::string& meshPath)
{
    MeshTexture pick;
    const auto remembered = userState.values.find(textureMemoryKey(meshPath));
    if (remembered != userState.values.end() && !remembered->second.empty()) {
        if (isRegularFile(remembered->second)) {
            pick.path = remembered->second;
            return pick;
        }
        pick.missing = remembered->second;
    }
    pick.path = sameStemTexture(meshPath);
    return pick;
}
