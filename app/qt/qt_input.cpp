// qt_input.cpp: the window layer's input: one application-wide event filter
// turns Qt's key, mouse, wheel, close and gadget events into WindowEvents in a
// FIFO, which fetchEvent and waitForEvent hand to the program one at a time.
#include "app/qt/qt_support.h"

#include <signal.h>
#include <sys/signalfd.h>
#include <unistd.h>

#include <QApplication>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QSocketNotifier>
#include <QThread>
#include <QTimer>
#include <QWheelEvent>
#include <QWindow>
#include <qpa/qplatformwindow.h>
#include <qpa/qwindowsysteminterface.h>

namespace {

int32_t virtualKeyOf(const QKeyEvent& event)
{
    const int key = event.key();
    const bool keypad = (event.modifiers() & Qt::KeypadModifier) != 0;
    if (key == Qt::Key_Plus || key == Qt::Key_Equal) return keypad ? vkAdd : vkOemPlus;
    if (key == Qt::Key_Minus) return keypad ? vkSubtract : vkOemMinus;
    if (key >= Qt::Key_A && key <= Qt::Key_Z) return 0x41 + (key - Qt::Key_A);
    if (key >= Qt::Key_0 && key <= Qt::Key_9) return 0x30 + (key - Qt::Key_0);
    if (key >= Qt::Key_F1 && key <= Qt::Key_F12) return 0x70 + (key - Qt::Key_F1);
    switch (key) {
    case Qt::Key_Left: return vkLeft;
    case Qt::Key_Up: return vkUp;
    case Qt::Key_Right: return vkRight;
    case Qt::Key_Down: return vkDown;
    case Qt::Key_Return:
    case Qt::Key_Enter: return vkReturn;
    case Qt::Key_Escape: return vkEscape;
    case Qt::Key_Shift: return vkShift;
    case Qt::Key_Control: return 0x11;
    case Qt::Key_Alt: return 0x12;
    case Qt::Key_Backspace: return 0x08;
    case Qt::Key_Tab: return 0x09;
    case Qt::Key_Space: return 0x20;
    case Qt::Key_PageUp: return 0x21;
    case Qt::Key_PageDown: return 0x22;
    case Qt::Key_End: return 0x23;
    case Qt::Key_Home: return 0x24;
    case Qt::Key_Insert: return 0x2D;
    case Qt::Key_Delete: return vkDelete;
    default: return 0;
    }
}

int32_t keyModifiers(const QKeyEvent& e)
{
    int32_t flags = 0;
    if (e.modifiers() & Qt::ShiftModifier) flags |= mkShift;
    if (e.modifiers() & Qt::ControlModifier) flags |= mkControl;
    return flags;
}

// Ctrl+Z, Ctrl+Y and Ctrl+Shift+Z: the program's undo and redo, also while a
// text field has the focus (which would otherwise undo its own typing).
bool isUndoRedoKey(const QKeyEvent& e)
{
    return (e.modifiers() & Qt::ControlModifier) != 0 && (e.key() == Qt::Key_Z || e.key() == Qt::Key_Y);
}

int32_t mouseFlags(const QMouseEvent& e)
{
    int32_t flags = 0;
    if (e.buttons() & Qt::LeftButton) flags |= mkLButton;
    if (e.buttons() & Qt::RightButton) flags |= mkRButton;
    if (e.buttons() & Qt::MiddleButton) flags |= mkMButton;
    if (e.modifiers() & Qt::ShiftModifier) flags |= mkShift;
    if (e.modifiers() & Qt::ControlModifier) flags |= mkControl;
    return flags;
}

}  // namespace

void QtWindowLayer::push(int32_t kind, int32_t window, int32_t param, std::optional<EventPlace> cursor)
{
    WindowEvent e;
    e.kind = kind;
    e.window = window;
    e.param = param;
    events_.push_back({e, cursor});
}

void QtWindowLayer::pushControl(int32_t window, int32_t control, int32_t notification)
{
    WindowEvent e;
    e.kind = eventControl;
    e.window = window;
    e.control = control;
    e.notification = notification;
    events_.push_back({e, std::nullopt});
}

int32_t QtWindowLayer::numberOfWindow(const QWindow* window) const
{
    if (!window) return windowNone;
    for (const auto& [number, w] : windows_)
        if (w.glWindow == window || (w.topLevel && w.topLevel->windowHandle() == window)) return number;
    return windowNone;
}

std::optional<QtWindowLayer::EventPlace> QtWindowLayer::placeIn(int32_t number, QPointF local) const
{
    const Window* w = find(number);
    if (!w) return std::nullopt;
    if (w->topLevel) return EventPlace{w->topLevel.get(), local};
    if (!w->container) return std::nullopt;
    QWidget* top = w->container->window();
    return EventPlace{top, w->container->mapTo(top, local)};
}

void QtWindowLayer::exposeViewsIn(const QWindow* window)
{
    for (const auto& [number, w] : windows_) {
        QWindow* view = w.glWindow;
        if (!view || view->parent() != window || !view->isVisible() || view->isExposed()) continue;
        if (const QPlatformWindow* platform = view->handle(); platform && platform->isExposed())
            QWindowSystemInterface::handleExposeEvent(view, QRect(QPoint(), platform->geometry().size()));
    }
}

