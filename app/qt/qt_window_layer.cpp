// qt_window_layer.cpp: the window layer on Qt 6. Input reaches the program
// only through the event FIFO; close requests are refused here and reported,
// so the program's own loop decides what closing means.
#include "app/qt/qt_window_layer.h"

#include <QApplication>
#include <QComboBox>
#include <QCursor>
#include <QDialog>
#include <QFileDialog>
#include <QFontMetrics>
#include <QImageReader>
#include <QKeyEvent>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QMessageBox>
#include <QMouseEvent>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScreen>
#include <QSessionManager>
#include <QStyle>
#include <QThread>
#include <QToolBar>
#include <QToolButton>
#include <QWindow>

#include <algorithm>

// The client area of main and tool windows: paints its backing image, on
// which the program draws, under its child widgets.
class Canvas : public QWidget {
public:
    explicit Canvas(QWidget* parent = nullptr) : QWidget(parent) {}

    // The backing image, grown to the widget's size; new parts are button face.
    QImage& image()
    {
        if (image_.size() != size()) {
            QImage grown(size().expandedTo(QSize(1, 1)), QImage::Format_RGB32);
            grown.fill(palette().color(QPalette::Window));
            QPainter p(&grown);
            p.drawImage(0, 0, image_);
            image_ = std::move(grown);
        }
        return image_;
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.drawImage(0, 0, image());
    }

private:
    QImage image_;
};

namespace {

constexpr int toolbarStripHeight = 25;
constexpr int maxImageSide = 16384;
constexpr qint64 maxImagePixels = 64LL * 1024 * 1024;

QString qs(std::string_view text) { return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())); }

std::string utf8(const QString& text) { return text.toStdString(); }

// Menu texts carry no mnemonics, so a literal "&" must stay one.
QString menuText(std::string_view text) { return qs(text).replace(QLatin1Char('&'), QLatin1String("&&")); }

QSurfaceFormat viewFormat()
{
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setProfile(QSurfaceFormat::CompatibilityProfile);
    format.setRedBufferSize(8);
    format.setGreenBufferSize(8);
    format.setBlueBufferSize(8);
    format.setDepthBufferSize(24);
    format.setSwapBehavior(QSurfaceFormat::DoubleBuffer);
    return format;
}

// The Win32 virtual-key code of a key; 0 for keys the program has no code for.
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

QStyle::StandardPixmap standardPixmapOf(int32_t standardImage)
{
    switch (standardImage) {
    case stdImageDelete: return QStyle::SP_TrashIcon;
    case stdImageFileNew: return QStyle::SP_FileIcon;
    case stdImageFileOpen: return QStyle::SP_DialogOpenButton;
    case stdImageFileSave: return QStyle::SP_DialogSaveButton;
    default: return QStyle::SP_MessageBoxQuestion;
    }
}

// Opens an image reader; false when the file is unreadable or claims a size
// too large to allocate.
bool openImageReader(QImageReader& reader)
{
    if (!reader.canRead()) return false;
    const QSize size = reader.size();
    if (!size.isValid()) return true;
    return size.width() <= maxImageSide && size.height() <= maxImageSide &&
           static_cast<qint64>(size.width()) * size.height() <= maxImagePixels;
}

// "label|pattern|label|pattern" to Qt's filter list. Patterns are matched
// case-sensitively here, so each pattern is offered in both cases: the
// program writes ".pq" names while its filters say "*.PQ".
QStringList fileFilters(std::string_view filter)
{
    const QStringList parts = qs(filter).split(QLatin1Char('|'));
    QStringList filters;
    for (qsizetype i = 0; i + 1 < parts.size(); i += 2) {
        QStringList patterns;
        for (const QString& p : parts[i + 1].split(QLatin1Char(';'), Qt::SkipEmptyParts)) {
            for (const QString& variant : {p, p.toLower(), p.toUpper()})
                if (!patterns.contains(variant)) patterns << variant;
        }
        filters << QStringLiteral("%1 (%2)").arg(parts[i], patterns.join(QLatin1Char(' ')));
    }
    return filters;
}

QPoint centredOn(const QRect& area, QSize size)
{
    return {std::max(area.left(), area.center().x() - size.width() / 2),
            std::max(area.top(), area.center().y() - size.height() / 2)};
}

}  // namespace

