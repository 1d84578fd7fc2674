#pragma once

#include "TolviCore/model/ClipboardItem.h"

#include <QLocale>
#include <QString>
#include <QTimeZone>

namespace tolvi {

// The short texts every list of clips shows: a one-line preview, the metadata line under it and
// the age of a clip. Times are seconds since 2001-01-01 00:00:00 UTC. Limits count user-perceived
// characters.
namespace ClipboardFormatter {

// The names of the referenced files, "Image <size>" for an image, or the text, on one line.
QString menuPreview(const ClipboardItem& item, int limit);

// CR, LF and tab become blanks, bidirectional controls their visible marks
// (TextCharacters::bidiControlMark), runs of blanks collapse and the ends are trimmed; beyond `limit`
// characters the first `limit` - 1 are kept and "..." appended (a limit of 0 or less keeps none).
// A character of more than TextCharacters::piecePictographs emoji keeps only those, and "..."
// follows them.
QString singleLinePreview(const QString& text, int limit);

// Texts are counted up to this many characters in the metadata line ("1000000+ chars" beyond).
constexpr qsizetype countedCharacterLimit = 1'000'000;

// "Pinned - " when pinned, the age, " - " and the size detail, and " - " and the source
// application's name when known.
QString metadata(const ClipboardItem& item, double now, const QLocale& locale = QLocale(),
                 const QTimeZone& timeZone = QTimeZone::systemTimeZone());

// "Just now", "N min ago", "N hr ago", "N days ago", or the date in the medium style. Any time,
// including one that is absurd or not a number, gives a text.
QString relativeTimestamp(double date, double now, const QLocale& locale = QLocale(),
                          const QTimeZone& timeZone = QTimeZone::systemTimeZone());

// The last path component of a file URL, percent-decoded ("My File.txt" for
// file:///a/My%20File.txt).
QString fileName(const QString& fileURL);

} // namespace ClipboardFormatter
} // namespace tolvi
