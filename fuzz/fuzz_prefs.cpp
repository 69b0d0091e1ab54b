// fuzz_prefs.cpp: the pref.txt reader on any bytes. What was read, written
// again and read back keeps its language, warning flag and start text.
#include <cstdlib>

#include "files/files.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const Preferences prefs = readPreferencesText(std::string_view(reinterpret_cast<const char*>(data), size));
    const Preferences again = readPreferencesText(writePreferencesText(prefs));
    if (again.language != prefs.language || again.oldGlWarned != prefs.oldGlWarned ||
        again.dialogStartText != prefs.dialogStartText)
        std::abort();
    return 0;
}
