#include "Tolvi/services/capture/PasteboardMonitor.h"

#include "Tolvi/services/capture/AppExclusionStore.h"
#include "Tolvi/services/capture/CapturePreferences.h"
#include "Tolvi/services/capture/ClipboardOriginalPayloadReader.h"
#include "Tolvi/services/capture/OCRClientRecognizer.h"

#include "Tolvi/platform/pasteboard/Pasteboard.h"
#include "Tolvi/platform/pasteboard/PasteboardTypes.h"
#include "Tolvi/platform/desktop/Workspace.h"

#include "TolviCore/concurrency/WaitingWorkPool.h"
#include "TolviCore/model/ReferenceDate.h"
#include "TolviCore/store/ClipboardStore.h"

#include "ocr-protocol/OCRRasterPolicy.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QMetaObject>
#include <QPointer>
#include <QThreadPool>

#include <utility>

namespace tolvi {

// The program later copies are compared with, each time it is taken in (off unless asked for):
// the program's identifier, never anything copied.
Q_LOGGING_CATEGORY(lcFrontApplication, "tolvi.capture.front", QtInfoMsg)

namespace {

std::optional<QString> identifierOf(const std::optional<ClipboardSourceApp>& app)
{
    if (!app)
        return std::nullopt;
    return app->bundleIdentifier();
}

// Type names come from other programs: any bytes, any length. Only a bounded, printable form of
// them goes into the log.
QString typesForLog(const std::optional<QStringList>& types)
{
    if (!types)
        return QStringLiteral("none");
    constexpr qsizetype maximumTypes = 24;
    QStringList shown;
    for (qsizetype i = 0; i < types->size() && i < maximumTypes; ++i)
        shown.append(PasteboardTypes::sanitizedForLog(types->at(i), 80));
    if (types->size() > maximumTypes)
        shown.append(QStringLiteral("..."));
    return shown.join(QStringLiteral(", "));
}

} // namespace

PasteboardMonitor::PasteboardMonitor(Dependencies dependencies, QObject* parent)
    : QObject(parent), deps_(std::move(dependencies))
{
    if (!deps_.recognize)
        deps_.recognize = ocrClientRecognizer();
    lastChangeCount_ = deps_.pasteboard.changeCount() - 1;
    if (deps_.sourceApplication)
        observeFrontApplication();
    connect(&deps_.pasteboard, &Pasteboard::changeNoticed, this, &PasteboardMonitor::changeNoticed);
    // The same step as a tick of the timer, just sooner: nothing waits for the next tick (and
    // where nothing changes unannounced, there is no tick at all).
    connect(&deps_.pasteboard, &Pasteboard::changed, this, [this] {
        if (running_)
            poll();
    });
    // A copy of ours is announced by nobody else. Looked at once the call that made it is over,
    // so that no window's action is still under way when the history changes.
    connect(
        &deps_.pasteboard, &Pasteboard::copyWritten, this,
        [this] {
            if (running_)
                poll();
        },
        Qt::QueuedConnection);
}

void PasteboardMonitor::changeNoticed()
{
    if (!running_)
        return;
    // The first image taken asks which decoders are installed, and learning that loads every
    // image plugin: a worker does it while the first copy is still being read.
    if (!decodersSought_) {
        decodersSought_ = true;
        waitingWorkPool().start(&OCRRasterPolicy::findInstalledDecoders);
    }
    // The pasteboard reports only the newest of copies made faster than they could be read: a
    // copy noticed and not yet read when the next one is noticed was replaced before it was read.
    if (noticedChange_)
        log(QStringLiteral("Tolvi skipped clipboard change replaced before it was read"));
    NoticedChange noticed;
    noticed.source = deps_.sourceApplication ? deps_.sourceApplication() : std::nullopt;
    const std::optional<QString> identifier = identifierOf(noticed.source);
    noticed.sameSource = identifier == lastObservedSourceBundleIdentifier_;
    lastObservedSourceBundleIdentifier_ = identifier;
    noticedChange_ = std::move(noticed);
}

void PasteboardMonitor::frontApplicationChanged()
{
    if (deps_.sourceApplication)
        observeFrontApplication();
}

void PasteboardMonitor::observeFrontApplication()
{
    lastObservedSourceBundleIdentifier_ = identifierOf(deps_.sourceApplication());
    qCDebug(lcFrontApplication).noquote()
        << "Tolvi front application:"
        << PasteboardTypes::sanitizedForLog(lastObservedSourceBundleIdentifier_.value_or(QStringLiteral("none")), 255);
}

PasteboardMonitor::~PasteboardMonitor()
{
    stop();
}

void PasteboardMonitor::log(const QString& line) const
{
    if (deps_.log)
        deps_.log(line);
}

std::optional<ClipboardSourceApp> PasteboardMonitor::frontmostSourceApplication(Workspace& workspace)
{
    const std::optional<RunningApplication> front = workspace.frontmostApplication();
    if (!front)
        return std::nullopt;
    // Copies made in this program carry no source. Recognised by process, never by identifier:
    // programs without an identifier are not us.
    if (front->pid && workspace.isOwnProcess(*front->pid))
        return std::nullopt;
    QString name = front->name;
    if (name.trimmed().isEmpty())
        name = front->identifier.value_or(QString());
    return ClipboardSourceApp(name, front->identifier);
}

bool PasteboardMonitor::pollsOnlyOnAnnouncements() const
{
    // A tick could find only what the pasteboard announces anyway (a copy of ours is announced
    // as written; a paste's write needs no look: the next announced copy is seen past it), and
    // the program in front is known without asking: nothing for a tick to do.
    return deps_.frontApplicationChangesReported && deps_.pasteboard.announcesEveryChange();
}

void PasteboardMonitor::start(bool recordExistingClipboard)
{
    if (running_)
        return;
    running_ = true;
    if (!recordExistingClipboard)
        lastChangeCount_ = deps_.pasteboard.changeCount();
    noticedChange_.reset();
    const quint64 generation = ++monitoringGeneration_;
    if (!pollsOnlyOnAnnouncements()) {
        QPointer<PasteboardMonitor> self(this);
        timer_ = deps_.scheduler.scheduleRepeating(pollInterval, [self, generation] {
            if (!self || !self->running_ || self->monitoringGeneration_ != generation)
                return;
            self->poll();
        });
    }
    poll();
}

void PasteboardMonitor::stop()
{
    ++monitoringGeneration_;
    running_ = false;
    if (timer_) {
        deps_.scheduler.cancel(*timer_);
        timer_.reset();
    }
}

QStringList PasteboardMonitor::offeredTypes()
{
    QStringList types = deps_.pasteboard.types().value_or(QStringList());
    const int count = deps_.pasteboard.itemCount();
    for (int i = 0; i < count; ++i)
        types += deps_.pasteboard.itemTypes(i);
    return types;
}

void PasteboardMonitor::poll()
{
    const qint64 changeCount = deps_.pasteboard.changeCount();
    if (changeCount == lastChangeCount_ && deps_.frontApplicationChangesReported)
        return;
    // A copy the pasteboard announced carries the front program of the moment it was noticed.
    std::optional<NoticedChange> noticed;
    if (changeCount != lastChangeCount_)
        noticed = std::exchange(noticedChange_, std::nullopt);

    // 1. The front program when the copy was made, against the one seen at the previous look.
    std::optional<ClipboardSourceApp> firstSource;
    bool sameSource = true;
    if (noticed) {
        firstSource = noticed->source;
        sameSource = noticed->sameSource;
    } else {
        firstSource = deps_.sourceApplication ? deps_.sourceApplication() : std::nullopt;
        sameSource = identifierOf(firstSource) == lastObservedSourceBundleIdentifier_;
        lastObservedSourceBundleIdentifier_ = identifierOf(firstSource);
    }
    const quint64 generation = monitoringGeneration_;

    // 2. A new change is consumed whatever happens to it below.
    if (changeCount == lastChangeCount_)
        return;
    lastChangeCount_ = changeCount;
    // A paste of ours (or a write that failed) is no new copy: the pasted clip stays as it was.
    // A copy of ours was made in this program, whichever window is in front: it has no source.
    const bool ownCopy = deps_.pasteboard.holdsOwnCopy();
    if (!ownCopy && deps_.pasteboard.holdsOwnWrite())
        return;
    if (ownCopy) {
        firstSource.reset();
        sameSource = true;
    }
    const std::optional<QString> firstIdentifier = identifierOf(firstSource);

    // 3-4. Marker types: dropped silently, before anything is read.
    if (!ClipboardCapturePolicy::shouldCapture(offeredTypes()))
        return;

    // 5.
    if (!sameSource) {
        log(QStringLiteral("Tolvi skipped clipboard change after source app transition"));
        return;
    }
    // 6. Unreadable exclusions block every capture.
    if (deps_.exclusions.loadIssue() || deps_.exclusions.excludes(firstIdentifier)) {
        log(QStringLiteral("Tolvi skipped excluded source app"));
        return;
    }
    // 7.
    const std::optional<Content> content = currentContent();
    if (!content) {
        log(QStringLiteral("Tolvi skipped unsupported pasteboard types: ") + typesForLog(deps_.pasteboard.types()));
        return;
    }
    // 8. Everything that allowed the capture must still hold after the read. The program a
    // noticed copy was made in stays its source, whatever is in front by now; ours has none.
    std::optional<ClipboardSourceApp> secondSource = firstSource;
    if (!noticed && !ownCopy) {
        secondSource = deps_.sourceApplication ? deps_.sourceApplication() : std::nullopt;
        lastObservedSourceBundleIdentifier_ = identifierOf(secondSource);
    }
    const std::optional<QString> secondIdentifier = identifierOf(secondSource);
    if (monitoringGeneration_ != generation || secondIdentifier != firstIdentifier ||
        deps_.exclusions.loadIssue() || deps_.exclusions.excludes(secondIdentifier) ||
        !captureIsEnabled(content->content)) {
        log(QStringLiteral("Tolvi skipped clipboard change after capture eligibility changed"));
        return;
    }
    // 9.
    if (!ClipboardCapturePolicy::shouldCapture(offeredTypes()) || deps_.pasteboard.changeCount() != changeCount) {
        log(QStringLiteral("Tolvi skipped clipboard change during representation read"));
        return;
    }
    // 10.
    if (deps_.store.record(content->content, ReferenceDate::now(), secondSource, content->payload)) {
        log(QStringLiteral("Tolvi recorded clipboard item"));
        runOCRIfNeeded(content->content);
    }
}

std::optional<PasteboardMonitor::Content> PasteboardMonitor::currentContent()
{
    if (deps_.preferences.capturesText()) {
        if (std::optional<ClipboardOriginalPayloadReader::Result> read =
                ClipboardOriginalPayloadReader::read(deps_.pasteboard))
            return Content{ClipboardContent::text(read->text), read->payload};
    }
    // File references are never captured as images.
    const int count = deps_.pasteboard.itemCount();
    for (int i = 0; i < count; ++i) {
        if (deps_.pasteboard.itemTypes(i).contains(PasteboardTypes::fileURL))
            return std::nullopt;
    }
    if (deps_.preferences.capturesImages()) {
        if (std::optional<ClipboardImage> image = imageFromPasteboard())
            return Content{ClipboardContent::image(*image), std::nullopt};
    }
    return std::nullopt;
}

std::optional<ClipboardImage> PasteboardMonitor::imageFromPasteboard()
{
    for (const QString& type : OCRRasterPolicy::supportedTypeIdentifiers()) {
        const std::optional<QByteArray> bytes = deps_.pasteboard.data(type);
        if (!bytes || bytes->isEmpty())
            continue;
        const std::optional<OCRRasterPolicy::Metadata> metadata = OCRRasterPolicy::metadata(*bytes);
        if (!metadata)
            return std::nullopt;
        return ClipboardImage(*bytes, metadata->typeIdentifier, metadata->width, metadata->height);
    }
    return std::nullopt;
}

bool PasteboardMonitor::captureIsEnabled(const ClipboardContent& content) const
{
    return content.isImage() ? deps_.preferences.capturesImages() : deps_.preferences.capturesText();
}

void PasteboardMonitor::runOCRIfNeeded(const ClipboardContent& content)
{
    const ClipboardImage* image = content.imageIf();
    if (!image)
        return;
    const QList<ClipboardItem> items = deps_.store.items();
    for (const ClipboardItem& item : items) {
        const ClipboardImage* stored = item.content().imageIf();
        if (!stored || !stored->hasSameFingerprint(*image))
            continue;
        if (stored->recognizedText() && !stored->recognizedText()->isEmpty())
            return;
        const std::optional<QUuid> token = deps_.store.beginOCR(item.id());
        if (!token)
            return;
        recognize(*stored, *token);
        return;
    }
}

void PasteboardMonitor::retryOCR(const ClipboardItem& item)
{
    const std::optional<ClipboardItem> stored = deps_.store.item(item.id());
    if (!stored)
        return;
    const ClipboardImage* image = stored->content().imageIf();
    if (!image)
        return;
    if (deps_.store.ocrStatusOf(*image) == ClipboardStore::OCRStatus::unsupportedImage)
        return;
    const std::optional<QUuid> token = deps_.store.beginOCR(stored->id());
    if (!token)
        return;
    recognize(*image, *token);
}

void PasteboardMonitor::recognize(const ClipboardImage& image, const QUuid& token)
{
    if (!deps_.recognize)
        return;
    QPointer<PasteboardMonitor> self(this);
    const QString fingerprint = image.fingerprint();
    deps_.recognize(image.data(), [self, token, fingerprint](ImageRecognitionOutcome outcome) {
        // The recogniser may answer from any thread: hop to the application's thread (where the
        // monitor and the store live) before anything is touched. A late answer for a request
        // that was replaced is ignored by the store's token check.
        QMetaObject::invokeMethod(
            QCoreApplication::instance(),
            [self, token, fingerprint, outcome] {
                if (self)
                    self->deps_.store.finishOCR(token, fingerprint, outcome.storeStatus(), outcome.storeText());
            },
            Qt::QueuedConnection);
    });
}

} // namespace tolvi
