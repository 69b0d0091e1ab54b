// qt_window_layer.h: the window layer on Qt 6 Widgets and QOpenGLContext.
// Windows are numbered; Qt input is turned into WindowEvents in a FIFO by one
// application-wide event filter; views are QWindows with their own contexts.
#pragma once

#include <QImage>
#include <QObject>
#include <QPoint>
#include <QPointF>
#include <QPointer>
#include <QString>

#include <deque>
#include <map>
#include <memory>
#include <optional>

#include "app/window_layer.h"

class Canvas;
class QAction;
class QLabel;
class QLineEdit;
class QMainWindow;
class QMenu;
class QMenuBar;
class QOpenGLContext;
class QToolBar;
class QWidget;
class QWindow;

// Holds SIGTERM and SIGHUP back in this thread and every thread started after,
// for setTerminationHandler to take them as events: the first call of main.
void holdTerminationSignals();

class QtWindowLayer : public QObject, public WindowLayer {
public:
    QtWindowLayer();
    ~QtWindowLayer() override;
    QtWindowLayer(const QtWindowLayer&) = delete;
    QtWindowLayer& operator=(const QtWindowLayer&) = delete;

    bool openWindow(int32_t number, const WindowSpec& spec) override;
    void showWindow(int32_t number) override;
    void closeWindow(int32_t number) override;
    bool isWindowOpen(int32_t number) const override;
    void activateWindow(int32_t number) override;
    int32_t activeWindow() const override;
    void setWindowGeometry(int32_t number, int32_t x, int32_t y, int32_t width, int32_t height) override;
    int32_t clientWidth(int32_t number) const override;
    int32_t clientHeight(int32_t number) const override;
    WindowRect windowPlace(int32_t number) const override;
    void setWindowTitle(int32_t number, std::string_view title) override;
    void setStatusText(std::string_view text) override;
    float pixelRatio(int32_t number) const override;
    CursorPos cursorPos(int32_t number) const override;
    void setResizeHandler(std::function<void()> handler) override;
    void setExposeHandler(std::function<void(const std::vector<int32_t>& numbers)> handler) override;
    CursorPos maxToolClientSize() const override;
    void setSessionEndHandler(std::function<bool()> handler) override;
    void setTerminationHandler(std::function<void(int32_t signal)> handler) override;
    bool fetchEvent(WindowEvent& event) override;
    bool waitForEvent(int32_t timeoutMs) override;
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
    void setMenuItemChecked(int32_t id, bool checked) override;
    void setMenuItemShortcut(int32_t id, std::string_view keys) override;
    void destroyMenuBar() override;
    bool createToolbar() override;
    void addToolbarStandardButton(int32_t standardImage, int32_t id) override;
    void addToolbarIconButton(int32_t imageSlot, int32_t id) override;
    void addToolbarSeparator() override;
    void setToolbarTooltip(int32_t id, std::string_view text) override;
    void setToolbarButtonEnabled(int32_t id, bool enabled) override;
    void setToolbarButtonChecked(int32_t id, bool checked) override;
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
    void createButton(int32_t window, int32_t id, int32_t x, int32_t y, int32_t width, int32_t height,
                      std::string_view text) override;
    void createComboBox(int32_t window, int32_t id, int32_t x, int32_t y, int32_t width,
                        int32_t height, const std::vector<std::string>& items,
                        int32_t selected) override;
    void createUpDown(int32_t window, int32_t buddyId, int32_t minimum, int32_t maximum) override;
    std::string gadgetText(int32_t window, int32_t id) const override;
    void setGadgetText(int32_t window, int32_t id, std::string_view text) override;
    int32_t comboSelection(int32_t window, int32_t id) const override;
    void drawImage(int32_t window, int32_t slot, int32_t x, int32_t y) override;
    void drawImageScaled(int32_t window, int32_t slot, int32_t x, int32_t y, int32_t width,
                         int32_t height) override;
    void fillRect(int32_t window, int32_t x, int32_t y, int32_t width, int32_t height,
                  uint8_t red, uint8_t green, uint8_t blue) override;
    void drawLines(int32_t window, const std::vector<LineSegment>& lines, LineMode mode) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    // One numbered window. Top-level windows are owned here; a view's
    // container is a child of the main window's client widget.
    struct Window {
        WindowSpec spec;
        std::unique_ptr<QWidget> topLevel;   // main and tool windows
        QPointer<QWidget> client;            // where gadgets, views and drawings live
        QPointer<QWidget> container;         // views: the widget embedding the GL window
        QPointer<QWindow> glWindow;          // views
        std::unique_ptr<QOpenGLContext> context;
        std::map<int32_t, QPointer<QWidget>> gadgets;
    };