QtWindowLayer::QtWindowLayer()
{
    QApplication::setQuitOnLastWindowClosed(false);
    qApp->installEventFilter(this);
    // The session manager waits for the answer, so the handler runs right here.
    connect(qApp, &QGuiApplication::commitDataRequest, this, [this](QSessionManager& manager) {
        if (!sessionEndHandler_ || !manager.allowsInteraction()) return;
        const bool goOn = sessionEndHandler_();
        manager.release();
        if (!goOn) manager.cancel();
    }, Qt::DirectConnection);
}

QtWindowLayer::~QtWindowLayer()
{
    qApp->removeEventFilter(this);
    while (!windows_.empty()) closeWindow(windows_.rbegin()->first);
}

// ---- windows ------------------------------------------------------------------------

QtWindowLayer::Window* QtWindowLayer::find(int32_t number)
{
    auto it = windows_.find(number);
    return it == windows_.end() ? nullptr : &it->second;
}

const QtWindowLayer::Window* QtWindowLayer::find(int32_t number) const
{
    auto it = windows_.find(number);
    return it == windows_.end() ? nullptr : &it->second;
}

QWidget* QtWindowLayer::outerWidget(const Window& w) const
{
    if (w.topLevel) return w.topLevel.get();
    return w.container.data();
}

Canvas* QtWindowLayer::canvasOf(int32_t window) const
{
    const Window* w = find(window);
    return w ? dynamic_cast<Canvas*>(w->client.data()) : nullptr;
}

bool QtWindowLayer::openWindow(int32_t number, const WindowSpec& spec)
{
    closeWindow(number);
    Window w;
    w.spec = spec;
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();

    if (spec.style == WindowStyle::Main) {
        auto main = std::make_unique<QMainWindow>();
        auto* client = new Canvas(main.get());
        main->setCentralWidget(client);
        main->setWindowTitle(qs(spec.title));
        main->resize(spec.width, spec.height);
        w.client = client;
        w.topLevel = std::move(main);
    } else if (spec.style == WindowStyle::View) {
        const Window* main = find(windowMain);
        auto* glWindow = new QWindow();
        glWindow->setSurfaceType(QSurface::OpenGLSurface);
        glWindow->setFormat(viewFormat());
        glWindow->setTitle(qs(spec.title));
        glWindow->resize(spec.width, spec.height);
        QWidget* container = QWidget::createWindowContainer(glWindow, main ? main->client.data() : nullptr);
        if (!main) w.topLevel.reset(container);
        container->setWindowTitle(qs(spec.title));
        container->setGeometry(spec.x, spec.y, spec.width, spec.height);
        container->hide();
        w.container = container;
        w.client = container;
        w.glWindow = glWindow;
    } else {
        auto tool = std::make_unique<Canvas>();
        tool->setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                             Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
        tool->setWindowTitle(qs(spec.title));
        tool->setFixedSize(spec.width, spec.height);
        QRect over = screen;
        if (spec.placement == WindowPlacement::CentreOverActive) {
            if (QWidget* owner = dialogOwner()) over = owner->frameGeometry();
        }
        if (spec.placement == WindowPlacement::At)
            tool->move(spec.x, spec.y);
        else {
            const QPoint at = centredOn(over, tool->size());
            tool->move(std::max(at.x(), screen.left()), std::max(at.y(), screen.top()));
        }
        w.client = tool.get();
        w.topLevel = std::move(tool);
    }
    windows_[number] = std::move(w);
    return true;
}

void QtWindowLayer::showWindow(int32_t number)
{
    Window* w = find(number);
    if (!w || !outerWidget(*w)) return;
    if (number == windowMain) {
        auto* main = static_cast<QMainWindow*>(w->topLevel.get());
        const int menuHeight = menuBar_ ? menuBar_->sizeHint().height() : 0;
        main->resize(w->spec.width, w->spec.height + menuHeight);
        if (w->spec.placement == WindowPlacement::CentreOnScreen) {
            const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
            main->move(centredOn(screen, main->size()));
        }
        layoutToolbarStrip();
    }
    outerWidget(*w)->show();
    if (w->topLevel && number != windowMain) {
        const Window* main = find(windowMain);
        if (main && main->topLevel && w->topLevel->windowHandle())
            w->topLevel->windowHandle()->setTransientParent(main->topLevel->windowHandle());
    }
}

