#include "Tolvi/app/HistoryArchiveFlows.h"

#include "Tolvi/design/ArchiveProgress.h"
#include "Tolvi/app/ErrorDescription.h"
#include "Tolvi/platform/shell/Alerts.h"
#include "Tolvi/platform/shell/DesktopWorkspace.h"
#include "Tolvi/platform/shell/FilePanels.h"
#include "TolviCore/archive/ClipboardHistoryArchive.h"
#include "TolviCore/model/ClipboardHistoryImportError.h"
#include "TolviCore/persistence/PersistenceError.h"
#include "TolviCore/persistence/PrivateAtomicFileWriter.h"
#include "TolviCore/store/ClipboardStore.h"

#include <QFile>
#include <QFileInfo>
#include <QPointer>

#include <utility>

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tolvi {

namespace {

const QStringList kJsonFilter{QStringLiteral("JSON (*.json)")};

void showFailure(Alerts& alerts, const QString& message, const QString& informativeText)
{
    AlertRequest alert;
    alert.style = AlertStyle::warning;
    alert.message = message;
    alert.informativeText = informativeText;
    alert.buttons = {QStringLiteral("OK")};
    alert.escapeButton = 0;
    alerts.run(alert);
}

// Reads the chosen archive. A named pipe is opened without waiting for a writer (a plain
// open would hold the job until one came); once open, it is read as any file, and a pipe nobody
// writes to reads as empty. Only a regular file has a size worth trusting: anything larger than an
// archive may be is refused before it is read, anything else is read with a cap.
ClipboardHistoryState readArchive(const QString& path, JobProgress& progress)
{
    const QByteArray encoded = QFile::encodeName(path);
    int fd;
    do {
        fd = ::open(encoded.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    } while (fd < 0 && errno == EINTR);
    if (fd < 0)
        throwSystemError("open");
    struct Closer {
        int fd;
        ~Closer() { ::close(fd); }
    } closer{fd};
    struct stat info {};
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_size > HistoryImporter::maximumFileBytes)
        throw ClipboardHistoryImportError(ClipboardHistoryImportError::Case::tooLarge);
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) < 0)
        throwSystemError("fcntl");
    return ClipboardHistoryArchive::read(fd, [&](double fraction) { return progress.reportAndContinue(fraction); });
}

bool wasCancelled(const std::exception_ptr& failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const ClipboardHistoryArchive::Cancelled&) {
        return true;
    } catch (...) {
        return false;
    }
}

QString describe(const std::exception_ptr& failure)
{
    try {
        std::rethrow_exception(failure);
    } catch (const std::exception& error) {
        return errorDescription(error);
    } catch (...) {
        return QStringLiteral("An unknown error occurred.");
    }
}

} // namespace

void HistoryExporter::exportHistory(ClipboardStore& store, FilePanels& panels, Alerts& alerts,
                                    DesktopWorkspace& workspace, QWidget* parent)
{
    SavePanelRequest request;
    request.title = QStringLiteral("Export Clipboard History");
    request.message =
        QStringLiteral("This unencrypted file includes copied text, images, source app names, and boards. "
                       "Save it somewhere private.");
    request.prompt = QStringLiteral("Export");
    request.proposedFileName = QStringLiteral("Tolvi-History.json");
    request.nameFilters = kJsonFilter;
    const std::optional<QString> path = panels.chooseSaveLocation(request);
    if (!path || path->isEmpty())
        return;

    // The history of this moment, shared with the store (no copy); encoded and written on a
    // thread of its own while every window goes on.
    const ClipboardHistoryState state{store.items(), store.pinboards()};
    ArchiveProgressDialog progress(QStringLiteral("Exporting History\u2026"), parent);
    const std::exception_ptr failure = progress.run([&](JobProgress& job) {
        ClipboardHistoryArchive::writeFile(state, *path,
                                           [&](double fraction) { return job.reportAndContinue(fraction); });
    });
    if (failure) {
        if (!wasCancelled(failure))
            showFailure(alerts, QStringLiteral("History could not be exported"),
                        QStringLiteral("Choose another save location and try again. ") + describe(failure));
        return;
    }
    workspace.revealFile(*path);
}

void HistoryImporter::importHistory(ClipboardStore& store, FilePanels& panels, Alerts& alerts, QWidget* parent)
{
    OpenPanelRequest request;
    request.title = QStringLiteral("Import Tolvi History");
    request.prompt = QStringLiteral("Preview Import");
    request.nameFilters = kJsonFilter;
    const std::optional<QString> path = panels.chooseFileToOpen(request);
    if (!path || path->isEmpty())
        return;

    const QString failureMessage = QStringLiteral("History could not be imported");
    // Read and parsed once, and previewed against the history of this moment, on a thread of its
    // own: the preview and the merge both use this state.
    ClipboardHistoryState archive;
    ClipboardImportPreview preview;
    {
        ClipboardStore::ImportBasis basis;
        try {
            basis = store.importBasis();
        } catch (const std::exception& error) {
            showFailure(alerts, failureMessage, errorDescription(error));
            return;
        }
        ArchiveProgressDialog reading(QStringLiteral("Reading Archive\u2026"), parent);
        const std::exception_ptr failure = reading.run([&](JobProgress& job) {
            archive = readArchive(*path, job);
            ClipboardHistoryArchive::validate(archive);
            preview = ClipboardStore::mergedHistory(std::exchange(basis, {}), archive).second;
        });
        if (failure) {
            if (!wasCancelled(failure))
                showFailure(alerts, failureMessage, describe(failure));
            return;
        }
    }

    AlertRequest confirm;
    confirm.style = AlertStyle::informational;
    confirm.message = QStringLiteral("Merge this archive into history?");
    confirm.informativeText =
        QStringLiteral("New clips: %1\nMatching clips: %2\nNew boards: %3\n\n"
                       "Existing clips stay in history. Matching clips keep their pins and board memberships.")
            .arg(preview.addedItems)
            .arg(preview.mergedItems)
            .arg(preview.addedBoards);
    confirm.buttons = {QStringLiteral("Merge History"), QStringLiteral("Cancel")};
    confirm.defaultButton = 0;
    confirm.escapeButton = 1;
    if (alerts.run(confirm) != std::optional<int>(0))
        return;

    // The merged history is written off the main thread; the store publishes it once it is on
    // disk. A write under way cannot be taken back, so this part has no Cancel.
    ArchiveProgressDialog saving(QStringLiteral("Saving Merged History\u2026"), parent);
    saving.setCancellable(false);
    const auto failure = std::make_shared<std::optional<QString>>();
    try {
        store.mergeImportAsync(archive, [failure, sheet = QPointer<ArchiveProgressDialog>(&saving)](
                                            const std::optional<QString>& outcome) {
            *failure = outcome;
            if (sheet)
                sheet->finish();
        });
    } catch (const std::exception& error) {
        showFailure(alerts, failureMessage, errorDescription(error));
        return;
    }
    archive = {};
    if (!saving.showUntilFinished())
        return; // the program is quitting; it finishes the write before it goes
    if (*failure) {
        showFailure(alerts, failureMessage, **failure);
        return;
    }
    AlertRequest done;
    done.message = QStringLiteral("History imported");
    done.informativeText =
        QStringLiteral("The merged history was saved. Open History to inspect your clips and boards.");
    done.buttons = {QStringLiteral("OK")};
    done.escapeButton = 0;
    alerts.run(done);
}

} // namespace tolvi
