// app.h: the application shell's public header: the interface texts.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>

// ---- interface texts ------------------------------------------------------------

constexpr int32_t uiLanguageCount = 3;  // 0 German, 1 English, 2 French
constexpr int32_t uiMessageCount = 29;

// Message m of language l is entries[l * uiMessageCount + m].
struct UiText {
    std::array<std::string, uiLanguageCount * uiMessageCount> entries;
};

// Fills all three languages; called once at start-up.
void fillUiText(UiText& table);
// Text of a message in a language. A language outside 0 to 2 reads as German;
// a message number outside 0 to 28 gives the empty text.
std::string_view uiTextOf(const UiText& table, int32_t language, int32_t message);
