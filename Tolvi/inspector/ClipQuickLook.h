#pragma once

#include "Tolvi/inspector/ClipDetectedKind.h"
#include "TolviCore/model/ClipboardItem.h"

#include <QList>
#include <QLocale>
#include <QString>
#include <QStringView>
#include <QTimeZone>
#include <QUrl>

#include <optional>

namespace tolvi {

class ClipboardStore;

// The three views of the full-size preview, in the order its picker offers them.
enum class QuickLookTab { preview, ocr, details };

// What the full-size preview derives from its clip. Nothing here is kept: the preview works
// every value out again from the clip as the store holds it now.
namespace ClipQuickLook {

// A web address held by a text clip: the text as written (trimmed) and its host as written (no
// lower-casing, no punycode). The address to hand to the desktop is made when it is asked for:
// a QUrl holds another copy of an address that may be megabytes long.
struct Link {
    QString absoluteString;
    std::optional<QString> host;
    QUrl url() const { return QUrl(absoluteString, QUrl::StrictMode); }
};

// The clip's text trimmed of white space and line breaks, when it parses strictly as a URI whose
// scheme is http or https in any letter case. Nothing for other schemes and for images.
std::optional<Link> linkURL(const ClipboardItem& item);

// An image's recognised text trimmed of white space and line breaks; nothing when it has none,
// when only blanks were recognised, and for texts.
std::optional<QString> ocrText(const ClipboardItem& item);

// Preview, then OCR when there is recognised text, then Details.
QList<QuickLookTab> availableTabs(const ClipboardItem& item);
// The tab to show: the selected one while it is offered, else Preview.
QuickLookTab normalizedTab(QuickLookTab selected, const QList<QuickLookTab>& available);

// The tab's segment label and symbol.
QString tabTitle(QuickLookTab tab);
QString tabSystemImage(QuickLookTab tab);

// Non-empty runs of characters between separators: a character whose first code point is white
// space or a line break separates words.
qsizetype wordCount(QStringView text);

// Whether a text is shown monospaced: it looks like code, or it has more than one line.
bool usesMonospacedFont(const QString& text);

// What the preview shows about a clip that takes a look at all of its text: its kind, its web
// address and whether the text is shown monospaced. The preview works it out off the main
// thread for a long text.
struct TextFindings {
    ClipDetectedKind kind;
    std::optional<Link> link;
    bool monospaced = false;
};
TextFindings findings(const ClipboardItem& item);

// One row of the details table.
struct DetailRow {
    QString title;
    QString value;
    QString systemImage;
    friend bool operator==(const DetailRow&, const DetailRow&) = default;
};

// A text's characters and words.
struct TextCounts {
    qsizetype characters = 0;
    qsizetype words = 0;
};
TextCounts textCounts(QStringView text);

// Kind, Created, Source; then Dimensions, Size and OCR for an image, or Characters, Words and
// (for a link) Link Host for a text; then Pinned and Boards. A long text is not counted here:
// its counts are those given (counted off the main thread), "Counting..." until they are.
QList<DetailRow> detailRows(const ClipboardItem& item, const QLocale& locale = QLocale(),
                            const QTimeZone& timeZone = QTimeZone::systemTimeZone(),
                            std::optional<TextCounts> counts = std::nullopt);
// The same with the clip's findings worked out already (they read the whole text); the kind
// says "Detecting..." while they are not there yet.
QList<DetailRow> detailRows(const ClipboardItem& item, const std::optional<TextFindings>& findings,
                            std::optional<TextCounts> counts);

// Said in place of the kind while the findings of a long text are worked out.
QString detectingText();

// The creation time as the details show it: the locale's abbreviated date and short time.
QString createdText(double createdAt, const QLocale& locale = QLocale(),
                    const QTimeZone& timeZone = QTimeZone::systemTimeZone());

// The clip a preview of `shown` shows once the history changed: the clip with its id; else the
// clip recorded again in its place (copying a clip records it anew under another id); nothing
// when the clip is gone.
std::optional<ClipboardItem> currentClip(const ClipboardStore& store, const ClipboardItem& shown);

} // namespace ClipQuickLook
} // namespace tolvi
