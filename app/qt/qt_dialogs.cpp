// qt_dialogs.cpp: the window layer's modal operations: message boxes, the
// one-line text prompt, questions with buttons and the file dialogs. Other
// windows are disabled while one is open.
#include "app/qt/qt_support.h"

#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>

namespace {

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

}  // namespace

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
    // Saving, a name typed without an extension takes the chosen filter's;
    // the dialog itself changes the extension of the name when the filter changes.
    const auto useSuffixOf = [&dialog](const QString& nameFilter) {
        const QRegularExpression firstPattern(QStringLiteral("\\*\\.(\\w+)"));
        const QRegularExpressionMatch match = firstPattern.match(nameFilter);
        if (match.hasMatch()) dialog.setDefaultSuffix(match.captured(1));
    };
    if (save && filters.size() > 1) {
        useSuffixOf(dialog.selectedNameFilter());
        QObject::connect(&dialog, &QFileDialog::filterSelected, &dialog, useSuffixOf);
    }

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
