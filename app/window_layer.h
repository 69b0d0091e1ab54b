// window_layer.h: the one interface through which the program's logic reaches
// windows, menus, dialogs, images and input. Windows and images are addressed
// by number; input arrives as one WindowEvent at a time.
// Implemented with Qt in app/qt/ and by a scripted fake in tests/.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/engine.h"

// ---- numbers shared by logic and layer ---------------------------------------------

// Window numbers.
constexpr int32_t windowMain = 0;
constexpr int32_t windowFront = 1;
constexpr int32_t windowSide = 2;
constexpr int32_t windowTop = 3;
constexpr int32_t window3D = 4;
constexpr int32_t windowPreferences = 10;
constexpr int32_t windowTexture = 11;
constexpr int32_t windowTriangles = 12;
constexpr int32_t windowScale = 13;
constexpr int32_t windowRotate = 14;
constexpr int32_t windowPosition = 15;
constexpr int32_t windowProgress = 16;  // long work under way, with Cancel
constexpr int32_t windowMeshTool = 70;  // the window of a Mesh menu command (one at a time)
constexpr int32_t windowNone = -1;  // a window without a number

// Image slots: 10 to 25 toolbar icons (slot n holds the icon of command n),
// 100 the texture picture of the Texture window.
constexpr int32_t imageTexture = 100;

// Event kinds (the platform messages they stand for).
constexpr int32_t eventNone = 0;
constexpr int32_t eventClose = 16;       // close request
constexpr int32_t eventKeyDown = 256;    // param: virtual-key code
constexpr int32_t eventMouseMove = 512;  // param: mk* flags
constexpr int32_t eventLeftDown = 513;   // param: mk* flags
constexpr int32_t eventLeftUp = 514;     // param: mk* flags; ends a drag
constexpr int32_t eventRightDown = 516;  // param: mk* flags
constexpr int32_t eventMiddleDown = 519;  // param: mk* flags
constexpr int32_t eventMouseWheel = 522;  // param: wheel delta, wheelNotch per notch away from the user
constexpr int32_t eventDropFiles = 563;   // text: the first file dropped on the window
constexpr int32_t eventMouseLeave = 675;  // the cursor left the window
constexpr int32_t eventControl = 13100;  // control and notification of a gadget
constexpr int32_t eventCommand = 13101;  // param: command id

// Button and modifier flags of mouse events.
constexpr int32_t mkLButton = 0x0001;
constexpr int32_t mkRButton = 0x0002;
constexpr int32_t mkShift = 0x0004;
constexpr int32_t mkControl = 0x0008;
constexpr int32_t mkMButton = 0x0010;

// Virtual-key codes.
constexpr int32_t vkReturn = 0x0D;
constexpr int32_t vkShift = 0x10;
constexpr int32_t vkEscape = 0x1B;
constexpr int32_t vkLeft = 0x25;
constexpr int32_t vkUp = 0x26;
constexpr int32_t vkRight = 0x27;
constexpr int32_t vkDown = 0x28;
constexpr int32_t vkHome = 0x24;
constexpr int32_t vkDelete = 0x2E;
constexpr int32_t vkAdd = 0x6B;       // + on the keypad
constexpr int32_t vkSubtract = 0x6D;  // - on the keypad
constexpr int32_t vkOemPlus = 0xBB;   // the + key of the main block
constexpr int32_t vkOemMinus = 0xBD;  // the - key of the main block

// Notification of a control event: a text field received the keyboard focus.
constexpr int32_t notifySetFocus = 256;
// Notification of a control event: a text field's text changed, or a
// combo box's choice.
constexpr int32_t notifyChange = 0x0300;
// Notification of a control event: a button was clicked.
constexpr int32_t notifyClicked = 0;

// Standard toolbar images.
constexpr int32_t stdImageDelete = 5;
constexpr int32_t stdImageFileNew = 6;
constexpr int32_t stdImageFileOpen = 7;
constexpr int32_t stdImageFileSave = 8;
constexpr int32_t stdImageHelp = 11;

struct WindowEvent {
    int32_t kind = eventNone;
    int32_t window = windowNone;
    int32_t param = 0;
    int32_t control = 0;       // eventControl: the gadget id
    int32_t notification = 0;  // eventControl: notify* code
    int32_t modifiers = 0;     // eventKeyDown: mkShift and mkControl while the key went down
    std::string text = {};     // eventDropFiles: the file's path
};

enum class WindowStyle {
    Main,  // caption, system menu, sizing border, minimise and maximise boxes
    View,  // borderless child of the main window, positioned in its client area
    Tool,  // caption with a close box, not resizable
};

// Where a window opens. View windows use (x, y) inside the main window's client
// area; the others are centred (on the screen, or over the active window) and
// never placed past the screen's left or top edge. BesideMain puts a tool
// window next to the main window where it covers neither it nor another open
// tool window, as far as the screen has room.
enum class WindowPlacement { At, CentreOnScreen, CentreOverActive, BesideMain };

struct WindowSpec {
    WindowStyle style = WindowStyle::Tool;
    WindowPlacement placement = WindowPlacement::CentreOverActive;
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;   // client size
    int32_t height = 0;
    std::string title;
};