void QtWindowLayer::closeWindow(int32_t number)
{
    if (number == windowMain) {
        for (int32_t view = windowFront; view <= window3D; ++view) closeWindow(view);
    }
    auto it = windows_.find(number);
    if (it == windows_.end()) return;
    Window& w = it->second;
    if (w.context) {
        if (QOpenGLContext::currentContext() == w.context.get()) w.context->doneCurrent();
        w.context.reset();
    }
    if (!w.topLevel && w.container) delete w.container.data();
    w.topLevel.reset();
    windows_.erase(it);
    if (active_ == number) active_ = windowNone;
}

bool QtWindowLayer::isWindowOpen(int32_t number) const
{
    const Window* w = find(number);
    return w && outerWidget(*w);
}

void QtWindowLayer::activateWindow(int32_t number)
{
    Window* w = find(number);
    if (!w || !outerWidget(*w)) return;
    active_ = number;
    if (w->topLevel) {
        w->topLevel->raise();
        w->topLevel->activateWindow();
    }
}

int32_t QtWindowLayer::activeWindow() const { return active_; }

void QtWindowLayer::setWindowGeometry(int32_t number, int32_t x, int32_t y, int32_t width, int32_t height)
{
    Window* w = find(number);
    if (!w || !outerWidget(*w)) return;
    w->spec.x = x;
    w->spec.y = y;
    w->spec.width = width;
    w->spec.height = height;
    if (w->container && !w->topLevel) {
        w->container->setGeometry(x, y, width, height);
    } else {
        w->topLevel->move(x, y);
        w->client->resize(width, height);
    }
}

int32_t QtWindowLayer::clientWidth(int32_t number) const
{
    const Window* w = find(number);
    return w && w->client ? w->client->width() : 0;
}

int32_t QtWindowLayer::clientHeight(int32_t number) const
{
    const Window* w = find(number);
    return w && w->client ? w->client->height() : 0;
}

CursorPos QtWindowLayer::cursorPos(int32_t number) const
{
    const Window* w = find(number);
    if (!w) return {};
    const QWidget* origin = w->topLevel ? w->topLevel.get() : w->client.data();
    if (!origin) return {};
    const QPoint p = origin->mapFromGlobal(eventCursor_ ? *eventCursor_ : QCursor::pos());
    return {p.x(), p.y()};
}

void QtWindowLayer::setResizeHandler(std::function<void()> handler) { resizeHandler_ = std::move(handler); }

void QtWindowLayer::setSessionEndHandler(std::function<bool()> handler) { sessionEndHandler_ = std::move(handler); }

void QtWindowLayer::layoutToolbarStrip()
{
    const Window* main = find(windowMain);
    if (!main || !main->client) return;
    const int width = main->client->width();
    if (toolbarStrip_) toolbarStrip_->setGeometry(0, 0, width, toolbarStripHeight);
    if (toolbar_) toolbar_->setGeometry(0, 0, width, toolbarStripHeight);
}

// ---- input ------------------------------------------------------------------------------

void QtWindowLayer::push(int32_t kind, int32_t window, int32_t param, std::optional<QPoint> cursor)
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

int32_t QtWindowLayer::gadgetId(int32_t number, const QObject* object) const
{
    const Window* w = find(number);
    if (!w) return -1;
    for (const auto& [id, g] : w->gadgets)
        if (g == object) return id;
    return -1;
}

