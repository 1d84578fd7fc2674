#include "Tolvi/updater/FeedUpdateController.h"

#include "Tolvi/platform/settings/KeyValueSettings.h"

#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QSslConfiguration>

namespace tolvi {

FeedUpdateController::FeedUpdateController(QUrl feedURL, QString currentVersion, KeyValueSettings& settings,
                                           UpdatePresenter presenter, QObject* parent)
    : QObject(parent),
      m_feedURL(std::move(feedURL)),
      m_currentVersion(std::move(currentVersion)),
      m_settings(settings),
      m_presenter(std::move(presenter)),
      m_network(std::make_unique<QNetworkAccessManager>())
{
    m_network->setCookieJar(nullptr);
}

FeedUpdateController::~FeedUpdateController()
{
    if (m_reply) {
        // Aborting finishes the reply at once: its result must not reach the user now.
        disconnect(m_reply, nullptr, this, nullptr);
        m_reply->abort();
    }
}

QUrl FeedUpdateController::buildFeedURL()
{
    const QUrl feed(QStringLiteral(TOLVI_UPDATE_FEED_URL), QUrl::StrictMode);
    return isSecureWebAddress(feed) ? feed : QUrl();
}

bool FeedUpdateController::automaticallyChecksForUpdates() const
{
    const QString key = QString::fromLatin1(kAutomaticChecksKey);
    return !m_settings.contains(key) || m_settings.boolean(key);
}

void FeedUpdateController::setAutomaticallyDownloadsUpdates(bool)
{
    // Nothing to switch off: this controller never downloads anything by itself.
}

void FeedUpdateController::checkForUpdatesInBackground()
{
    startCheck(false);
}

void FeedUpdateController::checkForUpdates()
{
    startCheck(true);
}

void FeedUpdateController::startCheck(bool userInitiated)
{
    if (m_reply) {
        // A check is already under way; a user asking meanwhile gets its result shown.
        m_pendingUserCheck = m_pendingUserCheck || userInitiated;
        return;
    }
    m_pendingUserCheck = userInitiated;
    // Only over https: a feed read in clear could send the user to any download page.
    if (!isSecureWebAddress(m_feedURL)) {
        if (userInitiated && m_presenter.checkFailed)
            m_presenter.checkFailed(QStringLiteral("This build of Tolvi has no update feed."));
        return;
    }
    QNetworkRequest request(m_feedURL);
    if (!m_extraTrusted.isEmpty()) {
        QSslConfiguration tls = request.sslConfiguration();
        tls.addCaCertificates(m_extraTrusted);
        request.setSslConfiguration(tls);
    }
    request.setAttribute(QNetworkRequest::CacheLoadControlAttribute, QNetworkRequest::AlwaysNetwork);
    request.setAttribute(QNetworkRequest::CacheSaveControlAttribute, false);
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    request.setTransferTimeout(m_transferTimeoutMs);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Tolvi/%1").arg(m_currentVersion));
    QNetworkReply* reply = m_network->get(request);
    m_reply = reply;
    connect(reply, &QNetworkReply::downloadProgress, reply, [reply](qint64 received, qint64) {
        if (received > kMaximumFeedBytes)
            reply->abort();
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply] { finish(reply, m_pendingUserCheck); });
}

void FeedUpdateController::finish(QNetworkReply* reply, bool userInitiated)
{
    reply->deleteLater();
    m_reply = nullptr;
    m_pendingUserCheck = false;

    const QVariant status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    const QByteArray body = reply->bytesAvailable() <= kMaximumFeedBytes ? reply->readAll() : QByteArray();
    std::optional<UpdateFeedEntry> entry;
    if (reply->error() == QNetworkReply::NoError && status.toInt() >= 200 && status.toInt() < 300)
        entry = parseUpdateFeed(body);

    if (!entry) {
        if (userInitiated && m_presenter.checkFailed)
            m_presenter.checkFailed(QStringLiteral("Tolvi could not check for updates. Try again later."));
    } else if (compareVersions(entry->version, m_currentVersion) > 0) {
        if (m_presenter.updateAvailable)
            m_presenter.updateAvailable(*entry);
    } else if (userInitiated && m_presenter.upToDate) {
        m_presenter.upToDate(m_currentVersion);
    }
    emit checkFinished();
}

} // namespace tolvi
