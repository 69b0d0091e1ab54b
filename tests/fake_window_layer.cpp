// fake_window_layer.cpp: the scripted window layer.
#include "tests/fake_window_layer.h"

#include <gtest/gtest.h>

void FakeWindowLayer::attach(AppState& state)
{
    state.windows = this;
    fillUiText(state.uiText);
    WindowSpec main;
    main.style = WindowStyle::Main;
    main.width = 500;
    main.height = 425;
    openWindow(windowMain, main);
    active = windowMain;
}

FakeWindowLayer& FakeWindowLayer::push(int32_t kind, int32_t window, int32_t param)
{
    WindowEvent e;
    e.kind = kind;
    e.window = window;
    e.param = param;
    events.push_back(e);
    return *this;
}

FakeWindowLayer& FakeWindowLayer::pushControl(int32_t window, int32_t control, int32_t notification)
{
    WindowEvent e;
    e.kind = eventControl;
    e.window = window;
    e.control = control;
    e.notification = notification;
    events.push_back(e);
    return *this;
}

FakeWindowLayer& FakeWindowLayer::pushKey(int32_t window, int32_t virtualKey, int32_t modifiers)
{
    push(eventKeyDown, window, virtualKey);
    events.back().modifiers = modifiers;
    return *this;
}

bool FakeWindowLayer::openWindow(int32_t number, const WindowSpec& spec)
{
    windows[number] = Window{spec, false, {}};
    return true;
}

void FakeWindowLayer::showWindow(int32_t number)
{
    if (auto it = windows.find(number); it != windows.end()) it->second.shown = true;
}

void FakeWindowLayer::closeWindow(int32_t number)
{
    windows.erase(number);
    if (active == number) active = windowNone;
}

bool FakeWindowLayer::isWindowOpen(int32_t number) const { return windows.count(number) != 0; }

void FakeWindowLayer::activateWindow(int32_t number)
{
    if (isWindowOpen(number)) active = number;
}

int32_t FakeWindowLayer::activeWindow() const { return active; }

void FakeWindowLayer::setWindowGeometry(int32_t number, int32_t x, int32_t y, int32_t width, int32_t height)
{
    auto it = windows.find(number);
    if (it == windows.end()) return;
    it->second.spec.x = x;
    it->second.spec.y = y;
    it->second.spec.width = width;
    it->second.spec.height = height;
}

int32_t FakeWindowLayer::clientWidth(int32_t number) const
{
    auto it = windows.find(number);
    return it == windows.end() ? 0 : it->second.spec.width;
}

int32_t FakeWindowLayer::clientHeight(int32_t number) const
{
    auto it = windows.find(number);
    return it == windows.end() ? 0 : it->second.spec.height;
}

CursorPos FakeWindowLayer::cursorPos(int32_t number) const
{
    auto it = cursor.find(number);
    return it == cursor.end() ? CursorPos{} : it->second;
}

void FakeWindowLayer::setResizeHandler(std::function<void()> handler) { resizeHandler = std::move(handler); }

void FakeWindowLayer::setSessionEndHandler(std::function<bool()> handler) { sessionEndHandler = std::move(handler); }

bool FakeWindowLayer::fetchEvent(WindowEvent& event)
{
    if (events.empty() && onIdle) onIdle(*this);
    if (events.empty()) {
        // A modal loop waiting for an event the test never scripted would spin
        // forever; fail the test and close the newest window instead.
        if (++idleFetches_ > 100000 && !windows.empty()) {
            ADD_FAILURE() << "a loop waited for an event that was never scripted";
            idleFetches_ = 0;
            push(eventClose, windows.rbegin()->first);
        }
        if (events.empty()) return false;
    }
    idleFetches_ = 0;
    event = events.front();
    events.pop_front();
    if (event.kind == eventLeftDown && event.window != windowNone) active = event.window;
    return true;
}

bool FakeWindowLayer::isShiftDown() const { return shift; }

void FakeWindowLayer::sleepMs(int32_t milliseconds) { sleptMs += milliseconds; }

bool FakeWindowLayer::createGlContext(int32_t number)
{
    current = number;
    return true;
}

