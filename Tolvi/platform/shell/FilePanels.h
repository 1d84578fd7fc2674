#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class QFileDialog;
class QWidget;

namespace tolvi {

// A panel to pick an existing file (or a folder).
struct OpenPanelRequest {
    QString title;
    QString prompt;             // the accept button's title
    QString directory;          // the folder shown first; empty: defaultPanelFolder()
    QStringList nameFilters;    // as QFileDialog takes them, e.g. "JSON (*.json)"
    bool choosesDirectories = false;

    friend bool operator==(const OpenPanelRequest&, const OpenPanelRequest&) = default;
};

// A panel to pick where a new file goes.
struct SavePanelRequest {
    QString title;
    QString message;            // a note shown above the file list; empty: none
    QString prompt;
    QString directory;          // the folder shown first; empty: defaultPanelFolder()
    QString proposedFileName;
    QStringList nameFilters;
    bool canCreateDirectories = true;

    friend bool operator==(const SavePanelRequest&, const SavePanelRequest&) = default;
};

// Modal open and save panels on the main thread. Each call blocks until the user answers and
// gives the chosen absolute path, or nothing when the panel was cancelled.
class FilePanels {
public:
    virtual ~FilePanels() = default;
    virtual std::optional<QString> chooseFileToOpen(const OpenPanelRequest& request) = 0;
    virtual std::optional<QString> chooseSaveLocation(const SavePanelRequest& request) = 0;
};

// File dialogs of the desktop (or Qt's own ones when native dialogs are turned off).
class QtFilePanels final : public FilePanels {
public:
    explicit QtFilePanels(QWidget* parent = nullptr, bool useNativeDialogs = true);

    std::optional<QString> chooseFileToOpen(const OpenPanelRequest& request) override;
    std::optional<QString> chooseSaveLocation(const SavePanelRequest& request) override;

private:
    QWidget* m_parent;
    bool m_useNativeDialogs;
};

// The user's documents folder, or the home folder where there is none.
QString defaultPanelFolder();

// The toolkit's file dialog set up for a request: first folder, mode, filters, accept button
// and, for a save panel, the proposed name and the note. `useNativeDialog`: whether the desktop's own dialog may
// stand in for it (never for a save panel with a note: a desktop dialog has no place for one).
// The title is the dialog's constructor's.
void prepareFileDialog(QFileDialog& dialog, const OpenPanelRequest& request, bool useNativeDialog);
void prepareFileDialog(QFileDialog& dialog, const SavePanelRequest& request, bool useNativeDialog);
// The path chosen in a dialog that finished with `result`; nothing when it was cancelled.
std::optional<QString> chosenPath(const QFileDialog& dialog, int result);

// Answers panels from a script and keeps every request.
class FakeFilePanels final : public FilePanels {
public:
    std::optional<QString> chooseFileToOpen(const OpenPanelRequest& request) override;
    std::optional<QString> chooseSaveLocation(const SavePanelRequest& request) override;

    QList<OpenPanelRequest> openRequests;
    QList<SavePanelRequest> saveRequests;
    // Answers in order; once used up, panels are cancelled.
    QList<std::optional<QString>> openAnswers;
    QList<std::optional<QString>> saveAnswers;
};

} // namespace tolvi