bool QtWindowLayer::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
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
    if (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonRelease || type == QEvent::MouseMove ||
        type == QEvent::KeyPress) {
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
        const int32_t number = numberOfWindow(qobject_cast<QWindow*>(watched));
        if (number == windowNone) return false;
        if (type == QEvent::KeyPress) {
            auto* key = static_cast<QKeyEvent*>(event);
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
        auto* mouse = static_cast<QMouseEvent*>(event);
        const QPoint global = mouse->globalPosition().toPoint();
        if (type == QEvent::MouseMove) {
            push(eventMouseMove, number, mouseFlags(*mouse), global);
            return false;
        }
        if (type == QEvent::MouseButtonRelease) {
            if (mouse->button() == Qt::LeftButton) push(eventLeftUp, number, mouseFlags(*mouse), global);
            return false;
        }
        const int32_t kind = mouse->button() == Qt::LeftButton    ? eventLeftDown
                             : mouse->button() == Qt::RightButton ? eventRightDown
                                                                  : eventNone;
        if (kind != eventNone) push(kind, number, mouseFlags(*mouse), global);
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
            resizeHandler_();
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

bool QtWindowLayer::isShiftDown() const
{
    return (QGuiApplication::queryKeyboardModifiers() & Qt::ShiftModifier) != 0;
}

void QtWindowLayer::sleepMs(int32_t milliseconds) { QThread::msleep(static_cast<unsigned long>(std::max(0, milliseconds))); }

// ---- OpenGL -------------------------------------------------------------------------------

bool QtWindowLayer::createGlContext(int32_t number)
{
    Window* w = find(number);
    if (!w || !w->glWindow) return false;
    auto context = std::make_unique<QOpenGLContext>();
    context->setFormat(viewFormat());
    if (!context->create()) return false;
    w->glWindow->create();
    if (!context->makeCurrent(w->glWindow)) return false;
    // The native window may still have its default size at this point; the
    // context starts with a viewport over the whole view, as it will be shown.
    context->functions()->glViewport(0, 0, w->glWindow->width(), w->glWindow->height());
    w->context = std::move(context);
    return true;
}

void QtWindowLayer::makeCurrent(int32_t number)
{
    Window* w = find(number);
    if (w && w->context && w->glWindow) w->context->makeCurrent(w->glWindow);
}

void QtWindowLayer::swapBuffers(int32_t number)
{
    Window* w = find(number);
    if (w && w->context && w->glWindow && w->glWindow->isExposed()) w->context->swapBuffers(w->glWindow);
}

std::string QtWindowLayer::glString(uint32_t name) const
{
    QOpenGLContext* context = QOpenGLContext::currentContext();
    if (!context) return {};
    const auto* text = reinterpret_cast<const char*>(context->functions()->glGetString(name));
    return text ? std::string(text) : std::string();
}

// ---- modal operations -----------------------------------------------------------------------

std::vector<QPointer<QWidget>> QtWindowLayer::disableWindows()
{
    std::vector<QPointer<QWidget>> disabled;
    for (QWidget* w : QApplication::topLevelWidgets()) {
        if (w->isVisible() && w->isEnabled()) {
            w->setEnabled(false);
            disabled.emplace_back(w);
        }
    }
    return disabled;
}

void QtWindowLayer::enableAgain(const std::vector<QPointer<QWidget>>& disabled)
{
    for (const QPointer<QWidget>& w : disabled)
        if (w) w->setEnabled(true);
}

QWidget* QtWindowLayer::dialogOwner() const
{
    if (QWidget* active = QApplication::activeWindow()) return active;
    const Window* main = find(windowMain);
    return main && main->topLevel && main->topLevel->isVisible() ? main->topLevel.get() : nullptr;
}

void QtWindowLayer::showMessage(std::string_view title, std::string_view text)
{
    QWidget* owner = dialogOwner();
    const auto disabled = disableWindows();
    QMessageBox box(QMessageBox::NoIcon, qs(title), qs(text), QMessageBox::Ok, owner);
    box.exec();
    enableAgain(disabled);
}

std::string QtWindowLayer::askText(std::string_view title, std::string_view message,
                                   std::string_view defaultText)
{
    QWidget* owner = dialogOwner();
    const auto disabled = disableWindows();
    QDialog prompt(owner, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint);
    prompt.setObjectName(QStringLiteral("InputRequester"));
    prompt.setWindowTitle(qs(title));
    prompt.setFixedSize(300, 130);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    prompt.move(screen.width() / 2 - 150, screen.height() / 2 - 65);

    auto* label = new QLabel(qs(message), &prompt);
    label->setGeometry(10, 10, 280, 22);
    label->setWordWrap(false);
    // The platform's small system font fits the longest message on the line;
    // the default font here may not, so it shrinks until the message fits.
    QFont font = label->font();
    while (QFontMetrics(font).horizontalAdvance(label->text()) > label->width() && font.pointSizeF() > 6.0)
        font.setPointSizeF(font.pointSizeF() - 0.5);
    label->setFont(font);
    auto* field = new QLineEdit(qs(defaultText), &prompt);
    field->setGeometry(10, 32, 275, 21);
    field->setMaxLength(9999);
    auto* ok = new QPushButton(QStringLiteral("Ok"), &prompt);
    ok->setGeometry(110, 67, 80, 25);
    ok->setDefault(true);
    QObject::connect(ok, &QPushButton::clicked, &prompt, &QDialog::accept);
    field->selectAll();
    field->setFocus();

    const bool confirmed = prompt.exec() == QDialog::Accepted;
    enableAgain(disabled);
    return confirmed ? utf8(field->text()) : std::string();
}

int32_t QtWindowLayer::askChoice(std::string_view title, std::string_view text,
                                 const std::vector<std::string>& buttons)
{
    QWidget* owner = dialogOwner();
    const auto disabled = disableWindows();
    QMessageBox box(QMessageBox::Question, qs(title), qs(text), QMessageBox::NoButton, owner);
    std::vector<QPushButton*> added;
    for (const std::string& label : buttons) added.push_back(box.addButton(qs(label), QMessageBox::ActionRole));
    if (!added.empty()) {
        box.setDefaultButton(added.front());
        box.setEscapeButton(added.back());
    }
    box.exec();
    enableAgain(disabled);
    const auto chosen = std::find(added.begin(), added.end(), box.clickedButton());
    if (chosen == added.end()) return static_cast<int32_t>(buttons.size()) - 1;
    return static_cast<int32_t>(chosen - added.begin());
}

std::string QtWindowLayer::chooseFile(std::string_view title, std::string_view startText,
                                      std::string_view filter, int32_t filterIndex, bool save)
{
    QWidget* owner = dialogOwner();
    const auto disabled = disableWindows();
    QFileDialog dialog(owner, qs(title));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setOption(QFileDialog::DontConfirmOverwrite);
    dialog.setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::AnyFile);
    const QStringList filters = fileFilters(filter);
    dialog.setNameFilters(filters);
    if (filterIndex >= 0 && filterIndex < filters.size()) dialog.selectNameFilter(filters[filterIndex]);

    const QString start = qs(startText);
    const qsizetype cut = std::max(start.lastIndexOf(QLatin1Char('/')), start.lastIndexOf(QLatin1Char('\\')));
    if (cut >= 0) {
        dialog.setDirectory(start.left(cut).isEmpty() ? QStringLiteral("/") : start.left(cut));
        dialog.selectFile(start.mid(cut + 1));
    } else {
        dialog.selectFile(start);
    }

    std::string chosen;
    if (dialog.exec() == QDialog::Accepted && !dialog.selectedFiles().isEmpty())
        chosen = utf8(dialog.selectedFiles().front());
    enableAgain(disabled);
    return chosen;
}

// ---- menu bar and toolbar ------------------------------------------------------------------

bool QtWindowLayer::createMenuBar()
{
    Window* main = find(windowMain);
    if (!main || !main->topLevel) return false;
    destroyMenuBar();
    auto* mainWindow = static_cast<QMainWindow*>(main->topLevel.get());
    auto* bar = new QMenuBar(mainWindow);
    bar->setNativeMenuBar(false);
    mainWindow->setMenuBar(bar);
    menuBar_ = bar;
    return true;
}

void QtWindowLayer::addMenu(std::string_view title)
{
    if (menuBar_) currentMenu_ = menuBar_->addMenu(menuText(title));
}

void QtWindowLayer::addMenuItem(std::string_view text, int32_t id)
{
    if (!currentMenu_) return;
    QAction* action = currentMenu_->addAction(menuText(text));
    connect(action, &QAction::triggered, this, [this, id] { push(eventCommand, windowMain, id); });
    menuActions_[id] = action;
}

void QtWindowLayer::addMenuSeparator()
{
    if (currentMenu_) currentMenu_->addSeparator();
}

void QtWindowLayer::setMenuItemEnabled(int32_t id, bool enabled)
{
    auto it = menuActions_.find(id);
    if (it != menuActions_.end() && it->second) it->second->setEnabled(enabled);
}

void QtWindowLayer::setMenuItemShortcut(int32_t id, std::string_view keys)
{
    auto it = menuActions_.find(id);
    // A menu shows the text after a tab as the item's shortcut, right-aligned.
    if (it != menuActions_.end() && it->second)
        it->second->setText(it->second->text().section(QLatin1Char('\t'), 0, 0) + QLatin1Char('\t') + qs(keys));
}

void QtWindowLayer::destroyMenuBar()
{
    Window* main = find(windowMain);
    if (menuBar_ && main && main->topLevel) {
        // QMainWindow hides the old bar and deletes it later.
        static_cast<QMainWindow*>(main->topLevel.get())->setMenuWidget(nullptr);
    }
    menuBar_ = nullptr;
    currentMenu_ = nullptr;
    menuActions_.clear();
}

bool QtWindowLayer::createToolbar()
{
    Window* main = find(windowMain);
    if (!main || !main->client) return false;
    destroyToolbar();
    if (!toolbarStrip_) {
        toolbarStrip_ = new QWidget(main->client);
        toolbarStrip_->lower();
    }
    auto* bar = new QToolBar(toolbarStrip_);
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->setIconSize(QSize(16, 16));
    bar->setToolButtonStyle(Qt::ToolButtonIconOnly);
    bar->setContentsMargins(0, 0, 0, 0);
    // Tight buttons, so all 22 fit the 500-pixel window as on the platform toolbar.
    bar->layout()->setSpacing(0);
    bar->layout()->setContentsMargins(0, 0, 0, 0);
    bar->setStyleSheet(QStringLiteral("QToolBar { border: 0px; padding: 0px; spacing: 0px; }"));
    toolbar_ = bar;
    layoutToolbarStrip();
    toolbarStrip_->show();
    bar->show();
    return true;
}

void QtWindowLayer::addToolbarStandardButton(int32_t standardImage, int32_t id)
{
    if (!toolbar_) return;
    QAction* action = toolbar_->addAction(toolbar_->style()->standardIcon(standardPixmapOf(standardImage)), QString());
    connect(action, &QAction::triggered, this, [this, id] { push(eventCommand, windowMain, id); });
    fitToolbarButton(action);
    toolbarActions_[id] = action;
}

void QtWindowLayer::addToolbarIconButton(int32_t imageSlot, int32_t id)
{
    if (!toolbar_) return;
    QIcon icon;
    if (auto it = images_.find(imageSlot); it != images_.end()) icon = QIcon(QPixmap::fromImage(it->second));
    QAction* action = toolbar_->addAction(icon, QString());
    connect(action, &QAction::triggered, this, [this, id] { push(eventCommand, windowMain, id); });
    fitToolbarButton(action);
    toolbarActions_[id] = action;
}

void QtWindowLayer::fitToolbarButton(QAction* action)
{
    if (QWidget* button = toolbar_->widgetForAction(action)) button->setFixedSize(20, 22);
}

void QtWindowLayer::addToolbarSeparator()
{
    if (toolbar_) toolbar_->addSeparator();
}

void QtWindowLayer::setToolbarTooltip(int32_t id, std::string_view text)
{
    auto it = toolbarActions_.find(id);
    if (it != toolbarActions_.end() && it->second) it->second->setToolTip(qs(text));
}

void QtWindowLayer::setToolbarButtonEnabled(int32_t id, bool enabled)
{
    auto it = toolbarActions_.find(id);
    if (it != toolbarActions_.end() && it->second) it->second->setEnabled(enabled);
}

void QtWindowLayer::destroyToolbar()
{
    if (toolbar_) {
        toolbar_->hide();
        toolbar_->deleteLater();
    }
    toolbar_ = nullptr;
    toolbarActions_.clear();
}

// ---- images ----------------------------------------------------------------------------------

bool QtWindowLayer::readPlatformImage(const std::string& path, RgbImage& out) const
{
    out = RgbImage{};
    QImageReader reader(QString::fromStdString(path));
    const QByteArray format = reader.format().toLower();
    if (format != "bmp" && format != "ico" && format != "cur") return false;
    if (!openImageReader(reader)) return false;
    const QImage image = reader.read().convertToFormat(QImage::Format_RGB888);
    if (image.isNull() || image.width() <= 0 || image.height() <= 0) return false;
    const auto rowBytes = static_cast<size_t>(image.width()) * 3;
    out.rgb.resize(rowBytes * static_cast<size_t>(image.height()));
    for (int row = 0; row < image.height(); ++row)
        std::copy_n(image.constScanLine(row), rowBytes, out.rgb.begin() + static_cast<std::ptrdiff_t>(rowBytes * static_cast<size_t>(row)));
    out.width = image.width();
    out.height = image.height();
    return true;
}

bool QtWindowLayer::loadImage(int32_t slot, const std::string& path)
{
    QImageReader reader(QString::fromStdString(path));
    if (!openImageReader(reader)) return false;
    QImage image = reader.read();
    if (image.isNull()) return false;
    images_[slot] = std::move(image);
    return true;
}

void QtWindowLayer::setImage(int32_t slot, const RgbImage& image)
{
    if (image.width <= 0 || image.height <= 0 ||
        image.rgb.size() < static_cast<size_t>(image.width) * static_cast<size_t>(image.height) * 3)
        return;
    const QImage view(image.rgb.data(), image.width, image.height, image.width * 3, QImage::Format_RGB888);
    images_[slot] = view.copy();
}

void QtWindowLayer::freeImage(int32_t slot) { images_.erase(slot); }

bool QtWindowLayer::hasImage(int32_t slot) const { return images_.count(slot) != 0; }

int32_t QtWindowLayer::imageWidth(int32_t slot) const
{
    auto it = images_.find(slot);
    return it == images_.end() ? 0 : it->second.width();
}

int32_t QtWindowLayer::imageHeight(int32_t slot) const
{
    auto it = images_.find(slot);
    return it == images_.end() ? 0 : it->second.height();
}

// ---- gadgets -----------------------------------------------------------------------------------

QWidget* QtWindowLayer::gadget(int32_t window, int32_t id) const
{
    const Window* w = find(window);
    if (!w) return nullptr;
    auto it = w->gadgets.find(id);
    return it == w->gadgets.end() ? nullptr : it->second.data();
}

void QtWindowLayer::placeGadget(int32_t window, int32_t id, QWidget* widget, int32_t x, int32_t y,
                                int32_t width, int32_t height)
{
    Window* w = find(window);
    if (QWidget* old = gadget(window, id)) delete old;
    widget->setGeometry(x, y, width, height);
    widget->show();
    w->gadgets[id] = widget;
}

void QtWindowLayer::createTextField(int32_t window, int32_t id, int32_t x, int32_t y, int32_t width,
                                    int32_t height, std::string_view text, bool digitsOnly)
{
    Window* w = find(window);
    if (!w || !w->client) return;
    auto* field = new QLineEdit(qs(text), w->client);
    // A text wider than the field shows its beginning, as a new platform edit field does.
    field->setCursorPosition(0);
    if (digitsOnly)
        field->setValidator(new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), field));
    connect(field, &QLineEdit::textEdited, this, [this, window, id] { pushControl(window, id, notifyChange); });
    placeGadget(window, id, field, x, y, width, height);
}

