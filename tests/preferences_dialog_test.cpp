// The Preferences dialog over the scripted window layer: its gadgets, its own
// event loop, and the language and snap grid taken on closing.
#include <gtest/gtest.h>

#include <tuple>

#include "app/app.h"
#include "tests/fake_window_layer.h"

namespace {

class PreferencesDialog : public ::testing::Test {
protected:
    FakeWindowLayer fake;
    AppState state;
    FakeWindowLayer::Window seen;  // the dialog as it looked while waiting
    int32_t activeWhileWaiting = windowNone;

    void SetUp() override
    {
        fake.attach(state);
    }

    // When the dialog waits, picks a language item (-1: leaves it), types the
    // snap grid text (nullptr: leaves it) and uses the close box.
    void answer(int32_t language, const char* grid)
    {
        fake.onIdle = [this, language, grid, done = false](FakeWindowLayer& f) mutable {
            if (done || !f.isWindowOpen(windowPreferences)) return;
            done = true;
            seen = f.windows[windowPreferences];
            activeWhileWaiting = f.active;
            for (auto& [id, g] : f.windows[windowPreferences].gadgets) {
                if (g.kind == "combo" && language != -1) g.selection = language;
                if (g.kind == "text" && grid != nullptr) g.text = grid;
            }
            f.push(eventClose, windowPreferences);
        };
    }

    const FakeWindowLayer::Gadget* gadget(const std::string& kind) const
    {
        for (const auto& [id, g] : seen.gadgets)
            if (g.kind == kind) return &g;
        return nullptr;
    }
};

}  // namespace

TEST_F(PreferencesDialog, ShowsTheLanguagesAndTheSnapGrid)
{
    state.prefs.language = 2;
    state.prefs.snapGrid = 0.5f;
    answer(-1, nullptr);
    EXPECT_TRUE(runPreferencesDialog(state));
    EXPECT_EQ(seen.spec.title, "Références");
    EXPECT_EQ(seen.spec.width, 200);
    EXPECT_EQ(seen.spec.height, 50);
    EXPECT_EQ(seen.spec.style, WindowStyle::Tool);
    EXPECT_EQ(seen.spec.placement, WindowPlacement::CentreOverActive);
    EXPECT_TRUE(seen.shown);
    EXPECT_EQ(activeWhileWaiting, windowPreferences);
    ASSERT_EQ(seen.gadgets.size(), 3u);
    const auto* list = gadget("combo");
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->items, (std::vector<std::string>{"German", "English", "French"}));
    EXPECT_EQ(list->selection, 2);
    EXPECT_EQ(std::tie(list->x, list->y, list->width, list->height), std::make_tuple(0, 0, 200, 80));
    const auto* label = gadget("static");
    ASSERT_NE(label, nullptr);
    EXPECT_EQ(label->text, "Snap-Grid:");
    EXPECT_EQ(std::tie(label->x, label->y, label->width, label->height), std::make_tuple(0, 30, 100, 20));
    const auto* field = gadget("text");
    ASSERT_NE(field, nullptr);
    EXPECT_EQ(field->text, "0.500000");
    EXPECT_EQ(std::tie(field->x, field->y, field->width, field->height), std::make_tuple(100, 30, 100, 20));
    EXPECT_FALSE(fake.isWindowOpen(windowPreferences));
    EXPECT_EQ(fake.active, windowMain);
    EXPECT_EQ(state.prefs.language, 2);
    EXPECT_EQ(state.prefs.snapGrid, 0.5f);
}

TEST_F(PreferencesDialog, TitleFollowsTheCurrentLanguage)
{
    answer(-1, nullptr);
    runPreferencesDialog(state);
    EXPECT_EQ(seen.spec.title, "Einstellungen");
    state.prefs.language = 1;
    answer(-1, nullptr);
    runPreferencesDialog(state);
    EXPECT_EQ(seen.spec.title, "Preferences");
}

TEST_F(PreferencesDialog, ClosingTakesLanguageAndSnapGrid)
{
    state.prefs.dialogStartText = "/home/user/mesh";
    state.prefs.oldGlWarned = 1;
    answer(1, "0.25");
    EXPECT_TRUE(runPreferencesDialog(state));
    EXPECT_EQ(state.prefs.language, 1);
    EXPECT_EQ(state.prefs.snapGrid, 0.25f);
    EXPECT_EQ(state.prefs.oldGlWarned, 1);
    EXPECT_EQ(state.prefs.dialogStartText, "/home/user/mesh");
}

TEST_F(PreferencesDialog, SnapGridTextThatIsNoNumberGivesZero)
{
    state.prefs.snapGrid = 0.5f;
    for (const char* text : {"abc", "", "1e999", "-1e999"}) {
        answer(-1, text);
        runPreferencesDialog(state);
        EXPECT_EQ(state.prefs.snapGrid, 0.0f) << '"' << text << '"';
        state.prefs.snapGrid = 0.5f;
    }
    answer(-1, " 0.125 and more");
    runPreferencesDialog(state);
    EXPECT_EQ(state.prefs.snapGrid, 0.125f);
}

TEST_F(PreferencesDialog, LanguageOutsideTheListShowsGermanAndIsReplacedOnlyByAChoice)
{
    state.prefs.language = 7;  // from a hand-edited pref.txt
    answer(-1, nullptr);
    runPreferencesDialog(state);
    EXPECT_EQ(gadget("combo")->selection, 0);
    EXPECT_EQ(seen.spec.title, "Einstellungen");
    EXPECT_EQ(state.prefs.language, 0) << "closing takes the shown item";
    answer(-1, nullptr);
    fake.onIdle = [inner = fake.onIdle](FakeWindowLayer& f) {
        if (f.isWindowOpen(windowPreferences))
            for (auto& [id, g] : f.windows[windowPreferences].gadgets)
                if (g.kind == "combo") g.selection = -1;
        inner(f);
    };
    state.prefs.language = 2;
    runPreferencesDialog(state);
    EXPECT_EQ(state.prefs.language, 2) << "no item chosen keeps the language";
}

TEST_F(PreferencesDialog, OwnLoopKeepsTheDialogInFrontAndIgnoresOtherWindows)
{
    fake.openWindow(windowFront, WindowSpec{});
    fake.push(eventLeftDown, windowFront, mkLButton);
    fake.push(eventClose, windowMain);
    fake.push(eventCommand, windowMain, cmdQuit);
    answer(1, nullptr);
    EXPECT_TRUE(runPreferencesDialog(state));
    EXPECT_EQ(activeWhileWaiting, windowPreferences);
    EXPECT_TRUE(fake.events.empty());
    EXPECT_EQ(state.prefs.language, 1);
    EXPECT_FALSE(state.closeRequested);
}

TEST_F(PreferencesDialog, DialogGoneWithoutItsCloseBoxChangesNothing)
{
    state.prefs.language = 2;
    fake.onIdle = [](FakeWindowLayer& f) {
        for (auto& [id, g] : f.windows[windowPreferences].gadgets) g.selection = 0;
        f.closeWindow(windowPreferences);
    };
    EXPECT_FALSE(runPreferencesDialog(state));
    EXPECT_EQ(state.prefs.language, 2);
    EXPECT_EQ(fake.active, windowMain);
}
