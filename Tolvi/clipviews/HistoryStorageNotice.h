#pragma once

#include "Tolvi/clipviews/SpokenNotice.h"
#include "TolviCore/store/ClipboardStore.h"

#include <QPointer>
#include <QString>
#include <QUrl>

#include <functional>
#include <optional>

class QLabel;
class QPushButton;

namespace tolvi {

// The banner about the history store's trouble: the last refused capture or edit on a line of
// its own, and below it a storage block while the history file could not be read or the latest
// write failed, with the ways out ("Retry", "Show History Folder", and for a failed write
// "Export Copy…"). Changes are spoken through an announcement element. It renders the store's
// published values whenever they change and hides itself while the store is healthy and
// nothing was refused.
class HistoryStorageNotice : public SpokenNotice {
    Q_OBJECT
public:
    struct Actions {
        // The history file; "Show History Folder" opens the folder that holds it. Empty: the
        // default location of the file persistence.
        QString historyFilePath;
        // Opens a folder in the file manager; QDesktopServices::openUrl when not set.
        std::function<bool(const QUrl&)> openUrl;
        // Asks for a destination and writes an export archive of the history held in memory.
        // Without it a failed write offers no "Export Copy…".
        std::function<void()> exportCopy;
    };

    // The actions of the notice in a window: "Export Copy…" runs `exportHistory` with its dialogs
    // over `window` (while the window lives); an empty `exportHistory` offers no export.
    static Actions actionsFor(QWidget* window, QString historyFilePath, std::function<bool(const QUrl&)> openUrl,
                              std::function<void(QWidget* parent)> exportHistory);

    HistoryStorageNotice(ClipboardStore& store, Actions actions, QWidget* parent = nullptr);
    ~HistoryStorageNotice() override;

    // The spoken message: the storage issue's when there is one, else the capture issue.
    static std::optional<QString> announcement(std::optional<ClipboardStore::StorageIssue> storageIssue,
                                               const std::optional<QString>& captureIssue);
    // The folder "Show History Folder" opens.
    QUrl historyFolderUrl() const;

    bool showsCaptureIssue() const;
    bool showsStorageIssue() const;
    // The buttons of the storage block; null while the block (or, for export, a failed write)
    // is not shown.
    QPushButton* retryButton() const;
    QPushButton* showFolderButton() const;
    QPushButton* exportButton() const;

private:
    void render();
    void retry();
    void showFolder();
    void exportCopy();

    QPointer<ClipboardStore> m_store;
    Actions m_actions;

    QWidget* m_captureLine = nullptr;
    QLabel* m_captureText = nullptr;
    QWidget* m_storageBlock = nullptr;
    QLabel* m_title = nullptr;
    QLabel* m_detail = nullptr;
    QPushButton* m_retry = nullptr;
    QPushButton* m_showFolder = nullptr;
    QPushButton* m_export = nullptr;
};

} // namespace tolvi