int32_t QtWindowLayer::gadgetId(int32_t number, const QObject* object) const
{
    const Window* w = find(number);
    if (!w) return -1;
    for (const auto& [id, g] : w->gadgets)
        if (g == object) return id;
    return -1;
}

bool QtWindowLayer::dropEvent(int32_t number, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type != QEvent::DragEnter && type != QEvent::DragMove && type != QEvent::Drop) return false;
    auto* drop = static_cast<QDropEvent*>(event);
    QString file;
    for (const QUrl& url : drop->mimeData()->urls())
        if (url.isLocalFile()) {
            file = url.toLocalFile();
            break;
        }
    if (file.isEmpty()) {
        drop->ignore();
        return true;
    }
    drop->acceptProposedAction();
    if (type == QEvent::Drop) {
        push(eventDropFiles, number, 0);
        events_.back().event.text = utf8(file);
    }
    return true;
}

bool QtWindowLayer::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (type == QEvent::DragEnter || type == QEvent::DragMove || type == QEvent::Drop) {
        // Taken where Qt hands it to the main window's or a view's QWindow.
        const int32_t number = numberOfWindow(qobject_cast<QWindow*>(watched));
        return number >= windowMain && number <= window3D && dropEvent(number, event);
    }
    if (type == QEvent::Leave) {
        const int32_t number = numberOfWindow(qobject_cast<QWindow*>(watched));
        if (number >= windowFront && number <= window3D) push(eventMouseLeave, number, 0);
        return false;
    }
    if (type == QEvent::Close) {
        for (const auto& [number, w] : windows_) {
            if (w.topLevel.get() == watched) {
                event->ignore();
                push(eventClose, number, 0);
                return true;
            }
        }
        return false;
    }
    if (type == QEvent::Expose) {
        auto* window = qobject_cast<QWindow*>(watched);
        const int32_t number = numberOfWindow(window);
        if (number == windowNone || !window->isExposed()) return false;
        if (number < windowFront || number > window3D) {
            exposeViewsIn(window);
            return false;
        }
        // A zero timer runs in whatever loop is active, a dialog's included.
        if (exposed_.empty()) QTimer::singleShot(0, this, [this] { reportExposed(); });
        if (std::find(exposed_.begin(), exposed_.end(), number) == exposed_.end()) exposed_.push_back(number);
        return false;
    }
    if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease || type == QEvent::MouseMove ||
        type == QEvent::KeyPress || type == QEvent::Wheel) {
        // A click on a text field is the user choosing that field, also when
        // it has the focus already.
        if (type == QEvent::MouseButtonPress && qobject_cast<QLineEdit*>(watched)) {
            const int32_t number = numberOfWindow(static_cast<QWidget*>(watched)->window()->windowHandle());
            const int32_t id = gadgetId(number, watched);
            if (id >= 0) pushControl(number, id, notifySetFocus);
        }
        // Every input event reaches its QWindow first, exactly once; the copies
        // Qt then hands to the widgets inside it, and on to their parents, are
        // not reported again.
        int32_t number = numberOfWindow(qobject_cast<QWindow*>(watched));
        if (number == windowNone) return false;
        if (type == QEvent::MouseButtonPress)
            keyboardView_ = number >= windowFront && number <= window3D ? number : windowNone;
        if (type == QEvent::KeyPress) {
            auto* key = static_cast<QKeyEvent*>(event);
            if (number == windowMain && keyboardView_ != windowNone) number = keyboardView_;
            if (const int32_t vk = virtualKeyOf(*key)) {
                push(eventKeyDown, number, vk);
                events_.back().event.modifiers = keyModifiers(*key);
            }
            if (isUndoRedoKey(*key)) return true;
            if (key->key() == Qt::Key_Up || key->key() == Qt::Key_Down) {
                const int32_t id = gadgetId(number, QApplication::focusWidget());
                const QWidget* field = gadget(number, id);
                if (field && field->property("pqMinimum").isValid()) {
                    stepUpDown(number, id, key->key() == Qt::Key_Up ? 1 : -1);
                    return true;
                }
            }
            return false;
        }
        if (type == QEvent::Wheel) {
            auto* wheel = static_cast<QWheelEvent*>(event);
            if (const int delta = wheel->angleDelta().y())
                push(eventMouseWheel, number, delta, placeIn(number, wheel->position()));
            return false;
        }
        auto* mouse = static_cast<QMouseEvent*>(event);
        const std::optional<EventPlace> place = placeIn(number, mouse->position());
        if (type == QEvent::MouseMove) {
            push(eventMouseMove, number, mouseFlags(*mouse), place);
            return false;
        }
        if (type == QEvent::MouseButtonRelease) {
            if (mouse->button() == Qt::LeftButton) push(eventLeftUp, number, mouseFlags(*mouse), place);
            return false;
        }
        const int32_t kind = mouse->button() == Qt::LeftButton     ? eventLeftDown
                             : mouse->button() == Qt::RightButton  ? eventRightDown
                             : mouse->button() == Qt::MiddleButton ? eventMiddleDown
                                                                   : eventNone;
        if (kind != eventNone) push(kind, number, mouseFlags(*mouse), place);
        return false;
    }
    if (type == QEvent::FocusIn) {
        // Only the keyboard's focus changes here: a window that opens or comes
        // back to the front focuses a field without the user choosing it.
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        if (reason != Qt::TabFocusReason && reason != Qt::BacktabFocusReason && reason != Qt::ShortcutFocusReason)
            return false;
        for (const auto& [number, w] : windows_)
            for (const auto& [id, g] : w.gadgets)
                if (g == watched && qobject_cast<QLineEdit*>(watched)) pushControl(number, id, notifySetFocus);
        return false;
    }
    if (type == QEvent::WindowActivate) {
        for (const auto& [number, w] : windows_) {
            if (w.topLevel.get() != watched) continue;
            // Activating the main window by a click in a view keeps the view the active one.
            if (!(number == windowMain && active_ >= windowFront && active_ <= window3D)) active_ = number;
        }
        return false;
    }
    if (type == QEvent::Resize) {
        const Window* main = find(windowMain);
        if (main && main->client == watched) layoutToolbarStrip();
        bool ours = false;
        for (const auto& [number, w] : windows_) ours = ours || w.client == watched;
        if (ours && resizeHandler_ && !inResizeHandler_) {
            inResizeHandler_ = true;
            callBack(resizeHandler_);
            inResizeHandler_ = false;
        }
    }
    return false;
}

