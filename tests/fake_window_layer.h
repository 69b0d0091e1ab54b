// fake_window_layer.h: a scripted window layer for tests. It feeds queued
// events, answers prompts and dialogs from queues, reports the cursor and
// Shift as set by the test, and records everything the logic asks of it.
#pragma once

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/window_layer.h"

class FakeWindowLayer : public WindowLayer {
public:
    struct Gadget {
        std::string kind;  // "text", "static", "combo", "updown"
        std::string text;
        std::vector<std::string> items;
        int32_t selection = 0;
        int32_t x = 0, y = 0, width = 0, height = 0;
        int32_t minimum = 0, maximum = 0;
        bool digitsOnly = false;
    };
    struct Window {
        WindowSpec spec;
        bool shown = false;
        std::map<int32_t, Gadget> gadgets;
    };
    struct Message {
        std::string title, text;
    };
    struct Prompt {
        std::string title, message, defaultText;
    };
    struct FileDialog {
        std::string title, startText, filter;
        int32_t filterIndex = 0;
        bool save = false;
    };
    struct BarEntry {
        std::string kind;  // menu: "menu", "item", "separator"; toolbar: "standard", "icon", "separator"
        std::string text;  // menu and item texts
        int32_t id = -1;   // command id
        int32_t image = -1;  // standard image or icon slot
    };
    struct DrawOp {
        std::string kind;  // "image", "rect", "line"
        int32_t window = 0;
        int32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;  // rect: x, y, width, height
        int32_t value = 0;  // image: slot; rect: 0xRRGGBB; line: 0 copy, 1 invert
    };

    // ---- script ----
    std::deque<WindowEvent> events;
    std::deque<std::string> promptAnswers;  // an empty answer stands for cancel
    std::deque<std::string> fileAnswers;    // an empty answer stands for cancel
    std::deque<int32_t> choiceAnswers;      // none left: the last button (Escape)
    std::map<int32_t, CursorPos> cursor;
    std::map<std::string, std::pair<int32_t, int32_t>> imageFiles;  // readable files and their sizes
    bool shift = false;
    int32_t active = windowNone;
    bool menuBarFails = false;
    bool toolbarFails = false;
    std::string glVersion = "4.5 (Compatibility Profile) Mesa";
    std::string glRenderer = "llvmpipe";
    std::string glVendor = "Mesa";
    // Called when a fetch finds the queue empty, so a test can react to a modal loop.
    std::function<void(FakeWindowLayer&)> onIdle;

    // ---- record ----
    std::map<int32_t, Window> windows;
    std::vector<Message> messages;
    std::vector<Prompt> prompts;
    std::vector<FileDialog> fileDialogs;
    std::vector<Message> choices;  // questions asked with askChoice
    std::map<int32_t, std::string> menuShortcuts;
    std::function<bool()> sessionEndHandler;
    std::vector<BarEntry> menu;
    std::vector<BarEntry> toolbar;
    std::map<int32_t, std::string> tooltips;
    std::map<int32_t, bool> menuEnabled;
    std::map<int32_t, bool> toolbarEnabled;
    std::map<int32_t, std::pair<int32_t, int32_t>> images;  // slot -> size
    std::vector<DrawOp> drawing;
    std::vector<int32_t> swaps;  // windows whose buffers were swapped, in order
    int32_t current = windowNone;  // window whose GL context is current
    int32_t sleptMs = 0;
    bool menuBarExists = false;
    bool toolbarExists = false;
    std::function<void()> resizeHandler;

    // Makes this the state's window layer with the texts filled and the main
    // window open (500 x 425) and active, as after start-up.
    void attach(AppState& state);

    // Queues an event; returns *this to chain.
    FakeWindowLayer& push(int32_t kind, int32_t window, int32_t param = 0);
    FakeWindowLayer& pushControl(int32_t window, int32_t control, int32_t notification);
    FakeWindowLayer& pushKey(int32_t window, int32_t virtualKey, int32_t modifiers = 0);

