// qt_window_layer.cpp: the window layer on Qt 6: its construction, and the
// numbered windows (opening, showing, placing, sizes, exposure). Input reaches
// the program only through the event FIFO (qt_input.cpp); close requests are
// refused there and reported, so the program's own loop decides what closing means.
#include "app/qt/qt_support.h"

#include <unistd.h>

#include <algorithm>

#include <QApplication>
#include <QLabel>
#include <QCursor>
#include <QLayout>
#include <QMainWindow>
#include <QMenuBar>
#include <QOpenGLContext>
#include <QScreen>
#include <QSessionManager>
#include <QStatusBar>
#include <QTimer>
#include <QToolBar>
#include <QWindow>

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
    if (terminationSignals_ >= 0) ::close(terminationSignals_);
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
        main->setAcceptDrops(true);
        for (QPointer<QLabel>* part : {&statusLine_, &statusRight_}) {
            *part = new QLabel(main.get());
            (*part)->setTextFormat(Qt::PlainText);
            (*part)->setContentsMargins(4, 0, 4, 0);
        }
        // The left part gives way when the window is narrow; the cursor's place stays whole.
        statusLine_->setMinimumWidth(1);
        main->statusBar()->setSizeGripEnabled(false);  // the room is the status line's
        main->statusBar()->addWidget(statusLine_, 1);
        main->statusBar()->addPermanentWidget(statusRight_);
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
        else if (spec.placement == WindowPlacement::BesideMain)
            tool->move(placeBesideMain(number, tool->size()));
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
        const int statusHeight = main->statusBar()->sizeHint().height();
        const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
        main->resize(std::min(w->spec.width, screen.width()),
                     std::min(w->spec.height + menuHeight + statusHeight, screen.height()));
        if (w->spec.placement == WindowPlacement::CentreOnScreen) main->move(centredOn(screen, main->size()));
        // A remembered place on a screen that has since shrunk keeps the title bar in reach.
        if (w->spec.placement == WindowPlacement::At)
            main->move(std::clamp(w->spec.x, screen.left() - main->width() + 100, screen.right() - 100),
                       std::clamp(w->spec.y, screen.top(), screen.bottom() - 50));
        layoutToolbarStrip();
    }
    // A tool window belongs to the main window before it is first shown: the
    // platform reads that then, and a Wayland compositor, which alone places
    // windows there, puts it over the main window.
    if (const Window* main = find(windowMain); w->topLevel && number != windowMain && main && main->topLevel) {
        w->topLevel->createWinId();
        w->topLevel->windowHandle()->setTransientParent(main->topLevel->windowHandle());
    }
    outerWidget(*w)->show();
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

