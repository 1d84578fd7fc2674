#include "Tolvi/platform/shell/DesktopWorkspace.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileInfo>

namespace tolvi {

namespace {

const QString kFileManagerService = QStringLiteral("org.freedesktop.FileManager1");
const QString kFileManagerPath = QStringLiteral("/org/freedesktop/FileManager1");
const QString kFileManagerInterface = QStringLiteral("org.freedesktop.FileManager1");

} // namespace

SystemDesktopWorkspace::SystemDesktopWorkspace()
    : SystemDesktopWorkspace(QDBusConnection::sessionBus(), &QDesktopServices::openUrl)
{
}

SystemDesktopWorkspace::SystemDesktopWorkspace(QDBusConnection bus, UrlOpener urlOpener, int busTimeoutMs)
    : m_bus(std::move(bus))
    , m_urlOpener(std::move(urlOpener))
    , m_busTimeoutMs(busTimeoutMs)
{
}

bool SystemDesktopWorkspace::openUrl(const QUrl& url)
{
    if (!url.isValid() || !m_urlOpener)
        return false;
    return m_urlOpener(url);
}

bool SystemDesktopWorkspace::revealFile(const QString& filePath)
{
    if (filePath.isEmpty())
        return false;
    const QString absolute = QFileInfo(filePath).absoluteFilePath();
    const QUrl folder = QUrl::fromLocalFile(QFileInfo(absolute).absolutePath());
    if (!m_bus.isConnected())
        return openUrl(folder);
    // The file manager may take its time (or never answer): the call goes out without waiting,
    // and its folder is opened instead once it has failed.
    QDBusMessage call = QDBusMessage::createMethodCall(kFileManagerService, kFileManagerPath,
                                                       kFileManagerInterface, QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(absolute).toString(QUrl::FullyEncoded)} << QString();
    auto* watcher = new QDBusPendingCallWatcher(m_bus.asyncCall(call, m_busTimeoutMs));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [opener = m_urlOpener, folder](QDBusPendingCallWatcher* finished) {
                         finished->deleteLater();
                         if (finished->isError() && opener)
                             opener(folder);
                     });
    return true;
}

bool FakeDesktopWorkspace::openUrl(const QUrl& url)
{
    openedUrls.append(url);
    return succeeds;
}

bool FakeDesktopWorkspace::revealFile(const QString& filePath)
{
    revealedFiles.append(filePath);
    return succeeds;
}

} // namespace tolvi
