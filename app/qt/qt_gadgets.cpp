// qt_gadgets.cpp: the window layer's gadgets: text fields, static texts,
// buttons, combo boxes and up-down controls inside a window, addressed by id.
#include "app/qt/qt_support.h"

#include <QComboBox>
#include <QFontMetrics>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QToolButton>

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

void QtWindowLayer::createButton(int32_t window, int32_t id, int32_t x, int32_t y, int32_t width, int32_t height,
                                 std::string_view text)
{
    Window* w = find(window);
    if (!w || !w->client) return;
    auto* button = new QPushButton(qs(text), w->client);
    // Return belongs to the window (it applies), not to whichever button has the focus.
    button->setAutoDefault(false);
    connect(button, &QPushButton::clicked, this, [this, window, id] { pushControl(window, id, notifyClicked); });
    placeGadget(window, id, button, x, y, width, height);
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
    if (auto* button = qobject_cast<QPushButton*>(g)) return utf8(button->text());
    return {};
}

void QtWindowLayer::setGadgetText(int32_t window, int32_t id, std::string_view text)
{
    QWidget* g = gadget(window, id);
    if (auto* field = qobject_cast<QLineEdit*>(g)) field->setText(qs(text));
    if (auto* label = qobject_cast<QLabel*>(g)) label->setText(qs(text));
    if (auto* button = qobject_cast<QPushButton*>(g)) button->setText(qs(text));
}

int32_t QtWindowLayer::comboSelection(int32_t window, int32_t id) const
{
    auto* combo = qobject_cast<QComboBox*>(gadget(window, id));
    return combo ? combo->currentIndex() : 0;
}
