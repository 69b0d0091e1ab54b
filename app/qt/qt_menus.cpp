// qt_menus.cpp: the window layer's menu bar and toolbar: items and buttons
// carry command ids and report them as command events.
#include "app/qt/qt_support.h"

#include <QAction>
#include <QLayout>
#include <QMainWindow>
#include <QMenuBar>
#include <QStyle>
#include <QToolBar>
#include <QToolButton>

namespace {

// Menu texts carry no mnemonics, so a literal "&" must stay one.
QString menuText(std::string_view text) { return qs(text).replace(QLatin1Char('&'), QLatin1String("&&")); }

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

}  // namespace

bool QtWindowLayer::createMenuBar()
{
    Window* main = find(windowMain);
    if (!main || !main->topLevel) return false;
    destroyMenuBar();
    // One bar for the window's life, emptied and filled again: a bar taken
    // away and another put in its place would move the views below it for
    // a moment, and the layout made meanwhile can outlast it.
    if (!menuBar_) {
        auto* mainWindow = static_cast<QMainWindow*>(main->topLevel.get());
        menuBar_ = new QMenuBar(mainWindow);
        menuBar_->setNativeMenuBar(false);
        mainWindow->setMenuBar(menuBar_);
    }
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

void QtWindowLayer::setMenuItemChecked(int32_t id, bool checked)
{
    auto it = menuActions_.find(id);
    if (it == menuActions_.end() || !it->second) return;
    it->second->setCheckable(true);
    it->second->setChecked(checked);
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
    // Its menus go later: one of them may be the menu whose item runs this.
    if (menuBar_) {
        for (QAction* menu : menuBar_->actions()) {
            menuBar_->removeAction(menu);
            if (QMenu* owned = menu->menu()) owned->deleteLater();
        }
    }
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
    // The active tool's button reads as pressed in, not merely hovered.
    bar->setStyleSheet(QStringLiteral("QToolBar { border: 0px; padding: 0px; spacing: 0px; }"
                                      "QToolButton:checked { background-color: #c3d6f0; border: 1px solid #3d6fb6;"
                                      " border-radius: 2px; }"));
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

void QtWindowLayer::setToolbarButtonChecked(int32_t id, bool checked)
{
    auto it = toolbarActions_.find(id);
    if (it == toolbarActions_.end() || !it->second) return;
    it->second->setCheckable(true);
    it->second->setChecked(checked);
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
