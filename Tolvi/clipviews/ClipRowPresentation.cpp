#include "Tolvi/clipviews/ClipRowPresentation.h"

#include "Tolvi/clipviews/OCRStatusLabel.h"
#include "TolviCore/search/ClipboardFormatter.h"

#include <QElapsedTimer>
#include <QStringList>
#include <QTimeZone>
#include <QTextDocument>
#include <QUrl>

namespace tolvi {

using TolviDesign::ColorToken;

namespace {

// The system's time zone for the rows' times: asking the system costs a look at its files, and a
// list paints many rows at once, so the answer is asked again at most once a second.
const QTimeZone& rowTimeZone()
{
    thread_local QTimeZone zone;
    thread_local QElapsedTimer asked;
    if (!asked.isValid() || asked.elapsed() >= 1000) {
        zone = QTimeZone::systemTimeZone();
        asked.start();
    }
    return zone;
}

const QStringList* fileURLs(const ClipboardItem& item)
{
    const auto& payload = item.originalPayload();
    if (!payload || payload->fileURLs().isEmpty())
        return nullptr;
    return &payload->fileURLs();
}

// Recognised text that counts as present: there and not empty (blanks count).
const QString* recognizedText(const ClipboardImage& image)
{
    const auto& text = image.recognizedText();
    return text && !text->isEmpty() ? &*text : nullptr;
}

QString boardCountText(qsizetype count)
{
    QString text = QString::number(count) + QLatin1String(" board");
    if (count != 1)
        text += QLatin1Char('s');
    return text;
}

} // namespace

ClipRecognitionState ClipRecognitionState::of(const ClipboardStore& store, const ClipboardItem& item)
{
    ClipRecognitionState state;
    // A row's image gets its fingerprint worked out only where an image like it has OCR state.
    if (const ClipboardImage* image = item.content().imageIf()) {
        state.isRecognizingText = store.isRecognizing(*image);
        state.ocrStatus = store.ocrStatusOf(*image);
    }
    return state;
}

namespace ClipRowText {

bool hasFileReferences(const ClipboardItem& item)
{
    return fileURLs(item) != nullptr;
}

QString displayName(const QString& fileURL)
{
    QString name = ClipboardFormatter::fileName(fileURL);
    if (!name.isEmpty())
        return name;
    const QString path = QUrl(fileURL).path();
    return path.isEmpty() ? fileURL : path;
}

QString accessibilityLabel(const ClipboardItem& item)
{
    if (hasFileReferences(item))
        return ClipboardFormatter::menuPreview(item, 120);
    if (const QString* text = item.content().textIf())
        return ClipboardFormatter::singleLinePreview(*text, 120);
    return QStringLiteral("Image, ") + item.content().imageValue().pixelDescription();
}

std::optional<QString> ocrPhrase(const ClipboardItem& item, bool isRecognizingText,
                                 const std::optional<ClipboardStore::OCRStatus>& ocrStatus)
{
    const ClipboardImage* image = item.content().imageIf();
    if (!image)
        return std::nullopt;
    if (isRecognizingText)
        return QStringLiteral("Reading image text");
    if (ocrStatus)
        return OCRStatusLabel::presentation(*ocrStatus).message;
    if (const QString* text = recognizedText(*image))
        return QStringLiteral("Recognized text: ") + ClipboardFormatter::singleLinePreview(*text, 120);
    return std::nullopt;
}

QString accessibilityValue(const ClipboardItem& item, double now, bool isQueued, bool isRecognizingText,
                           const std::optional<ClipboardStore::OCRStatus>& ocrStatus)
{
    QStringList parts{ClipboardFormatter::metadata(item, now)};
    if (const qsizetype boards = item.pinboardIDs().size(); boards > 0)
        parts.append(boardCountText(boards));
    if (auto phrase = ocrPhrase(item, isRecognizingText, ocrStatus))
        parts.append(*phrase);
    if (isQueued)
        parts.append(QStringLiteral("Selected for multi-paste"));
    return parts.join(QLatin1String(", "));
}

QString shortcutLabel(int number)
{
    return QStringLiteral("Quick paste shortcut ") + QString::number(number);
}

QString plainToolTip(const QString& line)
{
    // Tooltips take rich text when it looks like markup: always markup here, with the line escaped.
    return Qt::convertFromPlainText(line, Qt::WhiteSpaceNormal);
}

} // namespace ClipRowText

ClipRowPresentation ClipRowPresentation::make(const ClipboardItem& item, double now)
{
    ClipRowPresentation p;
    if (const QStringList* files = fileURLs(item)) {
        const qsizetype n = files->size();
        QStringList names;
        for (qsizetype i = 0; i < std::min<qsizetype>(n, 3); ++i)
            names.append(ClipRowText::displayName(files->at(i)));
        p.title = names.join(QLatin1String(", "));
        if (n >= 4)
            p.title += QLatin1String(" +") + QString::number(n - 3) + QLatin1String(" more");
        p.contentKind = n == 1 ? QStringLiteral("File reference") : QString::number(n) + QLatin1String(" file references");
        p.contentSystemImage = n == 1 ? QStringLiteral("doc") : QStringLiteral("doc.on.doc");
        p.contentTint = ColorToken::electricBlue;
        // The formatter's line would repeat the file count that the kind row already shows.
        if (item.isPinned())
            p.metadata = QStringLiteral("Pinned - ");
        p.metadata += ClipboardFormatter::relativeTimestamp(item.createdAt(), now, QLocale(), rowTimeZone());
        if (const auto& app = item.sourceApp())
            p.metadata += QLatin1String(" - ") + app->name();
    } else if (const ClipboardImage* image = item.content().imageIf()) {
        const QString* text = recognizedText(*image);
        p.title = QStringLiteral("Image ") + image->pixelDescription();
        p.contentKind = QStringLiteral("Image");
        p.contentSystemImage = QStringLiteral("photo");
        p.contentTint = text ? ColorToken::amber : ColorToken::electricBlue;
        if (text)
            p.ocrPreview = ClipboardFormatter::singleLinePreview(*text, 80);
        p.metadata = ClipboardFormatter::metadata(item, now, QLocale(), rowTimeZone());
    } else {
        p.title = item.content().textValue();
        p.contentKind = QStringLiteral("Text");
        p.contentSystemImage = QStringLiteral("text.alignleft");
        p.contentTint = ColorToken::electricBlue;
        p.metadata = ClipboardFormatter::metadata(item, now, QLocale(), rowTimeZone());
    }
    if (const qsizetype boards = item.pinboardIDs().size(); boards > 0)
        p.boardCount = boardCountText(boards);
    return p;
}

} // namespace tolvi
