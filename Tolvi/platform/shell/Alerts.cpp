#include "Tolvi/platform/shell/Alerts.h"

#include <QAbstractButton>
#include <QMessageBox>
#include <QPushButton>

namespace tolvi {

QtAlerts::QtAlerts(QWidget* parent)
    : m_parent(parent)
{
}

std::optional<int> QtAlerts::run(const AlertRequest& request)
{
    QMessageBox box(m_parent);
    switch (request.style) {
    case AlertStyle::informational:
        box.setIcon(QMessageBox::Information);
        break;
    case AlertStyle::warning:
        box.setIcon(QMessageBox::Warning);
        break;
    case AlertStyle::critical:
        box.setIcon(QMessageBox::Critical);
        break;
    }
    box.setTextFormat(Qt::PlainText);
    box.setText(request.message);
    box.setInformativeText(request.informativeText);
    // Error descriptions may carry file names; keep them literal.
    if (auto* label = box.findChild<QWidget*>(QStringLiteral("qt_msgbox_informativelabel")))
        label->setProperty("textFormat", QVariant::fromValue(Qt::PlainText));

    // One role for every button keeps them in the given order on every desktop.
    QList<QPushButton*> buttons;
    for (const QString& title : request.buttons)
        buttons.append(box.addButton(title, QMessageBox::ActionRole));
    if (request.defaultButton >= 0 && request.defaultButton < buttons.size())
        box.setDefaultButton(buttons.at(request.defaultButton));
    if (request.escapeButton && *request.escapeButton >= 0 && *request.escapeButton < buttons.size())
        box.setEscapeButton(buttons.at(*request.escapeButton));
    else
        box.setEscapeButton(static_cast<QAbstractButton*>(nullptr));

    box.exec();
    const int index = buttons.indexOf(qobject_cast<QPushButton*>(box.clickedButton()));
    if (index < 0)
        return std::nullopt;
    return index;
}

std::optional<int> FakeAlerts::run(const AlertRequest& request)
{
    requests.append(request);
    if (!answers.isEmpty())
        return answers.takeFirst();
    return request.defaultButton;
}

} // namespace tolvi
