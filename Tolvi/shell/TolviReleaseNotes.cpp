#include "Tolvi/shell/TolviReleaseNotes.h"

#include "Tolvi/platform/shell/BundleInfo.h"

namespace tolvi {

namespace {

const QString kWebSite = QStringLiteral("https://tolvi.app");

ReleaseHighlight highlight(const char* systemImage, const char* title, const char* detail)
{
    return {QUuid::createUuid(), QString::fromUtf8(systemImage), QString::fromUtf8(title), QString::fromUtf8(detail)};
}

} // namespace

TolviReleaseNotes TolviReleaseNotes::current(const BundleInfo& bundle)
{
    TolviReleaseNotes notes;
    notes.version = bundle.value(QString::fromLatin1(bundlekey::shortVersion), QStringLiteral("0.1.8"));
    notes.build = bundle.value(QString::fromLatin1(bundlekey::buildNumber), QStringLiteral("9"));
    notes.title = QStringLiteral("Tolvi ") + notes.version;
    notes.subtitle = QStringLiteral("Two glass themes, safer paste queues, and a more resilient local clipboard.");
    notes.highlights = {
        highlight("circle.lefthalf.filled", "Light Glass and Dark Glass",
                  "Switch themes in the history header or Settings. Your choice carries across Tolvi windows and "
                  "stays saved."),
        highlight("list.number", "A queue you control",
                  "Mixed text, images, and files use a paste queue. Each step checks the destination app and pauses "
                  "when it reports a blocking dialog. Cancel stops the remaining steps."),
        highlight("arrow.up.arrow.down.doc", "Your local history archive",
                  "Export and restore clips, original formats, and boards in Privacy settings. Archives are "
                  "unencrypted; keep them private."),
    };
    return notes;
}

namespace TolviLinks {

QUrl privacy()
{
    static const QUrl url(kWebSite + QStringLiteral("/privacy"));
    return url;
}

QUrl support()
{
    static const QUrl url(kWebSite + QStringLiteral("/support"));
    return url;
}

QUrl changelog()
{
    static const QUrl url(kWebSite + QStringLiteral("/changelog"));
    return url;
}

QUrl terms()
{
    static const QUrl url(kWebSite + QStringLiteral("/terms"));
    return url;
}

} // namespace TolviLinks

} // namespace tolvi
