// ClipLensView's derived values: what the pane offers and says for an input, worked out from
// the input alone.

#include "Tolvi/inspector/ClipLensView.h"

#include "Tolvi/clipviews/OCRStatusLabel.h"
#include "Tolvi/clipviews/PasteAsMenu.h"
#include "Tolvi/inspector/ClipLensViewParts.h"
#include "Tolvi/inspector/ClipPreviewSurface.h"
#include "Tolvi/inspector/LooksLikeCode.h"

#include <array>

namespace tolvi {

using OCRStatus = ClipboardStore::OCRStatus;

namespace lensview {

bool hasFileReferences(const ClipboardItem& item)
{
    return item.originalPayload() && !item.originalPayload()->fileURLs().isEmpty();
}

QStringList fileURLsOf(const ClipboardItem& item)
{
    return hasFileReferences(item) ? item.originalPayload()->fileURLs() : QStringList();
}

} // namespace lensview

using lensview::fileURLsOf;

// ---- Derived values ---------------------------------------------------------------------

bool ClipLensView::canRetryOCR(const Input& input, bool canRetry)
{
    if (!canRetry)
        return false;
    const ClipboardImage* image = input.item.content().imageIf();
    if (!image)
        return false;
    if (input.ocrStatus) {
        switch (*input.ocrStatus) {
        case OCRStatus::noText:
        case OCRStatus::failed:
        case OCRStatus::timedOut:
        case OCRStatus::busy:
        case OCRStatus::cancelled:
            return true;
        case OCRStatus::processing:
        case OCRStatus::unsupportedImage:
            return false;
        }
        return false;
    }
    if (input.isRecognizingText)
        return false;
    return !image->recognizedText() || image->recognizedText()->trimmed().isEmpty();
}

std::optional<QString> ClipLensView::ocrExplanation(const Input& input)
{
    if (!input.item.content().isImage())
        return std::nullopt;
    const std::optional<OCRStatus> status =
        input.ocrStatus ? input.ocrStatus : (input.isRecognizingText ? std::optional(OCRStatus::processing) : std::nullopt);
    if (!status)
        return std::nullopt;
    switch (*status) {
    case OCRStatus::processing:
        return QStringLiteral("The first scan can take up to a minute. This image is still available to copy or paste.");
    case OCRStatus::noText:
        return std::nullopt;
    case OCRStatus::failed:
        return QStringLiteral("Try reading the text again. The image is still available to copy or paste.");
    case OCRStatus::unsupportedImage:
        return QStringLiteral("This image format or size cannot be processed.");
    case OCRStatus::timedOut:
        return QStringLiteral("Text recognition took too long. The image is still available to copy or paste.");
    case OCRStatus::busy:
        return QStringLiteral("Text recognition is still finishing another image. Try again shortly.");
    case OCRStatus::cancelled:
        return QStringLiteral("The recognition request was cancelled. The image is still available to copy or paste.");
    }
    return std::nullopt;
}

std::optional<QString> ClipLensView::ocrAnnouncement(const Input& input)
{
    if (!input.item.content().isImage())
        return std::nullopt;
    if (input.ocrStatus)
        return OCRStatusLabel::presentation(*input.ocrStatus).message;
    if (input.isRecognizingText)
        return OCRStatusLabel::presentation(OCRStatus::processing).message;
    return std::nullopt;
}

bool ClipLensView::looksLikeCode(const QString& text)
{
    return ::tolvi::looksLikeCode(QStringView(text));
}

QList<TextTransform> ClipLensView::prioritizedTransforms(const QString& text)
{
    // The most specific first; case changes, sorting, quoting and numbering stay in the menus.
    static constexpr std::array<TextTransform::Case, 10> priority{
        TextTransform::cleanURL,       TextTransform::markdownLink,   TextTransform::prettyJSON,
        TextTransform::emailDraft,     TextTransform::codeBlock,      TextTransform::trimWhitespace,
        TextTransform::collapseSpaces, TextTransform::checklist,      TextTransform::bulletList,
        TextTransform::slugify,
    };
    constexpr qsizetype shown = 6;
    const QList<TextTransform> available = TextTransform::available(text);
    QList<TextTransform> result;
    for (TextTransform::Case candidate : priority) {
        if (result.size() == shown)
            break;
        if (available.contains(TextTransform(candidate)))
            result.append(candidate);
    }
    return result;
}

QString ClipLensView::systemImage(TextTransform transform)
{
    // The Paste As menu lists every transform with the same symbol.
    return PasteAsMenu::systemImage(transform);
}

QList<ClipLensView::BoardEntry> ClipLensView::boardEntries(const ClipboardItem& item, const QList<Pinboard>& boards)
{
    QList<BoardEntry> entries;
    entries.reserve(boards.size());
    for (const Pinboard& board : boards) {
        const bool holds = item.pinboardIDs().contains(board.id());
        QString text = board.name();
        text.replace(QLatin1Char('&'), QStringLiteral("&&"));
        entries.append({board, text, holds ? QStringLiteral("checkmark.circle.fill") : board.systemName(), holds});
    }
    return entries;
}

QString ClipLensView::copiedPaths(const ClipboardItem& item)
{
    QStringList paths;
    for (const QString& url : fileURLsOf(item))
        paths.append(ClipFileList::path(url));
    return paths.join(QLatin1Char('\n'));
}

} // namespace tolvi
