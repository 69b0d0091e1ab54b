// The Preferences dialog over the scripted window layer: its gadgets, its own
// event loop, and the language and snap grid taken on closing.
#include <gtest/gtest.h>

#include <tuple>

#include "app/app.h"
#include "tests/fake_window_layer.h"

namespace {

struct PreferencesDialog : ::testing::Test {
    FakeWindowLayer fake;
    AppState state;
    FakeWindowLayer::Window seen;  // the dialog as it looked while waiting
    int32_t activeWhileWaiting = windowNone;

    PreferencesDialog() { fake.attach(state); }

    // Runs the dialog: when it waits, picks a language item (-2: leaves it), types the
    // snap grid text (nullptr: leaves it) and uses the close box.
    bool run(int32_t language, const char* grid)
    {
        fake.onIdle = [this, language, grid, done = false](FakeWindowLayer& f) mutable {
            if (done || !f.isWindowOpen(windowPreferences)) return;
            done = true;
            seen = f.windows[windowPreferences], activeWhileWaiting = f.active;
            for (auto& [id, g] : f.windows[windowPreferences].gadgets) {
                if (g.kind == "combo" && language != -2) g.selection = language;
                if (g.kind == "text" && grid != nullptr) g.text = grid;
            }
            f.push(eventClose, windowPreferences);
        };
        return runPreferencesDialog(state);
    }

    std::tuple<std::string, int32_t, int32_t, int32_t, int32_t, int32_t> gadget(const std::string& kind) const
    {
        for (const auto& [id, g] : seen.gadgets)
            if (g.kind == kind) return {g.text, g.selection, g.x, g.y, g.width, g.height};
        return {};
    }
};

}  // namespace

TEST_F(PreferencesDialog, ShowsLanguagesAndSnapGridTakesThemOnClosingAndKeepsInFront)
{
    const std::tuple<int32_t, const char*, int32_t> titles[] = {{2, "Références", 2}, {0, "Einstellungen", 0}, {1, "Preferences", 1}, {7, "Einstellungen", 0}};
    for (const auto& [language, title, shown] : titles) {
        state.prefs = {language, 0.5f, 1, "/home/user/mesh"};
        EXPECT_TRUE(run(-2, nullptr));
        EXPECT_EQ(seen.spec.title, title);
        EXPECT_EQ(std::get<1>(gadget("combo")), shown);  // a language outside the list shows as German
        EXPECT_EQ(state.prefs.language, shown) << "closing takes the shown item";
    }
    EXPECT_EQ(std::tie(seen.spec.width, seen.spec.height, seen.spec.style, seen.spec.placement),
              std::make_tuple(200, 80, WindowStyle::Tool, WindowPlacement::CentreOverActive));
    EXPECT_TRUE(seen.shown);
    EXPECT_EQ(activeWhileWaiting, windowPreferences);
    ASSERT_EQ(seen.gadgets.size(), 4u);
    const std::vector<std::string> languages{"German", "English", "French"};
    for (const auto& [id, g] : seen.gadgets)
        EXPECT_EQ(g.items, g.kind == "combo" ? languages : std::vector<std::string>{});
    EXPECT_EQ(gadget("combo"), std::make_tuple("", 0, 0, 0, 200, 80));
    EXPECT_EQ(gadget("static"), std::make_tuple("Snap-Grid:", std::get<1>(gadget("static")), 0, 30, 100, 20));
    EXPECT_EQ(gadget("text"), std::make_tuple("0.500000", std::get<1>(gadget("text")), 100, 30, 100, 20));
    EXPECT_EQ(std::get<0>(gadget("button")), "Schließen");
    EXPECT_FALSE(fake.isWindowOpen(windowPreferences));
    EXPECT_EQ(fake.active, windowMain);

    EXPECT_TRUE(run(1, "0.25"));
    EXPECT_EQ(std::tie(state.prefs.language, state.prefs.snapGrid, state.prefs.oldGlWarned, state.prefs.dialogStartText),
              std::make_tuple(1, 0.25f, 1, "/home/user/mesh"));
    run(-1, " 0.125 and more");  // no item chosen keeps the language
    EXPECT_EQ(std::pair(state.prefs.language, state.prefs.snapGrid), std::pair(1, 0.125f));
    for (const char* text : {"abc", "", "1e999", "-1e999"}) {  // no number, or none a float holds: 0
        state.prefs.snapGrid = 0.5f;
        run(-2, text);
        EXPECT_EQ(state.prefs.snapGrid, 0.0f) << '"' << text << '"';
    }
    // Its own loop keeps it in front; a window gone unclosed changes nothing.
    fake.openWindow(windowFront, WindowSpec{});
    fake.push(eventLeftDown, windowFront, mkLButton).push(eventClose, windowMain).push(eventCommand, windowMain, cmdQuit);
    EXPECT_TRUE(run(1, nullptr));
    EXPECT_EQ(activeWhileWaiting, windowPreferences);
    EXPECT_EQ(std::tuple(fake.events.size(), state.prefs.language, state.closeRequested), std::tuple(0u, 1, false));

    state.prefs.language = 2;
    fake.onIdle = [](FakeWindowLayer& f) {
        for (auto& [id, g] : f.windows[windowPreferences].gadgets) g.selection = 0;
        f.closeWindow(windowPreferences);
    };
    EXPECT_FALSE(runPreferencesDialog(state));
    EXPECT_EQ(std::pair(state.prefs.language, fake.active), std::pair(2, windowMain));
}

TEST_F(PreferencesDialog, APickedLanguageIsAppliedAtOnceAndCloseEndsTheDialog)
{
    constexpr int32_t list = 1, closeButton = 4;
    buildMenuAndToolbar(state);
    std::string menuWhileOpen;
    fake.onIdle = [&, step = 0](FakeWindowLayer& f) mutable {
        if (step++ == 0) {  // English picked; a click elsewhere with the button's id does nothing
            f.windows[windowPreferences].gadgets[list].selection = 1;
            f.pushControl(windowPreferences, list, notifyChange).pushControl(windowTriangles, closeButton, notifyClicked);
        } else if (step == 2) {
            seen = f.windows[windowPreferences], menuWhileOpen = f.menu[0].text;
            f.pushControl(windowPreferences, closeButton, notifyClicked);
        }
    };
    EXPECT_TRUE(runPreferencesDialog(state));
    EXPECT_EQ(menuWhileOpen, "File");
    EXPECT_EQ(fake.tooltips[cmdDeleteVertex], "delete vertex");
    EXPECT_EQ(seen.spec.title, "Preferences");
    EXPECT_EQ(std::get<0>(gadget("button")), "Close");
    EXPECT_FALSE(fake.isWindowOpen(windowPreferences));
}