    Window* find(int32_t number);
    const Window* find(int32_t number) const;
    QWidget* outerWidget(const Window& w) const;
    // The number of a top-level window's or a view's QWindow; windowNone for others.
    int32_t numberOfWindow(const QWindow* window) const;
    // The id of a gadget of window `number`; -1 when the object is none of them.
    int32_t gadgetId(int32_t number, const QObject* object) const;
    // Where a mouse event happened: a point of a top-level widget. Events
    // carry no screen positions, which Wayland does not give a program.
    struct EventPlace {
        QPointer<QWidget> topLevel;
        QPointF at;
    };
    // The place of a point of window `number`'s own QWindow.
    std::optional<EventPlace> placeIn(int32_t number, QPointF local) const;
    // Queues an event; mouse events carry the cursor's place at the event.
    void push(int32_t kind, int32_t window, int32_t param, std::optional<EventPlace> cursor = std::nullopt);
    // Runs a program callback; the context current before stays current after it.
    void callBack(const std::function<void()>& callback);
    // Gives the views shown inside a window that has just been uncovered the
    // expose their own platform windows are owed: on Wayland a view is a
    // subsurface of the main window, and Qt tells only the main window when
    // the compositor first shows it, so the views would wait for ever.
    void exposeViewsIn(const QWindow* window);
    // Hands the views uncovered since the last call to the program, once Qt's
    // waiting events are handled, so a burst of uncoverings is drawn once.
    void reportExposed();
    void pushControl(int32_t window, int32_t control, int32_t notification);
    // Drags and drops of files on the main window and the views; true when
    // the event was one and is handled.
    bool dropEvent(int32_t number, QEvent* event);
    QWidget* gadget(int32_t window, int32_t id) const;
    // Steps the whole number of a text field that has an up-down control.
    void stepUpDown(int32_t window, int32_t id, int delta);
    void placeGadget(int32_t window, int32_t id, QWidget* widget, int32_t x, int32_t y,
                     int32_t width, int32_t height);
    Canvas* canvasOf(int32_t window) const;
    void layoutToolbarStrip();
    // Tight buttons, so all 22 fit the 500-pixel window as on the platform toolbar.
    void fitToolbarButton(QAction* action);
    // Disables the visible, enabled top-level windows for a modal operation;
    // the returned list is what enableAgain turns on afterwards.
    std::vector<QPointer<QWidget>> disableWindows();
    static void enableAgain(const std::vector<QPointer<QWidget>>& disabled);
    QWidget* dialogOwner() const;
    // Top-left corner for a tool window of client size `size` beside the main
    // window, clear of it and of the other open tool windows where the screen has room.
    QPoint placeBesideMain(int32_t number, QSize size) const;

    std::map<int32_t, Window> windows_;
    struct QueuedEvent {
        WindowEvent event;
        std::optional<EventPlace> cursor;
    };
    std::deque<QueuedEvent> events_;
    // Cursor of the mouse event fetched last; cursorPos answers with it until
    // a fetch finds nothing waiting, then with the cursor as it is now.
    std::optional<EventPlace> eventCursor_;
    // The view clicked last, until a click elsewhere: it takes the keys that
    // reach the main window, as Wayland gives the keyboard to the main
    // window and not to the views inside it.
    int32_t keyboardView_ = windowNone;
    std::map<int32_t, QImage> images_;
    std::function<void()> resizeHandler_;
    std::function<bool()> sessionEndHandler_;
    int terminationSignals_ = -1;  // a signalfd of SIGTERM and SIGHUP
    bool inResizeHandler_ = false;
    std::function<void(const std::vector<int32_t>&)> exposeHandler_;
    std::vector<int32_t> exposed_;  // views uncovered since the last call of exposeHandler_
    bool handlerRan_ = false;  // ends a waitForEvent
    int32_t active_ = windowNone;
    QPointer<QLabel> statusLine_;   // the status line's left part
    QPointer<QLabel> statusRight_;  // ... and its right part
    QPointer<QMenuBar> menuBar_;
    QPointer<QMenu> currentMenu_;
    std::map<int32_t, QPointer<QAction>> menuActions_;
    QPointer<QWidget> toolbarStrip_;
    QPointer<QToolBar> toolbar_;
    std::map<int32_t, QPointer<QAction>> toolbarActions_;
};