QPoint QtWindowLayer::placeBesideMain(int32_t number, QSize size) const
{
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    const Window* main = find(windowMain);
    if (!main || !main->topLevel) return centredOn(screen, size);
    const QRect mainFrame = main->topLevel->frameGeometry();
    // The window manager's frame, taken to be the main window's.
    const QSize frame = mainFrame.size() - main->topLevel->size();
    const QSize outer = size + frame;
    std::vector<QRect> taken{mainFrame};
    for (const auto& [n, w] : windows_)
        if (n != number && n != windowMain && w.topLevel && w.topLevel->isVisible())
            taken.push_back(w.topLevel->frameGeometry());
    // Right of the main window, then left of it, from its top edge down past
    // each window already there; the first place that is free and on the screen.
    std::vector<int> rows{mainFrame.top()};
    for (const QRect& r : taken) rows.push_back(r.bottom() + 1);
    std::sort(rows.begin(), rows.end());
    for (const int x : {mainFrame.right() + 1, mainFrame.left() - outer.width()})
        for (const int y : rows) {
            const QRect place(QPoint(x, y), outer);
            const bool free = std::none_of(taken.begin(), taken.end(), [&](const QRect& r) { return r.intersects(place); });
            if (free && screen.contains(place)) return place.topLeft();
        }
    // No room: beside the main window as far as the screen allows.
    return {std::clamp(mainFrame.right() + 1, screen.left(), std::max(screen.left(), screen.right() + 1 - outer.width())),
            std::clamp(mainFrame.top(), screen.top(), std::max(screen.top(), screen.bottom() + 1 - outer.height()))};
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

WindowRect QtWindowLayer::windowPlace(int32_t number) const
{
    const Window* w = find(number);
    const QWidget* outer = w ? outerWidget(*w) : nullptr;
    if (!outer || !w->client) return {};
    return {outer->x(), outer->y(), w->client->width(), w->client->height()};
}

void QtWindowLayer::setWindowTitle(int32_t number, std::string_view title)
{
    Window* w = find(number);
    if (!w) return;
    w->spec.title = std::string(title);
    if (QWidget* outer = outerWidget(*w)) outer->setWindowTitle(qs(title));
    if (w->glWindow) w->glWindow->setTitle(qs(title));
}

void QtWindowLayer::setStatusText(std::string_view text)
{
    const size_t tab = std::min(text.find('\t'), text.size());
    if (statusLine_) statusLine_->setText(qs(text.substr(0, tab)));
    if (statusRight_) statusRight_->setText(qs(text.substr(std::min(tab + 1, text.size()))));
}

float QtWindowLayer::pixelRatio(int32_t number) const
{
    const Window* w = find(number);
    if (w && w->glWindow) return static_cast<float>(w->glWindow->devicePixelRatio());
    return w && w->client ? static_cast<float>(w->client->devicePixelRatioF()) : 1.0f;
}

CursorPos QtWindowLayer::cursorPos(int32_t number) const
{
    const Window* w = find(number);
    if (!w) return {};
    const QWidget* origin = w->topLevel ? w->topLevel.get() : w->client.data();
    if (!origin) return {};
    QPointF p;
    if (eventCursor_ && eventCursor_->topLevel == origin->window())
        p = origin->mapFrom(origin->window(), eventCursor_->at);
    else if (eventCursor_ && eventCursor_->topLevel)  // only as good as the platform's screen positions
        p = origin->mapFromGlobal(eventCursor_->topLevel->mapToGlobal(eventCursor_->at));
    else
        p = origin->mapFromGlobal(QPointF(QCursor::pos()));
    return {qRound(p.x()), qRound(p.y())};
}

void QtWindowLayer::setResizeHandler(std::function<void()> handler) { resizeHandler_ = std::move(handler); }

void QtWindowLayer::setExposeHandler(std::function<void(const std::vector<int32_t>&)> handler)
{
    exposeHandler_ = std::move(handler);
}

void QtWindowLayer::reportExposed()
{
    std::vector<int32_t> numbers;
    numbers.swap(exposed_);
    if (exposeHandler_ && !numbers.empty()) callBack([this, &numbers] { exposeHandler_(numbers); });
}

CursorPos QtWindowLayer::maxToolClientSize() const
{
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    // The frame the window manager puts around a window, as the main window has it.
    QSize frame(0, 0);
    if (const Window* main = find(windowMain); main && main->topLevel && main->topLevel->isVisible())
        frame = main->topLevel->frameGeometry().size() - main->topLevel->size();
    return {std::max(1, screen.width() - frame.width()), std::max(1, screen.height() - frame.height())};
}

void QtWindowLayer::callBack(const std::function<void()>& callback)
{
    QOpenGLContext* context = QOpenGLContext::currentContext();
    QSurface* surface = context ? context->surface() : nullptr;
    callback();
    if (context && surface) context->makeCurrent(surface);
    handlerRan_ = true;
}
void QtWindowLayer::setSessionEndHandler(std::function<bool()> handler) { sessionEndHandler_ = std::move(handler); }

void QtWindowLayer::layoutToolbarStrip()
{
    const Window* main = find(windowMain);
    if (!main || !main->client) return;
    const int width = main->client->width();
    if (toolbarStrip_) toolbarStrip_->setGeometry(0, 0, width, toolbarStripHeight);
    if (toolbar_) toolbar_->setGeometry(0, 0, width, toolbarStripHeight);
}