void FakeWindowLayer::makeCurrent(int32_t number) { current = number; }

void FakeWindowLayer::swapBuffers(int32_t number) { swaps.push_back(number); }

std::string FakeWindowLayer::glString(uint32_t name) const
{
    switch (name) {
    case 0x1F00: return glVendor;    // GL_VENDOR
    case 0x1F01: return glRenderer;  // GL_RENDERER
    case 0x1F02: return glVersion;   // GL_VERSION
    default: return {};
    }
}

void FakeWindowLayer::showMessage(std::string_view title, std::string_view text)
{
    messages.push_back({std::string(title), std::string(text)});
}

std::string FakeWindowLayer::askText(std::string_view title, std::string_view message,
                                     std::string_view defaultText)
{
    prompts.push_back({std::string(title), std::string(message), std::string(defaultText)});
    if (promptAnswers.empty()) return std::string(defaultText);
    std::string answer = promptAnswers.front();
    promptAnswers.pop_front();
    return answer;
}

int32_t FakeWindowLayer::askChoice(std::string_view title, std::string_view text,
                                   const std::vector<std::string>& buttons)
{
    std::string all(text);
    for (const std::string& b : buttons) all += "|" + b;
    choices.push_back({std::string(title), all});
    if (choiceAnswers.empty()) return static_cast<int32_t>(buttons.size()) - 1;
    const int32_t answer = choiceAnswers.front();
    choiceAnswers.pop_front();
    return answer;
}

std::string FakeWindowLayer::chooseFile(std::string_view title, std::string_view startText,
                                        std::string_view filter, int32_t filterIndex, bool save)
{
    fileDialogs.push_back({std::string(title), std::string(startText), std::string(filter), filterIndex, save});
    if (fileAnswers.empty()) return {};
    std::string answer = fileAnswers.front();
    fileAnswers.pop_front();
    return answer;
}

bool FakeWindowLayer::createMenuBar()
{
    menuBarExists = !menuBarFails;
    return menuBarExists;
}

void FakeWindowLayer::addMenu(std::string_view title) { menu.push_back({"menu", std::string(title), -1, -1}); }

void FakeWindowLayer::addMenuItem(std::string_view text, int32_t id)
{
    menu.push_back({"item", std::string(text), id, -1});
    menuEnabled[id] = true;
}

void FakeWindowLayer::addMenuSeparator() { menu.push_back({"separator", {}, -1, -1}); }

void FakeWindowLayer::setMenuItemEnabled(int32_t id, bool enabled)
{
    if (menuEnabled.count(id) != 0) menuEnabled[id] = enabled;
}

void FakeWindowLayer::setMenuItemShortcut(int32_t id, std::string_view keys)
{
    if (menuEnabled.count(id) != 0) menuShortcuts[id] = std::string(keys);
}

void FakeWindowLayer::destroyMenuBar()
{
    menu.clear();
    menuShortcuts.clear();
    menuEnabled.clear();
    menuBarExists = false;
}

bool FakeWindowLayer::createToolbar()
{
    toolbarExists = !toolbarFails;
    return toolbarExists;
}

void FakeWindowLayer::addToolbarStandardButton(int32_t standardImage, int32_t id)
{
    toolbar.push_back({"standard", {}, id, standardImage});
    toolbarEnabled[id] = true;
}

void FakeWindowLayer::addToolbarIconButton(int32_t imageSlot, int32_t id)
{
    toolbar.push_back({"icon", {}, id, imageSlot});
    toolbarEnabled[id] = true;
}

void FakeWindowLayer::addToolbarSeparator() { toolbar.push_back({"separator", {}, -1, -1}); }

void FakeWindowLayer::setToolbarTooltip(int32_t id, std::string_view text) { tooltips[id] = std::string(text); }

void FakeWindowLayer::setToolbarButtonEnabled(int32_t id, bool enabled)
{
    if (toolbarEnabled.count(id) != 0) toolbarEnabled[id] = enabled;
}

void FakeWindowLayer::destroyToolbar()
{
    toolbar.clear();
    tooltips.clear();
    toolbarEnabled.clear();
    toolbarExists = false;
}

