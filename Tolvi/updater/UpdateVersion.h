#pragma once

#include <QString>
#include <QUrl>

#include <optional>

namespace tolvi {

// Compares dotted version strings numerically ("0.10" is newer than "0.9"); missing
// components count as 0 ("1.2" == "1.2.0"). Returns <0, 0 or >0 like strcmp. Text that
// is not a dotted version sorts before every version.
int compareVersions(const QString& a, const QString& b);
bool isDottedVersion(const QString& text);

// One entry of the update feed: the newest version and the page to get it from.
struct UpdateFeedEntry {
    QString version;
    QUrl downloadPage;
};

// An absolute https:// address with a host: the only kind the updater reads from or offers.
bool isSecureWebAddress(const QUrl& url);

// Reads the feed document: a JSON object with the text fields "version" (a dotted version)
// and "url" (an https address). Anything else is not a feed.
std::optional<UpdateFeedEntry> parseUpdateFeed(const QByteArray& json);

} // namespace tolvi
