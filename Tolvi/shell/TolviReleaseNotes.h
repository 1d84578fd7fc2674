#pragma once

#include <QList>
#include <QString>
#include <QUrl>
#include <QUuid>

namespace tolvi {

class BundleInfo;

// One highlight of the release notes. The id is fresh each time the notes are built.
struct ReleaseHighlight {
    QUuid id;
    QString systemImage;
    QString title;
    QString detail;

    friend bool operator==(const ReleaseHighlight&, const ReleaseHighlight&) = default;
};

// The notes of the running release, compiled in, shown by What's New.
struct TolviReleaseNotes {
    QString version;
    QString build;
    QString title;
    QString subtitle;
    QList<ReleaseHighlight> highlights;

    // Built anew on every call from the build's version ("0.1.8" when it has none) and
    // build number ("9" when it has none).
    static TolviReleaseNotes current(const BundleInfo& bundle);

    friend bool operator==(const TolviReleaseNotes&, const TolviReleaseNotes&) = default;
};

// The product web site's pages, opened in the user's browser.
namespace TolviLinks {
QUrl privacy();
QUrl support();
QUrl changelog();
QUrl terms();
} // namespace TolviLinks

} // namespace tolvi