bool FakeWindowLayer::readPlatformImage(const std::string&, RgbImage& out) const
{
    out = RgbImage{};
    return false;
}

bool FakeWindowLayer::loadImage(int32_t slot, const std::string& path)
{
    auto it = imageFiles.find(path);
    if (it == imageFiles.end()) return false;
    images[slot] = it->second;
    return true;
}

void FakeWindowLayer::setImage(int32_t slot, const RgbImage& image) { images[slot] = {image.width, image.height}; }

void FakeWindowLayer::freeImage(int32_t slot) { images.erase(slot); }

bool FakeWindowLayer::hasImage(int32_t slot) const { return images.count(slot) != 0; }

int32_t FakeWindowLayer::imageWidth(int32_t slot) const
{
    auto it = images.find(slot);
    return it == images.end() ? 0 : it->second.first;
}

int32_t FakeWindowLayer::imageHeight(int32_t slot) const
{
    auto it = images.find(slot);
    return it == images.end() ? 0 : it->second.second;
}

void FakeWindowLayer::createTextField(int32_t window, int32_t id, int32_t x, int32_t y, int32_t width,
                                      int32_t height, std::string_view text, bool digitsOnly)
{
    Gadget g;
    g.kind = "text";
    g.text = std::string(text);
    g.x = x;
    g.y = y;
    g.width = width;
    g.height = height;
    g.digitsOnly = digitsOnly;
    windows[window].gadgets[id] = g;
}

void FakeWindowLayer::createStaticText(int32_t window, int32_t id, int32_t x, int32_t y, int32_t width,
                                       int32_t height, std::string_view text)
{
    Gadget g;
    g.kind = "static";
    g.text = std::string(text);
    g.x = x;
    g.y = y;
    g.width = width;
    g.height = height;
    windows[window].gadgets[id] = g;
}

void FakeWindowLayer::createComboBox(int32_t window, int32_t id, int32_t x, int32_t y, int32_t width,
                                     int32_t height, const std::vector<std::string>& items, int32_t selected)
{
    Gadget g;
    g.kind = "combo";
    g.items = items;
    g.selection = selected;
    g.x = x;
    g.y = y;
    g.width = width;
    g.height = height;
    windows[window].gadgets[id] = g;
}

void FakeWindowLayer::createUpDown(int32_t window, int32_t buddyId, int32_t minimum, int32_t maximum)
{
    Gadget& buddy = windows[window].gadgets[buddyId];
    buddy.minimum = minimum;
    buddy.maximum = maximum;
}

std::string FakeWindowLayer::gadgetText(int32_t window, int32_t id) const
{
    auto w = windows.find(window);
    if (w == windows.end()) return {};
    auto g = w->second.gadgets.find(id);
    return g == w->second.gadgets.end() ? std::string() : g->second.text;
}

void FakeWindowLayer::setGadgetText(int32_t window, int32_t id, std::string_view text)
{
    auto w = windows.find(window);
    if (w == windows.end()) return;
    auto g = w->second.gadgets.find(id);
    if (g != w->second.gadgets.end()) g->second.text = std::string(text);
}

int32_t FakeWindowLayer::comboSelection(int32_t window, int32_t id) const
{
    auto w = windows.find(window);
    if (w == windows.end()) return 0;
    auto g = w->second.gadgets.find(id);
    return g == w->second.gadgets.end() ? 0 : g->second.selection;
}

void FakeWindowLayer::drawImage(int32_t window, int32_t slot, int32_t x, int32_t y)
{
    drawing.push_back({"image", window, x, y, 0, 0, slot});
}

void FakeWindowLayer::fillRect(int32_t window, int32_t x, int32_t y, int32_t width, int32_t height,
                               uint8_t red, uint8_t green, uint8_t blue)
{
    drawing.push_back({"rect", window, x, y, width, height, (red << 16) | (green << 8) | blue});
}

void FakeWindowLayer::drawLine(int32_t window, int32_t x0, int32_t y0, int32_t x1, int32_t y1, LineMode mode)
{
    drawing.push_back({"line", window, x0, y0, x1, y1, mode == LineMode::Invert ? 1 : 0});
}
