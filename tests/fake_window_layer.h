// fake_window_layer.h: a scripted window layer for tests. It feeds queued
// events, answers prompts and dialogs from queues, reports the cursor and
// Shift as set by the test, and records everything the logic asks of it.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "app/app.h"
#include "app/window_layer.h"

class FakeWindowLayer : public WindowLayer {
    using SV = std::string_view;
    using S = std::string;

public:
    struct Gadget {  // kind: "text", "static", "button" or "combo"
        S kind, text;
        std::vector<S> items;
        int32_t selection = 0, x = 0, y = 0, width = 0, height = 0, minimum = 0, maximum = 0;
    };
    struct Window { WindowSpec spec; bool shown = false; std::map<int32_t, Gadget> gadgets; };
    struct Message { S title, text; };
    struct Prompt { S title, message, defaultText; };
    struct FileDialog { S title, startText, filter; int32_t filterIndex = 0; bool save = false; };
    // kind: menu "menu", "item", "separator"; toolbar "standard", "icon", "separator". image: standard image or slot.
    struct BarEntry { S kind, text; int32_t id = -1, image = -1; };
    // kind: "image", "rect", "line"; x1, y1 are width and height for a rect or scaled image;
    // value: the image's slot, the rect's 0xRRGGBB, the line's LineMode (0 copy, 1 invert, 2 faint).
    struct DrawOp { S kind; int32_t window = 0, x0 = 0, y0 = 0, x1 = 0, y1 = 0, value = 0; };

    std::deque<WindowEvent> events;
    std::deque<S> promptAnswers;         // none left: the default text
    std::deque<S> fileAnswers;           // an empty answer stands for cancel
    std::deque<int32_t> choiceAnswers;   // none left: the last button (Escape)
    std::map<int32_t, CursorPos> cursor;
    std::map<S, std::pair<int32_t, int32_t>> imageFiles;  // readable files and their sizes
    bool shift = false;
    int32_t active = windowNone;
    bool menuBarFails = false, toolbarFails = false;
    S glVersion = "4.5 (Compatibility Profile) Mesa", glRenderer = "llvmpipe", glVendor = "Mesa";
    // Called when a fetch finds the queue empty, so a test can react to a modal loop.
    std::function<void(FakeWindowLayer&)> onIdle;

    std::map<int32_t, Window> windows;
    std::vector<Message> messages;
    std::vector<Prompt> prompts;
    std::vector<FileDialog> fileDialogs;
    std::vector<Message> choices;  // text: the question, then "|" and each button
    std::vector<BarEntry> menu, toolbar;
    std::map<int32_t, S> tooltips;
    std::map<int32_t, bool> menuEnabled, toolbarEnabled, menuChecked, toolbarChecked;
    std::string statusText;
    std::map<int32_t, std::pair<int32_t, int32_t>> images;  // slot -> size
    std::vector<DrawOp> drawing;
    std::vector<int32_t> swaps;    // windows whose buffers were swapped, in order
    int32_t waits = 0, lastWaitTimeout = 0;
    std::function<bool()> sessionEndHandler;
    std::function<void(int32_t)> terminationHandler;
    std::function<void()> resizeHandler;
    std::function<void(const std::vector<int32_t>&)> exposeHandler;

    // Makes this the state's window layer with the texts filled and the main
    // window open (500 x 425) and active, as after start-up.
    void attach(AppState& state)
    {
        state.windows = this;
        fillUiText(state.uiText);
        windows[active = windowMain].spec = {WindowStyle::Main, WindowPlacement::CentreOverActive, 0, 0, 500, 425, {}};
    }
    // Queue an event; each returns *this to chain.
    FakeWindowLayer& push(int32_t kind, int32_t win, int32_t param = 0, int32_t control = 0, int32_t note = 0, int32_t mods = 0)
    {
        return events.push_back({kind, win, param, control, note, mods}), *this;
    }
    FakeWindowLayer& pushControl(int32_t win, int32_t control, int32_t note) { return push(eventControl, win, 0, control, note); }
    FakeWindowLayer& pushKey(int32_t win, int32_t key, int32_t mods = 0) { return push(eventKeyDown, win, key, 0, 0, mods); }
    FakeWindowLayer& pushDrop(int32_t win, const S& path) { return push(eventDropFiles, win), events.back().text = path, *this; }

