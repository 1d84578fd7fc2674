#pragma once

#include <QDBusConnection>
#include <QString>
#include <QStringList>
#include <QUrl>

#include <functional>

namespace tolvi {

// Opening addresses in the user's default applications and showing files in the file manager.
class DesktopWorkspace {
public:
    virtual ~DesktopWorkspace() = default;

    // Opens a web address, mail address or folder with the desktop's default handler.
    virtual bool openUrl(const QUrl& url) = 0;
    // Shows the file selected in the file manager, without waiting for it; false when nothing
    // could be asked for.
    virtual bool revealFile(const QString& filePath) = 0;
};

// The real desktop: addresses go to QDesktopServices; a file is revealed through the
// freedesktop file-manager interface (org.freedesktop.FileManager1 ShowItems on the session
// bus), asked asynchronously: when no file manager answers within the bus time-out (or the call
// fails), its folder is opened instead, from the event loop of the thread that asked.
class SystemDesktopWorkspace final : public DesktopWorkspace {
public:
    using UrlOpener = std::function<bool(const QUrl&)>;

    // The defaults are the session bus and QDesktopServices::openUrl.
    SystemDesktopWorkspace();
    SystemDesktopWorkspace(QDBusConnection bus, UrlOpener urlOpener, int busTimeoutMs = 5000);

    bool openUrl(const QUrl& url) override;
    bool revealFile(const QString& filePath) override;

private:
    QDBusConnection m_bus;
    UrlOpener m_urlOpener;
    int m_busTimeoutMs;
};

// Records what the program asked of the desktop.
class FakeDesktopWorkspace final : public DesktopWorkspace {
public:
    bool openUrl(const QUrl& url) override;
    bool revealFile(const QString& filePath) override;

    QList<QUrl> openedUrls;
    QStringList revealedFiles;
    bool succeeds = true;
};

} // namespace tolvi