struct CursorPos {
    int32_t x = 0;
    int32_t y = 0;
};

// A top-level window's place: its outer top-left corner on the screen and its client size.
struct WindowRect {
    int32_t x = 0;
    int32_t y = 0;
    int32_t width = 0;
    int32_t height = 0;
};

// Invert flips the pixels under the line; Faint shows on any picture without hiding it.
enum class LineMode { Copy, Invert, Faint };

struct LineSegment {
    int32_t x0 = 0, y0 = 0, x1 = 0, y1 = 0;
};

// ---- the interface ---------------------------------------------------------------------

class WindowLayer {
public:
    virtual ~WindowLayer() = default;

    // Windows. openWindow creates window `number` hidden, replacing one already
    // open under that number; false when it cannot be made.
    virtual bool openWindow(int32_t number, const WindowSpec& spec) = 0;
    virtual void showWindow(int32_t number) = 0;
    virtual void closeWindow(int32_t number) = 0;
    virtual bool isWindowOpen(int32_t number) const = 0;
    virtual void activateWindow(int32_t number) = 0;
    // The window the user works in: the view last clicked, or the window
    // activated last; windowNone when none of the program's windows is active.
    virtual int32_t activeWindow() const = 0;
    // Moves a view to (x, y) of the main window's client area with a new client size.
    virtual void setWindowGeometry(int32_t number, int32_t x, int32_t y, int32_t width, int32_t height) = 0;
    virtual int32_t clientWidth(int32_t number) const = 0;
    virtual int32_t clientHeight(int32_t number) const = 0;
    // Where a top-level window is now (see WindowRect); zeros when it is not open.
    virtual WindowRect windowPlace(int32_t number) const = 0;
    virtual void setWindowTitle(int32_t number, std::string_view title) = 0;
    // The main window's status line, under the views: the text before a tab
    // at its left end, the rest at its right end.
    virtual void setStatusText(std::string_view text) = 0;
    // Device pixels per unit of a window's client area: 1 on an ordinary
    // screen, 2 or a fraction such as 1.5 on a high-density one or under a
    // scale factor; 1 for a window that is not open.
    virtual float pixelRatio(int32_t number) const = 0;
    // Cursor position relative to the window's top-left corner: where it was
    // at the mouse event fetched last, so a click counts where it was made;
    // where it is now when no mouse event was fetched yet.
    virtual CursorPos cursorPos(int32_t number) const = 0;
    // Called after the main window or any window changed size.
    virtual void setResizeHandler(std::function<void()> handler) = 0;
    // Called with the numbers of the views that must be drawn again (shown,
    // uncovered), also while a modal dialog, prompt or menu is open; the
    // uncoverings of one moment come in one call.
    virtual void setExposeHandler(std::function<void(const std::vector<int32_t>& numbers)> handler) = 0;
    // The largest client area a tool window can have and still fit on the screen.
    virtual CursorPos maxToolClientSize() const = 0;
    // Called when the desktop session is about to end; the handler may ask the
    // user and returns false to ask the session manager not to end it.
    virtual void setSessionEndHandler(std::function<bool()> handler) = 0;
    // Called on the main thread, between events, when the process is asked to
    // end (SIGTERM, SIGHUP); when it returns the process ends by that signal.
    virtual void setTerminationHandler(std::function<void(int32_t signal)> handler) = 0;

    // Input. fetchEvent takes at most one waiting event without blocking;
    // waitForEvent sleeps until an event waits (true), or a handler above ran
    // or timeoutMs passed (false); a negative timeout waits without limit.
    virtual bool fetchEvent(WindowEvent& event) = 0;
    virtual bool waitForEvent(int32_t timeoutMs) = 0;
    virtual bool isShiftDown() const = 0;
    virtual void sleepMs(int32_t milliseconds) = 0;

    // OpenGL: each view window has its own context. createGlContext leaves it current.
    virtual bool createGlContext(int32_t number) = 0;
    virtual void makeCurrent(int32_t number) = 0;
    virtual void swapBuffers(int32_t number) = 0;
    // Version, renderer and vendor texts of the current context.
    virtual std::string glString(uint32_t name) const = 0;

    // Modal operations; other windows are unusable until they return.
    virtual void showMessage(std::string_view title, std::string_view text) = 0;
    // The "InputRequester" prompt; the confirmed text, or empty when cancelled.
    virtual std::string askText(std::string_view title, std::string_view message,
                                std::string_view defaultText) = 0;
    // A question with buttons (the first is the default); returns the index of
    // the button chosen. Escape and the close box choose the last button.
    virtual int32_t askChoice(std::string_view title, std::string_view text,
                              const std::vector<std::string>& buttons) = 0;
    // Open (save false) or save dialog. filter is "label|pattern|label|pattern...";
    // startText's folder part opens the dialog there, the rest is the file name.
    // Returns the chosen path, or empty when cancelled.
    virtual std::string chooseFile(std::string_view title, std::string_view startText,
                                   std::string_view filter, int32_t filterIndex, bool save) = 0;

