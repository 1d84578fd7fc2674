#include "Tolvi/platform/shell/DesktopWorkspace.h"

#include <QDBusMessage>
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
    if (showItemsInFileManager(absolute))
        return true;
    return openUrl(QUrl::fromLocalFile(QFileInfo(absolute).absolutePath()));
}

bool SystemDesktopWorkspace::showItemsInFileManager(const QString& filePath)
{
    if (!m_bus.isConnected())
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(kFileManagerService, kFileManagerPath,
                                                       kFileManagerInterface, QStringLiteral("ShowItems"));
    call << QStringList{QUrl::fromLocalFile(filePath).toString(QUrl::FullyEncoded)} << QString();
    const QDBusMessage reply = m_bus.call(call, QDBus::Block, m_busTimeoutMs);
    return reply.type() == QDBusMessage::ReplyMessage;
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
