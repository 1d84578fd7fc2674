#pragma once

#include "Tolvi/services/capture/CaptureLog.h"
#include "Tolvi/services/capture/ImageRecognition.h"
#include "Tolvi/services/capture/Scheduler.h"

#include "TolviCore/model/ClipboardContent.h"
#include "TolviCore/model/ClipboardItem.h"
#include "TolviCore/model/ClipboardOriginalPayload.h"
#include "TolviCore/model/ClipboardSourceApp.h"

#include <QObject>
#include <QString>

#include <functional>
#include <optional>

namespace tolvi {

class AppExclusionStore;
class CapturePreferences;
class ClipboardStore;
class Pasteboard;
class Workspace;

// Watches the clipboard while capture is on and records each new copy into the history store:
// one made in another program with the program that was in front, one made in this program
// (Copy in one of our windows) with no source. Looks at the change count at once whenever the
// pasteboard announces a copy or has written one of ours, and also every 0.45 s unless nothing
// can change unseen: when the pasteboard announces every change and every switch of the program
// in front is reported, it looks only then and sleeps in between. It drops a change, for good,
// when it is a paste's write of ours, when it carries a marker type, when the front program
// changed since the previous look, while exclusions are unreadable or the front program is
// excluded, when nothing readable is there, or when anything changed while it was being read.
// Starts text recognition for new images. Lives on the main thread.
//
// A copy the pasteboard announces is credited to the program in front when it was noticed, and
// "the previous look" is then the last change of the active window reported through
// frontApplicationChanged(): switching programs right after copying keeps the copy.
class PasteboardMonitor : public QObject {
    Q_OBJECT
public:
    using SourceApplication = std::function<std::optional<ClipboardSourceApp>()>;

    static constexpr double pollInterval = 0.45;

    struct Dependencies {
        Pasteboard& pasteboard;
        ClipboardStore& store;
        AppExclusionStore& exclusions;
        const CapturePreferences& preferences;
        Scheduler& scheduler;
        SourceApplication sourceApplication;
        // Empty: the OCR client (ocrClientRecognizer()).
        RecognizeImage recognize;
        CaptureLogSink log = defaultCaptureLog();
        // Every change of the active window is reported through frontApplicationChanged(): a look
        // that finds no new copy then asks the desktop nothing (the program in front is known),
        // and with a pasteboard that announces every change no timer runs at all.
        bool frontApplicationChangesReported = false;
    };

    // Takes the current change count minus one as seen and looks at the front program once;
    // starts nothing.
    explicit PasteboardMonitor(Dependencies dependencies, QObject* parent = nullptr);
    ~PasteboardMonitor() override;

    // With recordExistingClipboard false, what is on the clipboard now counts as seen. Polls at
    // once, then on every announcement and, unless pollsOnlyOnAnnouncements(), every
    // pollInterval. Does nothing while running.
    void start(bool recordExistingClipboard = false);
    void stop();
    bool isRunning() const { return running_; }
    // The pasteboard announces every change and the front program's switches are reported: no
    // timer runs (asked at start()).
    bool pollsOnlyOnAnnouncements() const;

    void poll();
    // The active window changed: the program in front now is the one later copies compare with.
    void frontApplicationChanged();
    // Recognises the text of one image clip again (not for images the recogniser could not read).
    void retryOCR(const ClipboardItem& item);

    // The front program as a clip's source: nothing when no program is in front or when it is
    // this program (recognised by its process id).
    static std::optional<ClipboardSourceApp> frontmostSourceApplication(Workspace& workspace);

    qint64 lastChangeCount() const { return lastChangeCount_; }

private:
    // The program in front when the pasteboard noticed a copy, kept until a poll takes the copy.
    struct NoticedChange {
        std::optional<ClipboardSourceApp> source;
        bool sameSource = true;
    };
    void changeNoticed();
    // Takes in the program in front now as the one later copies are compared with.
    void observeFrontApplication();

    struct Content {
        ClipboardContent content;
        std::optional<ClipboardOriginalPayload> payload;
    };
    QStringList offeredTypes();
    std::optional<Content> currentContent();
    std::optional<ClipboardImage> imageFromPasteboard();
    bool captureIsEnabled(const ClipboardContent& content) const;
    void runOCRIfNeeded(const ClipboardContent& content);
    void recognize(const ClipboardImage& image, const QUuid& token);
    void log(const QString& line) const;

    Dependencies deps_;
    qint64 lastChangeCount_ = 0;
    std::optional<QString> lastObservedSourceBundleIdentifier_;
    std::optional<NoticedChange> noticedChange_;
    bool running_ = false;
    bool decodersSought_ = false;
    std::optional<Scheduler::TimerId> timer_;
    quint64 monitoringGeneration_ = 0;
};

} // namespace tolvi
