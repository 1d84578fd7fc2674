#include "Tolvi/platform/shell/FilePanels.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QStandardPaths>

namespace tolvi {

QString defaultPanelFolder()
{
    const QString documents = QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation);
    if (!documents.isEmpty() && QFileInfo(documents).isDir())
        return documents;
    return QDir::homePath();
}

namespace {

// The folder a dialog opens in: the request's, else the user's documents or home folder (never
// the folder the program happened to be started in).
void showFirstFolder(QFileDialog& dialog, const QString& requested)
{
    dialog.setDirectory(requested.isEmpty() ? defaultPanelFolder() : requested);
}

} // namespace

void prepareFileDialog(QFileDialog& dialog, const OpenPanelRequest& request, bool useNativeDialog)
{
    dialog.setOption(QFileDialog::DontUseNativeDialog, !useNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    showFirstFolder(dialog, request.directory);
    if (request.choosesDirectories) {
        dialog.setFileMode(QFileDialog::Directory);
        dialog.setOption(QFileDialog::ShowDirsOnly, true);
    } else {
        dialog.setFileMode(QFileDialog::ExistingFile);
    }
    if (!request.nameFilters.isEmpty())
        dialog.setNameFilters(request.nameFilters);
    if (!request.prompt.isEmpty())
        dialog.setLabelText(QFileDialog::Accept, request.prompt);
}

void prepareFileDialog(QFileDialog& dialog, const SavePanelRequest& request, bool useNativeDialog)
{
    dialog.setOption(QFileDialog::DontUseNativeDialog, !useNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    showFirstFolder(dialog, request.directory);
    dialog.setFileMode(QFileDialog::AnyFile);
    if (!request.canCreateDirectories)
        dialog.setOption(QFileDialog::ReadOnly, true);
    if (!request.nameFilters.isEmpty())
        dialog.setNameFilters(request.nameFilters);
    if (!request.prompt.isEmpty())
        dialog.setLabelText(QFileDialog::Accept, request.prompt);
    if (!request.proposedFileName.isEmpty())
        dialog.selectFile(request.proposedFileName);
    if (!request.message.isEmpty()) {
        // Desktop dialogs have no place for a note, so a dialog with a note is Qt's own.
        dialog.setOption(QFileDialog::DontUseNativeDialog, true);
        if (auto* grid = qobject_cast<QGridLayout*>(dialog.layout())) {
            auto* note = new QLabel(request.message, &dialog);
            note->setTextFormat(Qt::PlainText);
            note->setWordWrap(true);
            note->setObjectName(QStringLiteral("tolviSavePanelMessage"));
            grid->addWidget(note, grid->rowCount(), 0, 1, grid->columnCount());
        }
    }
}

std::optional<QString> chosenPath(const QFileDialog& dialog, int result)
{
    if (result != QDialog::Accepted)
        return std::nullopt;
    const QStringList files = dialog.selectedFiles();
    if (files.isEmpty() || files.first().isEmpty())
        return std::nullopt;
    return files.first();
}

QtFilePanels::QtFilePanels(QWidget* parent, bool useNativeDialogs)
    : m_parent(parent)
    , m_useNativeDialogs(useNativeDialogs)
{
}

std::optional<QString> QtFilePanels::chooseFileToOpen(const OpenPanelRequest& request)
{
    QFileDialog dialog(m_parent, request.title, request.directory);
    prepareFileDialog(dialog, request, m_useNativeDialogs);
    return chosenPath(dialog, dialog.exec());
}

std::optional<QString> QtFilePanels::chooseSaveLocation(const SavePanelRequest& request)
{
    QFileDialog dialog(m_parent, request.title, request.directory);
    prepareFileDialog(dialog, request, m_useNativeDialogs);
    return chosenPath(dialog, dialog.exec());
}

std::optional<QString> FakeFilePanels::chooseFileToOpen(const OpenPanelRequest& request)
{
    openRequests.append(request);
    if (openAnswers.isEmpty())
        return std::nullopt;
    return openAnswers.takeFirst();
}

std::optional<QString> FakeFilePanels::chooseSaveLocation(const SavePanelRequest& request)
{
    saveRequests.append(request);
    if (saveAnswers.isEmpty())
        return std::nullopt;
    return saveAnswers.takeFirst();
}

} // namespace tolvi