void QtWindowLayer::createStaticText(int32_t window, int32_t id, int32_t x, int32_t y, int32_t width,
                                     int32_t height, std::string_view text)
{
    Window* w = find(window);
    if (!w || !w->client) return;
    placeGadget(window, id, new QLabel(qs(text), w->client), x, y, width, height);
}

void QtWindowLayer::createComboBox(int32_t window, int32_t id, int32_t x, int32_t y, int32_t width,
                                   int32_t height, const std::vector<std::string>& items, int32_t selected)
{
    Window* w = find(window);
    if (!w || !w->client) return;
    auto* combo = new QComboBox(w->client);
    for (const std::string& item : items) combo->addItem(qs(item));
    combo->setCurrentIndex(selected);
    connect(combo, &QComboBox::activated, this, [this, window, id] { pushControl(window, id, notifyChange); });
    // A drop-down list's height is its closed height; the list opens below it.
    placeGadget(window, id, combo, x, y, width, std::min(height, combo->sizeHint().height()));
}

void QtWindowLayer::createUpDown(int32_t window, int32_t buddyId, int32_t minimum, int32_t maximum)
{
    auto* field = qobject_cast<QLineEdit*>(gadget(window, buddyId));
    if (!field) return;
    // Two arrow buttons at the field's right end, which narrows the field.
    constexpr int arrowsWidth = 16;
    // A field reaching past its window's right edge is cut there first, so
    // the arrows at its end stay in sight.
    QRect r = field->geometry();
    r.setRight(std::min(r.right(), field->parentWidget()->width() - 1));
    field->resize(std::max(1, r.width() - arrowsWidth), r.height());
    const int half = r.height() / 2;
    auto* up = new QToolButton(field->parentWidget());
    up->setArrowType(Qt::UpArrow);
    up->setGeometry(r.right() + 1 - arrowsWidth, r.top(), arrowsWidth, half);
    auto* down = new QToolButton(field->parentWidget());
    down->setArrowType(Qt::DownArrow);
    down->setGeometry(r.right() + 1 - arrowsWidth, r.top() + half, arrowsWidth, r.height() - half);
    connect(up, &QToolButton::clicked, this, [this, window, buddyId] { stepUpDown(window, buddyId, 1); });
    connect(down, &QToolButton::clicked, this, [this, window, buddyId] { stepUpDown(window, buddyId, -1); });
    up->show();
    down->show();
    // The arrow keys in the field step it too (see the event filter).
    field->setProperty("pqMinimum", minimum);
    field->setProperty("pqMaximum", maximum);
}

