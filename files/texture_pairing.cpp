// texture_pairing.cpp: which picture goes with a mesh file when none is named:
// one beside it with the same name stem. No state.
#include "files/files.h"

#include <sys/stat.h>

std::string sameStemTexture(const std::string& meshPath)
{
    const size_t slash = meshPath.find_last_of('/');
    const size_t dot = meshPath.find_last_of('.');
    const std::string stem = dot == std::string::npos || (slash != std::string::npos && dot < slash)
                                 ? meshPath
                                 : meshPath.substr(0, dot);
    for (const char* extension : {".png", ".jpg", ".jpeg", ".bmp"}) {
        const std::string candidate = stem + extension;
        struct stat info {};
        if (::stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode)) return candidate;
    }
    return {};
}
