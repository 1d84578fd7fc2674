#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUuid>

#include <functional>
#include <optional>

namespace tolvi {

// Text typed into one of the program's editors and not saved.
struct UnsavedDraft {
    // Which editor holds it: one of the kind names below.
    QString editor;
    // The clip being edited; none for a new snippet.
    std::optional<QUuid> clipID;
    // The text as last saved (the clip's text when the editor opened on it).
    QString originalText;
    // The text as typed.
    QString editedText;

    static inline const QString compactEditor = QStringLiteral("compact");
    static inline const QString quickEdit = QStringLiteral("quickEdit");
    static inline const QString newSnippet = QStringLiteral("newSnippet");

    friend bool operator==(const UnsavedDraft&, const UnsavedDraft&) = default;
};

// Keeps typed text when the program ends. Every editor that can hold typed text joins with
// what it holds, how it asks about dropping it, and how it takes a kept draft back:
//  - when the session manager asks before a logout, each editor with typed text raises its own
//    "Discard unsaved changes?" question, and "Keep Editing" cancels the logout;
//  - when the program is ended without that question (SIGTERM, a logout that allows no
//    questions, Quit), the typed text goes into a private file ("unsaved-drafts.json", mode
//    0600, in the folder of the history file), which the next run reads at start and hands back
//    to each editor as it joins; the file goes once every draft is handed back.
// Main thread.
class UnsavedDrafts : public QObject {
    Q_OBJECT
public:
    struct Editor {
        QString kind;
        // The typed text that is not saved, if any.
        std::function<std::optional<UnsavedDraft>()> unsaved;
        // Raises the editor's own question about its unsaved text without blocking, and calls
        // `answered` once: true when the user dropped the text, false to keep editing.
        std::function<void(std::function<void(bool dropped)>)> askToDiscard;
        // Takes back a draft kept at the end of an earlier run.
        std::function<void(const UnsavedDraft&)> offer;
    };

    enum class CommitAnswer { proceed, cancel };

    explicit UnsavedDrafts(QString filePath = QString(), QObject* parent = nullptr);
    // `unixSecondsNow`: the clock for the dated name of a file set aside (tests set it).
    UnsavedDrafts(QString filePath, std::function<qint64()> unixSecondsNow, QObject* parent = nullptr);

    // The largest drafts file read: far above what editors hold (three editors of at most a few
    // hundred thousand characters each), far below what would strain memory at start.
    static constexpr qint64 maximumFileBytes = 100'000'000;
    ~UnsavedDrafts() override;

    // "unsaved-drafts.json" beside the history file.
    static QString filePathBeside(const QString& historyFilePath);
    const QString& filePath() const { return m_filePath; }

    // An editor joins for as long as `owner` lives. A draft of its kind kept by an earlier run
    // is offered to it once control returns to the event loop.
    void add(QObject* owner, Editor editor);

    // Reads the drafts an earlier run kept: only a regular file of the user's own, opened without
    // waiting and never through a link, of at most maximumFileBytes. A file of the user's that
    // cannot be read or understood (damaged, too large, or written by a newer Tolvi) is left as it
    // is, with a log line, and never removed: when there are drafts to keep, keep() first renames
    // it "unsaved-drafts.unreadable-<unix seconds>.json" beside. Anything else under the name (a
    // FIFO, a device, a link, another user's file) holds no text of ours: it is never read or
    // removed, and replaced only when there are drafts to keep. Reading a small file at start,
    // before any window shows.
    void recover();
    const QList<UnsavedDraft>& recovered() const { return m_recovered; }
    bool hasRecovered(const QString& kind) const;

    // The unsaved text of every editor now.
    QList<UnsavedDraft> unsavedDrafts() const;
    // Writes every editor's unsaved text, and the kept drafts not yet handed back, to the file;
    // removes the file when there is none. False (with a log line) when it could not be written.
    bool keep();
    // The session manager's commit-data request. With typed text and `mayAsk` granting
    // interaction, each editor asks its own question in turn (the session manager waits for the
    // answers): "Keep Editing" answers cancel. Without interaction the text is kept in the file.
    CommitAnswer commitData(const std::function<bool()>& mayAsk);

private:
    struct Entry {
        QPointer<QObject> owner;
        Editor editor;
    };
    void offerRecovered(const Entry& entry);
    // Renames the unreadable file to a dated name beside; false when it could not.
    bool setAside();

    QString m_filePath;
    std::function<qint64()> m_unixSecondsNow;
    // The file under the name is the user's but could not be read or understood.
    bool m_unreadable = false;
    // Something that is not a drafts file stands under the name.
    bool m_nameTaken = false;
    QList<Entry> m_editors;
    QList<UnsavedDraft> m_recovered;
    bool m_asking = false;
};

} // namespace tolvi