void QtWindowLayer::stepUpDown(int32_t window, int32_t id, int delta)
{
    auto* field = qobject_cast<QLineEdit*>(gadget(window, id));
    if (!field || !field->property("pqMinimum").isValid()) return;
    const int minimum = field->property("pqMinimum").toInt();
    const int maximum = field->property("pqMaximum").toInt();
    field->setText(QString::number(std::clamp(field->text().toInt() + delta, minimum, maximum)));
    pushControl(window, id, notifyChange);
}

std::string QtWindowLayer::gadgetText(int32_t window, int32_t id) const
{
    QWidget* g = gadget(window, id);
    if (auto* field = qobject_cast<QLineEdit*>(g)) return utf8(field->text());
    if (auto* label = qobject_cast<QLabel*>(g)) return utf8(label->text());
    if (auto* combo = qobject_cast<QComboBox*>(g)) return utf8(combo->currentText());
    return {};
}

void QtWindowLayer::setGadgetText(int32_t window, int32_t id, std::string_view text)
{
    QWidget* g = gadget(window, id);
    if (auto* field = qobject_cast<QLineEdit*>(g)) field->setText(qs(text));
    if (auto* label = qobject_cast<QLabel*>(g)) label->setText(qs(text));
}

int32_t QtWindowLayer::comboSelection(int32_t window, int32_t id) const
{
    auto* combo = qobject_cast<QComboBox*>(gadget(window, id));
    return combo ? combo->currentIndex() : 0;
}