    // Menu bar of the main window.
    virtual bool createMenuBar() = 0;
    virtual void addMenu(std::string_view title) = 0;
    virtual void addMenuItem(std::string_view text, int32_t id) = 0;
    virtual void addMenuSeparator() = 0;
    virtual void setMenuItemEnabled(int32_t id, bool enabled) = 0;
    // Shows the item as a toggle that is on (checked) or off.
    virtual void setMenuItemChecked(int32_t id, bool checked) = 0;
    // Shows the item's keyboard accelerator beside its text ("Ctrl+Z").
    virtual void setMenuItemShortcut(int32_t id, std::string_view keys) = 0;
    virtual void destroyMenuBar() = 0;

    // Toolbar of the main window; a button shows a standard image or an icon slot.
    virtual bool createToolbar() = 0;
    virtual void addToolbarStandardButton(int32_t standardImage, int32_t id) = 0;
    virtual void addToolbarIconButton(int32_t imageSlot, int32_t id) = 0;
    virtual void addToolbarSeparator() = 0;
    virtual void setToolbarTooltip(int32_t id, std::string_view text) = 0;
    virtual void setToolbarButtonEnabled(int32_t id, bool enabled) = 0;
    // Shows the button pressed in (checked) or not.
    virtual void setToolbarButtonChecked(int32_t id, bool checked) = 0;
    virtual void destroyToolbar() = 0;

    // Reads a BMP or ICO file into RGB with the platform's decoders.
    virtual bool readPlatformImage(const std::string& path, RgbImage& out) const = 0;

    // Numbered images (icons and pictures); false when the file cannot be read.
    virtual bool loadImage(int32_t slot, const std::string& path) = 0;
    // Puts pixels (RGB, top row first) into a numbered image.
    virtual void setImage(int32_t slot, const RgbImage& image) = 0;
    virtual void freeImage(int32_t slot) = 0;
    virtual bool hasImage(int32_t slot) const = 0;
    virtual int32_t imageWidth(int32_t slot) const = 0;
    virtual int32_t imageHeight(int32_t slot) const = 0;

    // Gadgets inside a window, by id.
    virtual void createTextField(int32_t window, int32_t id, int32_t x, int32_t y, int32_t width,
                                 int32_t height, std::string_view text, bool digitsOnly) = 0;
    virtual void createStaticText(int32_t window, int32_t id, int32_t x, int32_t y, int32_t width,
                                  int32_t height, std::string_view text) = 0;
    virtual void createComboBox(int32_t window, int32_t id, int32_t x, int32_t y, int32_t width,
                                int32_t height, const std::vector<std::string>& items,
                                int32_t selected) = 0;
    // A push button; a click comes as a control event with notifyClicked.
    virtual void createButton(int32_t window, int32_t id, int32_t x, int32_t y, int32_t width, int32_t height,
                              std::string_view text) = 0;
    // An up-down control stepping the whole number in text field buddyId.
    virtual void createUpDown(int32_t window, int32_t buddyId, int32_t minimum, int32_t maximum) = 0;
    virtual std::string gadgetText(int32_t window, int32_t id) const = 0;
    virtual void setGadgetText(int32_t window, int32_t id, std::string_view text) = 0;
    virtual int32_t comboSelection(int32_t window, int32_t id) const = 0;

    // 2D drawing into a window's client area, shown as it is drawn.
    virtual void drawImage(int32_t window, int32_t slot, int32_t x, int32_t y) = 0;
    // The image scaled to width x height with its top-left corner at (x, y).
    virtual void drawImageScaled(int32_t window, int32_t slot, int32_t x, int32_t y, int32_t width,
                                 int32_t height) = 0;
    virtual void fillRect(int32_t window, int32_t x, int32_t y, int32_t width, int32_t height,
                          uint8_t red, uint8_t green, uint8_t blue) = 0;
    // Lines, each including both end points, drawn in the LineMode; a mesh's
    // outlines go in one call.
    virtual void drawLines(int32_t window, const std::vector<LineSegment>& lines, LineMode mode) = 0;
};

// ---- modal tool windows (app/modal_loop.cpp) -----------------------------------------

// The event loop of a modal tool window: takes one event at a time, waiting
// when there is none, and activates the window again while the latest event
// belonged to another window. True on the window's close request (the window
// is still open then, for its fields to be read); false when the window is
// gone without one. Key and control events of the window go to onEvent when
// given, which returns true to end the loop as the close request does; other
// events of other windows are dropped.
bool runWindowUntilClosed(WindowLayer& layer, int32_t number,
                          const std::function<bool(const WindowEvent&)>& onEvent = {});

// How a modal window with OK and Cancel ended: OK, Return or the close box
// apply; Cancel or Escape do not; Gone: the window went away without either.
enum class DialogEnd { Apply, Cancel, Gone };
// runWindowUntilClosed for such a window, whose buttons have the ids okId and
// cancelId: the window is still open when it returns Apply or Cancel; Return
// and Escape do not reach onKey.
DialogEnd runDialogWindow(WindowLayer& layer, int32_t number, int32_t okId, int32_t cancelId,
                          const std::function<void(const WindowEvent&)>& onKey = {});