bool QtWindowLayer::fetchEvent(WindowEvent& event)
{
    if (events_.empty()) {
        QCoreApplication::processEvents();
        // Menu bars and toolbars replaced by a rebuild are deleted later; no
        // exec() loop runs to do it, so do it here.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    if (events_.empty()) {
        eventCursor_.reset();
        return false;
    }
    const QueuedEvent queued = events_.front();
    events_.pop_front();
    event = queued.event;
    // The program sees the input as it was when the event happened: a click
    // makes its window the active one, and the cursor is where it was then,
    // however many events came in since.
    if (queued.cursor) eventCursor_ = queued.cursor;
    if (event.kind == eventLeftDown || event.kind == eventRightDown) active_ = event.window;
    return true;
}

bool QtWindowLayer::waitForEvent(int32_t timeoutMs)
{
    handlerRan_ = false;
    bool timedOut = false;
    QTimer timer;
    if (timeoutMs >= 0) {
        timer.setSingleShot(true);
        connect(&timer, &QTimer::timeout, this, [&timedOut] { timedOut = true; });
        timer.start(timeoutMs);
    }
    // Qt's own events (painting, timers) are handled on the way; only a
    // WindowEvent, a program callback or the timeout ends the wait.
    while (events_.empty() && !handlerRan_ && !timedOut) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
    return !events_.empty();
}

bool QtWindowLayer::isShiftDown() const
{
    return (QGuiApplication::queryKeyboardModifiers() & Qt::ShiftModifier) != 0;
}

void QtWindowLayer::sleepMs(int32_t milliseconds) { QThread::msleep(static_cast<unsigned long>(std::max(0, milliseconds))); }

// ---- the end signals ------------------------------------------------------------------

namespace {

sigset_t terminationSignalSet()
{
    sigset_t endSignals;
    sigemptyset(&endSignals);
    sigaddset(&endSignals, SIGTERM);
    sigaddset(&endSignals, SIGHUP);
    return endSignals;
}

}  // namespace

void holdTerminationSignals()
{
    const sigset_t endSignals = terminationSignalSet();
    pthread_sigmask(SIG_BLOCK, &endSignals, nullptr);
}

void QtWindowLayer::setTerminationHandler(std::function<void(int32_t signal)> handler)
{
    const sigset_t endSignals = terminationSignalSet();
    terminationSignals_ = ::signalfd(-1, &endSignals, SFD_CLOEXEC | SFD_NONBLOCK);
    if (terminationSignals_ < 0) {
        pthread_sigmask(SIG_UNBLOCK, &endSignals, nullptr);  // ended as they would be without a handler
        return;
    }
    auto* notifier = new QSocketNotifier(terminationSignals_, QSocketNotifier::Read, this);
    connect(notifier, &QSocketNotifier::activated, this, [this, handler = std::move(handler)] {
        signalfd_siginfo info{};
        if (::read(terminationSignals_, &info, sizeof info) != static_cast<ssize_t>(sizeof info)) return;
        const int signal = static_cast<int>(info.ssi_signo);
        handler(signal);
        // Raised again for the handler saving may have installed, which removes
        // the temporary file of a write under way and then ends the process as
        // the signal's default would; without it the default ends it.
        sigset_t only;
        sigemptyset(&only);
        sigaddset(&only, signal);
        pthread_sigmask(SIG_UNBLOCK, &only, nullptr);
        ::raise(signal);
    });
}
