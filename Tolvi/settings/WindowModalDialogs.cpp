#include "Tolvi/settings/WindowModalDialogs.h"

#include <QAbstractButton>
#include <QEventLoop>
#include <QFileDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>

namespace tolvi {

namespace {

// Opens the dialog attached to the window and waits until it is answered.
int openAndWait(QDialog& dialog)
{
    dialog.setWindowModality(Qt::WindowModal);
    QEventLoop loop;
    QObject::connect(&dialog, &QDialog::finished, &loop, &QEventLoop::quit);
    QObject::connect(&dialog, &QObject::destroyed, &loop, &QEventLoop::quit);
    dialog.open();
    if (dialog.isVisible())
        loop.exec();
    return dialog.result();
}

} // namespace

QMessageBox* WindowModalAlerts::makeBox(const AlertRequest& request, QWidget* parent, QList<QPushButton*>* made)
{
    auto* box = new QMessageBox(parent);
    switch (request.style) {
    case AlertStyle::informational:
        box->setIcon(QMessageBox::Information);
        break;
    case AlertStyle::warning:
        box->setIcon(QMessageBox::Warning);
        break;
    case AlertStyle::critical:
        box->setIcon(QMessageBox::Critical);
        break;
    }
    box->setWindowTitle(QStringLiteral("Tolvi"));
    box->setTextFormat(Qt::PlainText);
    box->setText(request.message);
    box->setInformativeText(request.informativeText);
    if (auto* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_informativelabel")))
        label->setTextFormat(Qt::PlainText);
    // One role for every button keeps them in the given order on every desktop.
    QList<QPushButton*> buttons;
    for (const QString& title : request.buttons)
        buttons.append(box->addButton(title, QMessageBox::ActionRole));
    if (request.defaultButton >= 0 && request.defaultButton < buttons.size())
        box->setDefaultButton(buttons.at(request.defaultButton));
    if (request.escapeButton && *request.escapeButton >= 0 && *request.escapeButton < buttons.size())
        box->setEscapeButton(buttons.at(*request.escapeButton));
    else
        box->setEscapeButton(static_cast<QAbstractButton*>(nullptr));
    if (made)
        *made = buttons;
    return box;
}

std::optional<int> WindowModalAlerts::run(const AlertRequest& request)
{
    QList<QPushButton*> buttons;
    QMessageBox* box = makeBox(request, m_window, &buttons);
    QPointer<QMessageBox> guard(box);
    openAndWait(*box);
    if (!guard)
        return std::nullopt;
    std::optional<int> answer;
    const qsizetype index = buttons.indexOf(qobject_cast<QPushButton*>(box->clickedButton()));
    if (index >= 0)
        answer = int(index);
    box->deleteLater();
    return answer;
}

// The toolkit's own dialogs: a desktop's dialog would be another program's window.
std::optional<QString> WindowModalFilePanels::chooseFileToOpen(const OpenPanelRequest& request)
{
    QFileDialog dialog(m_window, request.title, request.directory);
    prepareFileDialog(dialog, request, false);
    return chosenPath(dialog, openAndWait(dialog));
}

std::optional<QString> WindowModalFilePanels::chooseSaveLocation(const SavePanelRequest& request)
{
    QFileDialog dialog(m_window, request.title, request.directory);
    prepareFileDialog(dialog, request, false);
    return chosenPath(dialog, openAndWait(dialog));
}

QMessageBox* openConfirmation(QWidget* window, const QString& title, const QString& message,
                              const QString& actionTitle, std::function<void()> confirmed)
{
    AlertRequest request;
    request.style = AlertStyle::warning;
    request.message = title;
    request.informativeText = message;
    request.buttons = {actionTitle, QStringLiteral("Cancel")};
    request.defaultButton = 1;
    request.escapeButton = 1;
    QList<QPushButton*> buttons;
    QMessageBox* box = WindowModalAlerts::makeBox(request, window, &buttons);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setWindowModality(Qt::WindowModal);
    QAbstractButton* action = buttons.value(0);
    QObject::connect(box, &QMessageBox::buttonClicked, box,
                     [action, confirmed = std::move(confirmed)](QAbstractButton* clicked) {
                         if (clicked == action && confirmed)
                             confirmed();
                     });
    box->open();
    return box;
}

} // namespace tolvi
