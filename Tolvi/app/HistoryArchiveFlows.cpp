#include "Tolvi/app/HistoryArchiveFlows.h"

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

#include <cerrno>
#include <fcntl.h>
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
// open would hold the program until one came, with no way out); once open, it is read
// as any file, and a pipe nobody writes to reads as empty.
ClipboardHistoryState readArchive(const QString& path)
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
    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) < 0)
        throwSystemError("fcntl");
    return ClipboardHistoryArchive::read(fd);
}

} // namespace

void HistoryExporter::exportHistory(ClipboardStore& store, FilePanels& panels, Alerts& alerts,
                                    DesktopWorkspace& workspace)
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

    try {
        const QByteArray archive = store.archiveData();
        PrivateAtomicFileWriter::write(archive, *path);
    } catch (const std::exception& error) {
        showFailure(alerts, QStringLiteral("History could not be exported"),
                    QStringLiteral("Choose another save location and try again. ") + errorDescription(error));
        return;
    }
    workspace.revealFile(*path);
}

void HistoryImporter::importHistory(ClipboardStore& store, FilePanels& panels, Alerts& alerts)
{
    OpenPanelRequest request;
    request.title = QStringLiteral("Import Tolvi History");
    request.prompt = QStringLiteral("Preview Import");
    request.nameFilters = kJsonFilter;
    const std::optional<QString> path = panels.chooseFileToOpen(request);
    if (!path || path->isEmpty())
        return;

    const QString failureMessage = QStringLiteral("History could not be imported");
    ClipboardHistoryState archive;
    ClipboardImportPreview preview;
    try {
        // Only a regular file has a size worth trusting; anything else is read with a cap.
        const QFileInfo info(*path);
        if (info.isFile() && info.size() > maximumFileBytes)
            throw ClipboardHistoryImportError(ClipboardHistoryImportError::Case::tooLarge);
        // Parsed once: the preview and the merge both use this state.
        archive = readArchive(*path);
        preview = store.previewImport(archive);
    } catch (const std::exception& error) {
        showFailure(alerts, failureMessage, errorDescription(error));
        return;
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

    try {
        store.mergeImport(archive);
    } catch (const std::exception& error) {
        showFailure(alerts, failureMessage, errorDescription(error));
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