    bool openWindow(int32_t n, const WindowSpec& spec) override { return windows[n] = Window{spec, false, {}}, true; }
    void showWindow(int32_t n) override { if (isWindowOpen(n)) windows[n].shown = true; }
    void closeWindow(int32_t n) override { windows.erase(n), active = active == n ? windowNone : active; }
    bool isWindowOpen(int32_t n) const override { return windows.count(n) != 0; }
    void activateWindow(int32_t n) override { if (isWindowOpen(n)) active = n; }
    int32_t activeWindow() const override { return active; }
    void setWindowGeometry(int32_t n, int32_t x, int32_t y, int32_t w, int32_t h) override
    {
        if (WindowSpec* s = isWindowOpen(n) ? &windows[n].spec : nullptr) s->x = x, s->y = y, s->width = w, s->height = h;
    }
    int32_t clientWidth(int32_t n) const override { return isWindowOpen(n) ? windows.at(n).spec.width : 0; }
    int32_t clientHeight(int32_t n) const override { return isWindowOpen(n) ? windows.at(n).spec.height : 0; }
    WindowRect windowPlace(int32_t n) const override
    { const WindowSpec* s = isWindowOpen(n) ? &windows.at(n).spec : nullptr; return s ? WindowRect{s->x, s->y, s->width, s->height} : WindowRect{}; }
    void setWindowTitle(int32_t n, SV title) override { if (isWindowOpen(n)) windows[n].spec.title = S(title); }
    void setStatusText(SV text) override { statusText = S(text); }
    float pixelRatio(int32_t) const override { return 1.0f; }
    CursorPos cursorPos(int32_t n) const override { return cursor.count(n) ? cursor.at(n) : CursorPos{}; }
    void setResizeHandler(std::function<void()> h) override { resizeHandler = std::move(h); }
    void setExposeHandler(std::function<void(const std::vector<int32_t>&)> h) override { exposeHandler = std::move(h); }
    CursorPos maxToolClientSize() const override { return {4096, 4096}; }
    void setSessionEndHandler(std::function<bool()> h) override { sessionEndHandler = std::move(h); }
    void setTerminationHandler(std::function<void(int32_t)> h) override { terminationHandler = std::move(h); }
    bool fetchEvent(WindowEvent& event) override
    {
        if (events.empty() && onIdle) onIdle(*this);
        // A modal loop waiting for an event the test never scripted would spin
        // forever; fail the test and close the newest window instead.
        if (events.empty() && ++idleFetches_ > 100000 && !windows.empty()) {
            ADD_FAILURE() << "a loop waited for an event that was never scripted";
            push(eventClose, windows.rbegin()->first);
        }
        if (events.empty()) return false;
        event = take(events, WindowEvent{});
        if (idleFetches_ = 0; event.kind == eventLeftDown && event.window != windowNone) active = event.window;
        return true;
    }
    bool waitForEvent(int32_t timeout) override
    { if (++waits, lastWaitTimeout = timeout; events.empty() && onIdle) onIdle(*this); return !events.empty(); }
    bool isShiftDown() const override { return shift; }
    void sleepMs(int32_t) override {}
    bool createGlContext(int32_t) override { return true; }
    void makeCurrent(int32_t) override {}
    void swapBuffers(int32_t n) override { swaps.push_back(n); }
    S glString(uint32_t name) const override { return name == 0x1F00 ? glVendor : name == 0x1F01 ? glRenderer : glVersion; }
    void showMessage(SV title, SV text) override { messages.push_back({S(title), S(text)}); }
    S askText(SV title, SV message, SV defaultText) override
    {
        prompts.push_back({S(title), S(message), S(defaultText)});
        return take(promptAnswers, S(defaultText));
    }
    int32_t askChoice(SV title, SV text, const std::vector<S>& buttons) override
    {
        S all(text);
        for (const S& b : buttons) all += "|" + b;
        choices.push_back({S(title), all});
        return take(choiceAnswers, static_cast<int32_t>(buttons.size()) - 1);
    }
    S chooseFile(SV title, SV startText, SV filter, int32_t filterIndex, bool save) override
    {
        fileDialogs.push_back({S(title), S(startText), S(filter), filterIndex, save});
        return take(fileAnswers, S());
    }
    bool createMenuBar() override { return !menuBarFails; }
    void addMenu(SV title) override { menu.push_back({"menu", S(title), -1, -1}); }
    void addMenuItem(SV text, int32_t id) override { menu.push_back({"item", S(text), id, -1}), menuEnabled[id] = true; }
    void addMenuSeparator() override { menu.push_back({"separator", {}, -1, -1}); }
    void setMenuItemEnabled(int32_t id, bool on) override { if (menuEnabled.count(id)) menuEnabled[id] = on; }
    void setMenuItemShortcut(int32_t, SV) override {}
    void setMenuItemChecked(int32_t id, bool on) override { if (menuEnabled.count(id)) menuChecked[id] = on; }
    void destroyMenuBar() override { menu.clear(), menuEnabled.clear(), menuChecked.clear(); }
    bool createToolbar() override { return !toolbarFails; }
    void addToolbarStandardButton(int32_t image, int32_t id) override { addButton("standard", image, id); }
    void addToolbarIconButton(int32_t slot, int32_t id) override { addButton("icon", slot, id); }
    void addToolbarSeparator() override { toolbar.push_back({"separator", {}, -1, -1}); }
    void setToolbarTooltip(int32_t id, SV text) override { tooltips[id] = S(text); }
    void setToolbarButtonEnabled(int32_t id, bool on) override { if (toolbarEnabled.count(id)) toolbarEnabled[id] = on; }
    void setToolbarButtonChecked(int32_t id, bool on) override { if (toolbarEnabled.count(id)) toolbarChecked[id] = on; }
    void destroyToolbar() override { toolbar.clear(), tooltips.clear(), toolbarEnabled.clear(), toolbarChecked.clear(); }
    bool readPlatformImage(const S&, RgbImage& out) const override { return out = RgbImage{}, false; }
    bool loadImage(int32_t slot, const S& file) override { return imageFiles.count(file) && (images[slot] = imageFiles[file], 1); }
    void setImage(int32_t slot, const RgbImage& image) override { images[slot] = {image.width, image.height}; }
    void freeImage(int32_t slot) override { images.erase(slot); }
    bool hasImage(int32_t slot) const override { return images.count(slot) != 0; }
    int32_t imageWidth(int32_t slot) const override { return hasImage(slot) ? images.at(slot).first : 0; }
    int32_t imageHeight(int32_t slot) const override { return hasImage(slot) ? images.at(slot).second : 0; }
    void createTextField(int32_t win, int32_t id, int32_t x, int32_t y, int32_t w, int32_t h, SV t, bool) override
    { windows[win].gadgets[id] = Gadget{"text", S(t), {}, 0, x, y, w, h}; }
    void createStaticText(int32_t win, int32_t id, int32_t x, int32_t y, int32_t w, int32_t h, SV t) override
    { windows[win].gadgets[id] = Gadget{"static", S(t), {}, 0, x, y, w, h}; }
    void createButton(int32_t win, int32_t id, int32_t x, int32_t y, int32_t w, int32_t h, SV t) override
    { windows[win].gadgets[id] = Gadget{"button", S(t), {}, 0, x, y, w, h}; }
    void createComboBox(int32_t win, int32_t id, int32_t x, int32_t y, int32_t w, int32_t h, const std::vector<S>& items,
                        int32_t selected) override { windows[win].gadgets[id] = Gadget{"combo", {}, items, selected, x, y, w, h}; }
    void createUpDown(int32_t win, int32_t buddy, int32_t low, int32_t high) override
    { std::tie(windows[win].gadgets[buddy].minimum, windows[win].gadgets[buddy].maximum) = std::pair(low, high); }
    S gadgetText(int32_t win, int32_t id) const override { return gadget(win, id) ? gadget(win, id)->text : S(); }
    void setGadgetText(int32_t win, int32_t id, SV t) override { if (gadget(win, id)) windows[win].gadgets[id].text = S(t); }
    int32_t comboSelection(int32_t win, int32_t id) const override { return gadget(win, id) ? gadget(win, id)->selection : 0; }
    void drawImage(int32_t win, int32_t slot, int32_t x, int32_t y) override { drawImageScaled(win, slot, x, y, 0, 0); }
    void drawImageScaled(int32_t win, int32_t slot, int32_t x, int32_t y, int32_t w, int32_t h) override { drawing.push_back({"image", win, x, y, w, h, slot}); }
    void fillRect(int32_t win, int32_t x, int32_t y, int32_t w, int32_t h, uint8_t r, uint8_t g, uint8_t b) override
    { drawing.push_back({"rect", win, x, y, w, h, (r << 16) | (g << 8) | b}); }
    void drawLines(int32_t win, const std::vector<LineSegment>& lines, LineMode mode) override
    {
        for (const LineSegment& l : lines) drawing.push_back({"line", win, l.x0, l.y0, l.x1, l.y1, static_cast<int32_t>(mode)});
    }

private:
    int32_t idleFetches_ = 0;

    template <typename T> static T take(std::deque<T>& queue, T otherwise)
    { return queue.empty() ? otherwise : (otherwise = queue.front(), queue.pop_front(), otherwise); }
    void addButton(const char* kind, int32_t image, int32_t id) { toolbar.push_back({kind, {}, id, image}), toolbarEnabled[id] = true; }
    const Gadget* gadget(int32_t win, int32_t id) const
    { return isWindowOpen(win) && windows.at(win).gadgets.count(id) ? &windows.at(win).gadgets.at(id) : nullptr; }
};
