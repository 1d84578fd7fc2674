#pragma once

#include "Tolvi/updater/UpdateController.h"
#include "Tolvi/updater/UpdateVersion.h"

#include <QNetworkReply>
#include <QObject>
#include <QPointer>
#include <QSslCertificate>
#include <QUrl>

#include <functional>
#include <memory>

class QNetworkAccessManager;


namespace tolvi {

class KeyValueSettings;

// What the user sees of a check. A background check only ever calls updateAvailable.
struct UpdatePresenter {
    std::function<void(const UpdateFeedEntry& entry)> updateAvailable;
    std::function<void(const QString& currentVersion)> upToDate;
    std::function<void(const QString& message)> checkFailed;
};

// Checks a small JSON feed over HTTPS and offers the download page of a newer version.
// It never downloads or installs anything itself: the user opens the page.
class FeedUpdateController : public QObject, public UpdateController {
    Q_OBJECT
public:
    // Settings key of the user's automatic-check switch (absent: on).
    static constexpr const char* kAutomaticChecksKey = "tolvi.updates.automaticallyChecks";
    static constexpr qint64 kMaximumFeedBytes = 64 * 1024;

    FeedUpdateController(QUrl feedURL, QString currentVersion, KeyValueSettings& settings,
                         UpdatePresenter presenter, QObject* parent = nullptr);
    ~FeedUpdateController() override;

    // The build's feed address (empty when this build has none, or when it is not https://).
    static QUrl buildFeedURL();

    bool automaticallyChecksForUpdates() const override;
    void setAutomaticallyDownloadsUpdates(bool enabled) override;
    void checkForUpdatesInBackground() override;
    void checkForUpdates() override;

    void setTransferTimeout(int milliseconds) { m_transferTimeoutMs = milliseconds; }
    // Trusted beside the system's certificate authorities (tests: their local server's own).
    void setExtraTrustedCertificates(QList<QSslCertificate> certificates) { m_extraTrusted = std::move(certificates); }
    bool isChecking() const { return m_reply != nullptr; }

signals:
    void checkFinished();

private:
    void startCheck(bool userInitiated);
    void finish(QNetworkReply* reply, bool userInitiated);

    QUrl m_feedURL;
    QString m_currentVersion;
    KeyValueSettings& m_settings;
    UpdatePresenter m_presenter;
    std::unique_ptr<QNetworkAccessManager> m_network;
    QPointer<QNetworkReply> m_reply;
    bool m_pendingUserCheck = false;
    int m_transferTimeoutMs = 15000;
    QList<QSslCertificate> m_extraTrusted;
};

} // namespace tolvi
