#pragma once

#include "Tolvi/platform/x11/DesktopEntries.h"
#include "Tolvi/platform/desktop/Workspace.h"

#include <QDialog>
#include <QImage>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;

namespace tolvi {

class AppExclusionStore;

// One application the user may exclude, as the chooser lists it.
struct ExclusionCandidate {
    enum class Source { openWindow, desktopEntry };

    Source source = Source::desktopEntry;
    QString name;
    // The identifier capture compares against (the window class); nothing when it cannot be
    // known, and then the candidate cannot be chosen.
    std::optional<QString> windowClass;
    bool isAlreadyExcluded = false;
    QImage icon;

    bool canBeChosen() const { return windowClass && !isAlreadyExcluded; }
    // The row's second line: the window class, or why the row cannot be chosen.
    QString detail() const;
};

// The apps the user can recognise: those with windows open now, then the applications of the
// desktop's menus, this program excepted. An entry's window class is its StartupWMClass, else
// the class of its open windows.
QList<ExclusionCandidate> exclusionCandidates(const QList<RunningApplication>& running,
                                              const QList<DesktopEntries::Application>& applications,
                                              const AppExclusionStore& exclusions, const QString& ownIdentifier);

// The icon of a desktop entry, read from the icon folders beside the applications folders (or
// from its absolute path), at side x side pixels; null when none is found. Reads files: never
// on the main thread.
QImage desktopEntryIcon(const QString& icon, const QStringList& applicationFolders, int side);

// "Choose an App to Exclude": a window-modal list of candidates with a filter field. The open
// windows are asked for when it opens; the desktop entries and their icons are read on a worker
// thread. "Exclude App" adds the chosen app to the exclusion store under its window class.
class ExcludedAppChooser : public QDialog {
    Q_OBJECT
public:
    static inline const QString title = QStringLiteral("Choose an App to Exclude");
    static inline const QString prompt = QStringLiteral("Exclude App");

    ExcludedAppChooser(AppExclusionStore& exclusions, Workspace& workspace, QStringList applicationFolders,
                       QString ownIdentifier, QWidget* parent);
    ~ExcludedAppChooser() override;

    // Shows the chooser attached to its parent window and starts reading the entries.
    void present();

    bool isLoading() const { return m_isLoading; }
    const QList<ExclusionCandidate>& candidates() const { return m_candidates; }
    QListWidget* list() const { return m_list; }
    QLineEdit* filterField() const { return m_filter; }
    QPushButton* excludeButton() const { return m_exclude; }
    // Selects the first row of that name that can be chosen; whether there was one.
    bool selectCandidate(const QString& name, ExclusionCandidate::Source source);

signals:
    void candidatesLoaded();

private:
    struct LoadedEntry {
        DesktopEntries::Application application;
        QImage icon;
    };
    void entriesLoaded(const QList<LoadedEntry>& entries);
    void rebuildList();
    void applyFilter();
    void updateButton();
    void excludeSelected();

    AppExclusionStore& m_exclusions;
    Workspace& m_workspace;
    QStringList m_folders;
    QString m_ownIdentifier;
    QList<RunningApplication> m_running;
    QList<ExclusionCandidate> m_candidates;
    // The candidates the list's rows were last built from.
    QList<ExclusionCandidate> m_previousCandidates;
    bool m_isLoading = false;
    quint64 m_generation = 0;

    QLineEdit* m_filter = nullptr;
    QListWidget* m_list = nullptr;
    QLabel* m_status = nullptr;
    QPushButton* m_exclude = nullptr;
};

} // namespace tolvi
