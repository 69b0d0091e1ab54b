// files.h: the native mesh file, the ASC import, pref.txt, and the file commands.
#pragma once

#include <cstdint>
#include <string>

// The four settings kept in pref.txt.
struct Preferences {
    int32_t language = 0;  // 0 German, 1 English, 2 French
    float snapGrid = 0.0f;
    int32_t oldGlWarned = 0;
    std::string dialogStartText;
};
