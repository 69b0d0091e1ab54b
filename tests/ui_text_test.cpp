// The interface texts of the three languages.
#include <gtest/gtest.h>

#include "app/app.h"

namespace {
UiText filled()
{
    UiText t;
    fillUiText(t);
    return t;
}
}  // namespace

TEST(UiText, EveryEntryIsFilled)
{
    const UiText t = filled();
    for (const std::string& e : t.entries) EXPECT_FALSE(e.empty());
}

TEST(UiText, MenusAndTooltipsPerLanguage)
{
    const UiText t = filled();
    EXPECT_EQ(uiTextOf(t, 0, 0), "Datei");
    EXPECT_EQ(uiTextOf(t, 0, 6), "Beenden");
    EXPECT_EQ(uiTextOf(t, 0, 16), "Vergrößern");
    EXPECT_EQ(uiTextOf(t, 0, 2), "Öffnen...");
    EXPECT_EQ(uiTextOf(t, 1, 4), "Save as...");
    EXPECT_EQ(uiTextOf(t, 1, 11), "create vertex");
    EXPECT_EQ(uiTextOf(t, 1, 14), "delete vertex");
    EXPECT_EQ(uiTextOf(t, 1, 10), "No texture found");
    EXPECT_EQ(uiTextOf(t, 2, 7), "Aide");
    EXPECT_EQ(uiTextOf(t, 2, 8), "A propos");
    EXPECT_EQ(uiTextOf(t, 2, 5), "Références");
    EXPECT_EQ(uiTextOf(t, 2, 25), "établissement de coordonnée de texture automatique");
    EXPECT_EQ(uiTextOf(t, 2, 28), "tourner");
}

TEST(UiText, FrenchFileMenuInOrder)
{
    const UiText t = filled();
    std::vector<std::string_view> items;
    for (int32_t m : {1, 2, 3, 4, 9, 24, 41, 42, 5, 6}) items.push_back(uiTextOf(t, 2, m));
    EXPECT_EQ(items, (std::vector<std::string_view>{"Nouveau", "Ouvrir...", "Enregistrer",
                                                    "Enregistrer sous...", "Fusionner...",
                                                    "Fusionner ASC", "Importer...", "Exporter...",
                                                    "Références", "Quitter"}));
}

TEST(UiText, OutOfRangeLanguageReadsGermanAndBadMessageIsEmpty)
{
    const UiText t = filled();
    EXPECT_EQ(uiTextOf(t, 3, 0), "Datei");
    EXPECT_EQ(uiTextOf(t, -1, 7), "Hilfe");
    EXPECT_EQ(uiTextOf(t, 1, uiMessageCount), "");
    EXPECT_EQ(uiTextOf(t, 1, -1), "");
}
