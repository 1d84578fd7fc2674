#pragma once

#include "Tolvi/platform/shell/Alerts.h"
#include "Tolvi/platform/shell/FilePanels.h"

#include <QPointer>
#include <QWidget>

#include <functional>

class QMessageBox;
class QPushButton;

namespace tolvi {

// Alerts as message boxes attached to one window: window-modal and opened with open(), so they
// stay over that window (even an always-on-top panel) and never hide behind it. run() waits
// for the answer in a local event loop; the window keeps painting meanwhile.
class WindowModalAlerts final : public Alerts {
public:
    explicit WindowModalAlerts(QWidget* window) : m_window(window) {}
    std::optional<int> run(const AlertRequest& request) override;

    // The message box of a request, its buttons in the given order (also handed back through
    // `buttons`), not yet open.
    static QMessageBox* makeBox(const AlertRequest& request, QWidget* parent,
                                QList<QPushButton*>* buttons = nullptr);

private:
    QPointer<QWidget> m_window;
};

// Open and save panels attached to one window in the same way. They are the toolkit's own
// dialogs: a desktop's dialog would be another program's window, under which the settings
// window would count as inactive and hide.
class WindowModalFilePanels final : public FilePanels {
public:
    explicit WindowModalFilePanels(QWidget* window) : m_window(window) {}
    std::optional<QString> chooseFileToOpen(const OpenPanelRequest& request) override;
    std::optional<QString> chooseSaveLocation(const SavePanelRequest& request) override;

private:
    QPointer<QWidget> m_window;
};

// Asks before a destructive action, without waiting: a window-modal box with the action's
// button (destructive) first and "Cancel" second; only the action's button calls `confirmed`.
QMessageBox* openConfirmation(QWidget* window, const QString& title, const QString& message,
                              const QString& actionTitle, std::function<void()> confirmed);

} // namespace tolvi