    // ---- WindowLayer ----
    bool openWindow(int32_t number, const WindowSpec& spec) override;
    void showWindow(int32_t number) override;
    void closeWindow(int32_t number) override;
    bool isWindowOpen(int32_t number) const override;
    void activateWindow(int32_t number) override;
    int32_t activeWindow() const override;
    void setWindowGeometry(int32_t number, int32_t x, int32_t y, int32_t width, int32_t height) override;
    int32_t clientWidth(int32_t number) const override;
    int32_t clientHeight(int32_t number) const override;
    CursorPos cursorPos(int32_t number) const override;
    void setResizeHandler(std::function<void()> handler) override;
    void setSessionEndHandler(std::function<bool()> handler) override;
    bool fetchEvent(WindowEvent& event) override;
    bool isShiftDown() const override;
    void sleepMs(int32_t milliseconds) override;
    bool createGlContext(int32_t number) override;
    void makeCurrent(int32_t number) override;
    void swapBuffers(int32_t number) override;
    std::string glString(uint32_t name) const override;
    void showMessage(std::string_view title, std::string_view text) override;
    std::string askText(std::string_view title, std::string_view message,
                        std::string_view defaultText) override;
    int32_t askChoice(std::string_view title, std::string_view text,
                      const std::vector<std::string>& buttons) override;
    std::string chooseFile(std::string_view title, std::string_view startText,
                           std::string_view filter, int32_t filterIndex, bool save) override;
    bool createMenuBar() override;
    void addMenu(std::string_view title) override;
    void addMenuItem(std::string_view text, int32_t id) override;
    void addMenuSeparator() override;
    void setMenuItemEnabled(int32_t id, bool enabled) override;
    void setMenuItemShortcut(int32_t id, std::string_view keys) override;
    void destroyMenuBar() override;
    bool createToolbar() override;
    void addToolbarStandardButton(int32_t standardImage, int32_t id) override;
    void addToolbarIconButton(int32_t imageSlot, int32_t id) override;
    void addToolbarSeparator() override;
    void setToolbarTooltip(int32_t id, std::string_view text) override;
    void setToolbarButtonEnabled(int32_t id, bool enabled) override;
    void destroyToolbar() override;
    bool readPlatformImage(const std::string& path, RgbImage& out) const override;
    bool loadImage(int32_t slot, const std::string& path) override;
    void setImage(int32_t slot, const RgbImage& image) override;
    void freeImage(int32_t slot) override;
    bool hasImage(int32_t slot) const override;
    int32_t imageWidth(int32_t slot) const override;
    int32_t imageHeight(int32_t slot) const override;
    void createTextField(int32_t window, int32_t id, int32_t x, int32_t y, int32_t width,
                         int32_t height, std::string_view text, bool digitsOnly) override;
    void createStaticText(int32_t window, int32_t id, int32_t x, int32_t y, int32_t width,
                          int32_t height, std::string_view text) override;
    void createComboBox(int32_t window, int32_t id, int32_t x, int32_t y, int32_t width,
                        int32_t height, const std::vector<std::string>& items,
                        int32_t selected) override;
    void createUpDown(int32_t window, int32_t buddyId, int32_t minimum, int32_t maximum) override;
    std::string gadgetText(int32_t window, int32_t id) const override;
    void setGadgetText(int32_t window, int32_t id, std::string_view text) override;
    int32_t comboSelection(int32_t window, int32_t id) const override;
    void drawImage(int32_t window, int32_t slot, int32_t x, int32_t y) override;
    void fillRect(int32_t window, int32_t x, int32_t y, int32_t width, int32_t height,
                  uint8_t red, uint8_t green, uint8_t blue) override;
    void drawLine(int32_t window, int32_t x0, int32_t y0, int32_t x1, int32_t y1,
                  LineMode mode) override;

private:
    int32_t idleFetches_ = 0;
};