// ---- 2D drawing --------------------------------------------------------------------------------

void QtWindowLayer::drawImage(int32_t window, int32_t slot, int32_t x, int32_t y)
{
    Canvas* canvas = canvasOf(window);
    auto it = images_.find(slot);
    if (!canvas || it == images_.end()) return;
    QPainter p(&canvas->image());
    p.drawImage(x, y, it->second);
    canvas->update();
}

void QtWindowLayer::fillRect(int32_t window, int32_t x, int32_t y, int32_t width, int32_t height,
                             uint8_t red, uint8_t green, uint8_t blue)
{
    Canvas* canvas = canvasOf(window);
    if (!canvas) return;
    QPainter p(&canvas->image());
    p.fillRect(x, y, width, height, QColor(red, green, blue));
    canvas->update();
}

void QtWindowLayer::drawLine(int32_t window, int32_t x0, int32_t y0, int32_t x1, int32_t y1, LineMode mode)
{
    Canvas* canvas = canvasOf(window);
    if (!canvas) return;
    QPainter p(&canvas->image());
    p.setRenderHint(QPainter::Antialiasing, false);
    p.setPen(QPen(Qt::black, 0));
    if (mode == LineMode::Invert) p.setCompositionMode(QPainter::RasterOp_NotDestination);
    p.drawLine(x0, y0, x1, y1);
    canvas->update();
}
