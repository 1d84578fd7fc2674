#include "Tolvi/clipviews/ClipboardRow.h"

#include "Tolvi/clipviews/ClipRowDrawing.h"
#include "Tolvi/design/Badges.h"
#include "Tolvi/design/Surfaces.h"
#include "Tolvi/design/SymbolCatalog.h"
#include "TolviCore/text/TextCharacters.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QTextBoundaryFinder>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace tolvi {

using ClipRowDrawing::drawLabel;
using ClipRowDrawing::drawLine;
using TolviDesign::withOpacity;

using TolviDesign::ColorToken;
using TolviDesign::Typography;

namespace {

constexpr qreal padding = 12;
constexpr qreal tileGap = 12;
constexpr qreal columnSpacing = 5;
constexpr qreal titleRowSpacing = 8;
constexpr qreal kindRowSpacing = 10;
constexpr qreal cornerRadius = 7;
constexpr qreal digitWidth = 28;
constexpr qreal digitHeight = 22;
constexpr qreal digitCornerRadius = 5;
// The pin is set in the caption size, the multi-paste mark in the title's.
constexpr qreal pinPointSize = 10;

const QString ellipsis = QStringLiteral("\u2026");

// Line heights of the row's text styles, measured once (the type scale never changes).
struct RowMetrics {
    qreal titleLine;
    qreal titleAscent;
    qreal metaLine;
    qreal kindLine;
    qreal recognitionLine;
    // The first line of the title row: the title's line or the digit badge, whichever is taller.
    qreal firstSlot;
    qreal titleReserve;
    int textRowHeight;
    int imageRowHeight;
};

const RowMetrics& rowMetrics()
{
    static const RowMetrics m = [] {
        RowMetrics r{};
        const QFontMetricsF title(TolviDesign::font(Typography::rowTitle));
        const QFontMetricsF meta(TolviDesign::font(Typography::meta));
        const QFontMetricsF chip(TolviDesign::font(Typography::chip));
        const qreal metaSymbol = SymbolCatalog::pixelSizeForPointSize(TolviDesign::layoutPointSize(Typography::meta));
        const qreal chipSymbol = SymbolCatalog::pixelSizeForPointSize(TolviDesign::layoutPointSize(Typography::chip));
        r.titleLine = std::ceil(title.height());
        r.titleAscent = title.ascent();
        r.metaLine = std::ceil(meta.height());
        r.kindLine = std::ceil(std::max({chip.height(), meta.height(), metaSymbol, chipSymbol}));
        r.recognitionLine = std::ceil(std::max(meta.height(), metaSymbol));
        r.firstSlot = std::max(r.titleLine, digitHeight);
        r.titleReserve = r.firstSlot + r.titleLine;
        const qreal textColumn = r.titleReserve + columnSpacing + r.metaLine + columnSpacing + r.kindLine;
        // An image's title ("Image 1200 x 800") takes one line: its recognition line uses the
        // room of a second one, so every row has the same height and lists lay out at once.
        const qreal imageColumn =
            r.firstSlot + columnSpacing + r.metaLine + columnSpacing + r.kindLine + columnSpacing + r.recognitionLine;
        const qreal tile = ClipboardRow::tileSide;
        const int height = int(std::ceil(2 * padding + std::max({tile, textColumn, imageColumn})));
        r.textRowHeight = height;
        r.imageRowHeight = height;
        return r;
    }();
    return m;
}

bool isLineBreak(char16_t c)
{
    return c == u'\n' || c == u'\r' || c == 0x0B || c == 0x0C || c == 0x85 || c == 0x2028 || c == 0x2029;
}

// What a painted text line shows for a character: control characters other than line breaks
// have no glyph, so they show as blanks rather than boxes; bidirectional controls show as their
// visible marks, so that they cannot reorder what the row shows against what is pasted.
QChar displayed(QChar c)
{
    const char16_t u = c.unicode();
    if (u < 0x20 || (u >= 0x7F && u < 0xA0))
        return QChar(u' ');
    if (const char16_t mark = TextCharacters::bidiControlMark(u))
        return QChar(mark);
    return c;
}

// A line with an invisible break (U+200B) after every few emoji inside one character of many
// joined emoji, so that it wraps and is cut short like any text instead of running on as one
// unbreakable character.
QString withBreaksInsideLongCharacters(const QString& line)
{
    constexpr qsizetype longCharacter = 24;
    QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, line);
    QString shown;
    qsizetype start = 0;
    for (qsizetype end = characters.toNextBoundary(); end > 0; end = characters.toNextBoundary()) {
        if (end - start > longCharacter) {
            for (qsizetype at = start; at < end;) {
                const qsizetype pieceEnd = TextCharacters::characterPieceEnd(line, at, end - at);
                if (shown.isEmpty())
                    shown = line.left(at);
                shown += QStringView(line).mid(at, pieceEnd - at);
                if (pieceEnd < end)
                    shown += QChar(0x200B);
                at = pieceEnd;
            }
        } else if (!shown.isEmpty()) {
            shown += QStringView(line).mid(start, end - start);
        }
        start = end;
    }
    return shown.isEmpty() ? line : shown;
}

// The last visible line of a text that goes on: it ends in an ellipsis and fits the width.
QString withEllipsis(QString line, const QFontMetricsF& metrics, qreal width)
{
    // Whole characters come off the end until the ellipsis fits; a line is at most a few
    // hundred characters.
    while (!line.isEmpty() && (line.back().isSpace() || metrics.horizontalAdvance(line + ellipsis) > width)) {
        QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, line);
        characters.toEnd();
        line.truncate(std::max<qsizetype>(0, characters.toPreviousBoundary()));
    }
    return line + ellipsis;
}

QColor rowFill(const ClipRowInput& input, const DesignContext& context)
{
    if (input.isSelectedForBatch)
        return withOpacity(context.color(ColorToken::mint), input.isFocused ? 0.18 : 0.12);
    if (input.isFocused)
        return context.color(ColorToken::focusedRowFill);
    return context.color(context.increasedContrast ? ColorToken::surface : ColorToken::rowFill);
}

std::pair<QColor, qreal> rowStroke(const ClipRowInput& input, const DesignContext& context)
{
    if (context.increasedContrast) {
        if (input.isFocused || input.isSelectedForBatch)
            return {context.color(ColorToken::electricBlue), 2};
        return {context.color(ColorToken::muted), 1};
    }
    if (input.isSelectedForBatch)
        return {withOpacity(context.color(ColorToken::mint), input.isFocused ? 0.44 : 0.32), 1};
    if (input.isFocused)
        return {context.color(ColorToken::focusedRowStroke), 1};
    return {context.color(ColorToken::rowStroke), 1};
}

void paintTile(QPainter& painter, const QRectF& tile, const ClipboardItem& item, const ClipRowPresentation& presentation,
               const ClipboardRow::Thumbnail& thumbnail, const DesignContext& context)
{
    if (ClipRowText::hasFileReferences(item)) {
        TolviIconTile::paintTile(painter, tile, presentation.contentSystemImage, context.color(ColorToken::electricBlue));
        return;
    }
    if (!item.content().isImage()) {
        TolviIconTile::paintTile(painter, tile, QStringLiteral("text.alignleft"), context.color(ColorToken::violet));
        return;
    }
    const QImage& image = thumbnail.image;
    if (thumbnail.state != ClipboardRow::Thumbnail::State::ready || image.isNull()) {
        TolviIconTile::paintTile(painter, tile, QStringLiteral("photo"), context.color(ColorToken::muted));
        return;
    }
    ClipRowDrawing::paintImageTile(painter, tile, image, 0.12, context);
}

} // namespace

int ClipboardRow::rowHeight(bool isImageRow)
{
    return isImageRow ? rowMetrics().imageRowHeight : rowMetrics().textRowHeight;
}

bool ClipboardRow::isImageRow(const ClipboardItem& item)
{
    return item.content().isImage() && !ClipRowText::hasFileReferences(item);
}

QStringList ClipboardRow::titleLines(const QString& title, qreal width)
{
    if (width <= 0)
        return {};
    // Two lines hold far fewer characters than this, so a long title is read only this far
    // (emoji, drawn as pictures that are decoded to be measured, are wider than 10 pixels).
    const qsizetype bound = 2 * qsizetype(std::ceil(width)) + 16;
    const qsizetype pictographBound = 2 * qsizetype(std::ceil(width / 10)) + 2;
    qsizetype pictographs = 0;

    // The first two hard lines, each cut at the bound; `more`: the text goes on after them.
    QStringList hardLines;
    bool more = false;
    {
        QString current;
        const qsizetype n = title.size();
        qsizetype i = 0;
        for (; i < n; ++i) {
            const char16_t c = title.at(i).unicode();
            if (isLineBreak(c)) {
                if (c == u'\r' && i + 1 < n && title.at(i + 1) == u'\n')
                    ++i;
                hardLines.append(current);
                current.clear();
                if (hardLines.size() == 2)
                    break;
                continue;
            }
            if (title.at(i).isHighSurrogate() && TextCharacters::isPictograph(TextCharacters::codePointAt(title, i)))
                ++pictographs;
            if (current.size() >= bound || pictographs > pictographBound) {
                // This line alone fills both visible lines.
                hardLines.append(current);
                more = true;
                break;
            }
            current.append(displayed(title.at(i)));
        }
        if (i >= n && !more) {
            hardLines.append(current);
        } else if (!more) {
            // Stopped after a second line break: anything left but more breaks is shown as going on.
            for (qsizetype j = i + 1; j < n && !more; ++j)
                more = !isLineBreak(title.at(j).unicode());
        }
        // Line breaks that end the text add no visible line.
        while (hardLines.size() > 1 && hardLines.back().isEmpty() && !more)
            hardLines.removeLast();
    }

    const QFont& font = TolviDesign::font(Typography::rowTitle);
    const QFontMetricsF metrics(font);
    QStringList lines;
    for (qsizetype h = 0; h < hardLines.size() && lines.size() < 2; ++h) {
        const QString& hard = hardLines.at(h);
        if (hard.isEmpty()) {
            lines.append(QString());
            continue;
        }
        const QString shown = withBreaksInsideLongCharacters(hard);
        QTextLayout layout(shown, font);
        QTextOption option;
        option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
        layout.setTextOption(option);
        layout.beginLayout();
        qsizetype consumed = 0;
        while (lines.size() < 2) {
            QTextLine line = layout.createLine();
            if (!line.isValid())
                break;
            line.setLineWidth(width);
            lines.append(shown.mid(line.textStart(), line.textLength()));
            consumed = line.textStart() + line.textLength();
        }
        layout.endLayout();
        if (lines.size() == 2 && (consumed < shown.size() || h + 1 < hardLines.size()))
            more = true;
    }
    if (more && !lines.isEmpty())
        lines.back() = withEllipsis(lines.back(), metrics, width);
    return lines;
}

namespace {

enum class Recognition { none, status, recognizing, preview };

// Where the parts of a row go inside its rectangle.
struct Placement {
    QRectF inner;
    qreal left = 0;
    qreal width = 0;
    QStringList title;
    qreal firstSlot = 0;
    qreal titleHeight = 0;
    Recognition recognition = Recognition::none;
    // The top of the tile and the column.
    qreal top = 0;
};

Placement place(const QRectF& rect, const ClipboardItem& item, const ClipRowInput& input,
                const ClipRowPresentation& presentation)
{
    const RowMetrics& m = rowMetrics();
    Placement p;
    p.inner = rect.adjusted(padding, padding, -padding, -padding);
    p.left = p.inner.left() + ClipboardRow::tileSide + tileGap;
    p.width = std::max<qreal>(0, p.inner.right() - p.left);

    // The marks after the title, right to left: digit badge, multi-paste mark, pin.
    const qreal pinSide = SymbolCatalog::pixelSizeForPointSize(pinPointSize);
    const qreal checkSide = SymbolCatalog::pixelSizeForPointSize(TolviDesign::layoutPointSize(Typography::rowTitle));
    qreal marksWidth = 0;
    if (input.shortcutNumber)
        marksWidth += digitWidth + titleRowSpacing;
    if (input.isSelectedForBatch)
        marksWidth += checkSide + titleRowSpacing;
    if (item.isPinned())
        marksWidth += pinSide + titleRowSpacing;

    const qreal titleWidth = std::max<qreal>(0, p.width - marksWidth);
    p.title = ClipboardRow::titleLines(presentation.title, titleWidth);
    if (ClipboardRow::isImageRow(item) && p.title.size() > 1) {
        const QFontMetricsF metrics(TolviDesign::font(Typography::rowTitle));
        p.title = QStringList{metrics.elidedText(presentation.title, Qt::ElideRight, titleWidth)};
    }

    // What the column holds.
    const bool badgeSlot = input.shortcutNumber.has_value();
    p.firstSlot = badgeSlot ? m.firstSlot : m.titleLine;
    p.titleHeight = p.firstSlot + std::max<qsizetype>(0, p.title.size() - 1) * m.titleLine;
    if (input.ocrStatus)
        p.recognition = Recognition::status;
    else if (input.isRecognizingText)
        p.recognition = Recognition::recognizing;
    else if (presentation.ocrPreview)
        p.recognition = Recognition::preview;
    // Recognition concerns images only; a clip shown as files never gets the line.
    if (!ClipboardRow::isImageRow(item))
        p.recognition = Recognition::none;
    qreal columnHeight = p.titleHeight + columnSpacing + m.metaLine + columnSpacing + m.kindLine;
    if (p.recognition != Recognition::none)
        columnHeight += columnSpacing + m.recognitionLine;
    // Tile and column are top-aligned with each other; together they are centred in the room the
    // row keeps for its tallest content.
    p.top = p.inner.top()
        + std::max<qreal>(0, (p.inner.height() - std::max<qreal>(ClipboardRow::tileSide, columnHeight)) / 2);
    return p;
}

QRectF digitBadgeRect(const Placement& p)
{
    const qreal centre = p.top + p.firstSlot / 2;
    return {p.inner.right() - digitWidth, centre - digitHeight / 2, digitWidth, digitHeight};
}

QRectF metadataLineRect(const Placement& p)
{
    return {p.left, p.top + p.titleHeight + columnSpacing, p.width, rowMetrics().metaLine};
}

} // namespace

ClipboardRow::Parts ClipboardRow::parts(const QRectF& rect, const ClipboardItem& item, const ClipRowInput& input,
                                        const ClipRowPresentation& presentation)
{
    const Placement p = place(rect, item, input, presentation);
    Parts parts;
    if (input.shortcutNumber)
        parts.digitBadge = digitBadgeRect(p);
    parts.metadataLine = metadataLineRect(p);
    return parts;
}

void ClipboardRow::paint(QPainter& painter, const QRectF& rect, const ClipboardItem& item, const ClipRowInput& input,
                           const ClipRowPresentation& presentation, const Thumbnail& thumbnail,
                           const DesignContext& context)
{
    const RowMetrics& m = rowMetrics();
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);

    // Background and outline; the outline is kept inside the row.
    const auto [strokeColor, strokeWidth] = rowStroke(input, context);
    ClipRowDrawing::paintPlate(painter, rect, cornerRadius, rowFill(input, context), strokeColor, strokeWidth);

    const Placement placement = place(rect, item, input, presentation);
    const QRectF& inner = placement.inner;
    const qreal left = placement.left;
    const qreal width = placement.width;
    const QStringList& title = placement.title;
    const qreal firstSlot = placement.firstSlot;
    const qreal titleHeight = placement.titleHeight;
    const Recognition recognition = placement.recognition;
    const qreal pinSide = SymbolCatalog::pixelSizeForPointSize(pinPointSize);
    const qreal checkSide = SymbolCatalog::pixelSizeForPointSize(TolviDesign::layoutPointSize(Typography::rowTitle));
    qreal y = placement.top;
    paintTile(painter, QRectF(inner.left(), y, tileSide, tileSide), item, presentation, thumbnail, context);

    // Title row.
    const qreal firstLineTop = y + (firstSlot - m.titleLine) / 2;
    const qreal firstLineCentre = y + firstSlot / 2;
    painter.setFont(TolviDesign::font(Typography::rowTitle));
    painter.setPen(context.color(ColorToken::ink));
    for (qsizetype i = 0; i < title.size(); ++i)
        painter.drawText(QPointF(left, firstLineTop + i * m.titleLine + m.titleAscent), title.at(i));

    qreal markRight = inner.right();
    if (input.shortcutNumber) {
        const QRectF badge = digitBadgeRect(placement);
        painter.fillPath(roundedShape(badge, digitCornerRadius), withOpacity(context.color(ColorToken::ink), 0.08));
        painter.setFont(TolviDesign::font(Typography::number));
        painter.setPen(context.color(ColorToken::muted));
        painter.drawText(badge, Qt::AlignCenter | Qt::TextSingleLine, QString::number(*input.shortcutNumber));
        markRight = badge.left() - titleRowSpacing;
    }
    if (input.isSelectedForBatch) {
        SymbolCatalog::paint(painter, QRectF(markRight - checkSide, firstLineCentre - checkSide / 2, checkSide, checkSide),
                             QStringLiteral("checkmark.circle.fill"), context.color(ColorToken::mint));
        markRight -= checkSide + titleRowSpacing;
    }
    if (item.isPinned()) {
        // The accent colour and electric blue are one colour here, focused or not.
        SymbolCatalog::paint(painter, QRectF(markRight - pinSide, firstLineCentre - pinSide / 2, pinSide, pinSide),
                             QStringLiteral("pin.fill"), context.color(ColorToken::electricBlue));
    }
    y += titleHeight + columnSpacing;

    // Metadata line.
    drawLine(painter, metadataLineRect(placement), presentation.metadata, TolviDesign::font(Typography::meta),
             context.color(ColorToken::muted));
    y += m.metaLine + columnSpacing;

    // Kind row: the kind, then the board count.
    {
        const QColor tint = context.color(presentation.contentTint);
        const QRectF box(left, y, width, m.kindLine);
        const qreal used = drawLabel(painter, box, presentation.contentSystemImage, tint, presentation.contentKind,
                                     TolviDesign::font(Typography::chip), tint, TolviDesign::layoutPointSize(Typography::chip));
        if (presentation.boardCount && used > 0) {
            const QColor muted = context.color(ColorToken::muted);
            drawLabel(painter, box.adjusted(used + kindRowSpacing, 0, 0, 0), QStringLiteral("square.grid.2x2"), muted,
                      *presentation.boardCount, TolviDesign::font(Typography::meta), muted,
                      TolviDesign::layoutPointSize(Typography::meta));
        }
        y += m.kindLine + columnSpacing;
    }

    // Recognition line.
    const QRectF line(left, y, width, m.recognitionLine);
    const QFont& meta = TolviDesign::font(Typography::meta);
    switch (recognition) {
    case Recognition::status:
    case Recognition::recognizing:
        ClipRowDrawing::paintRecognitionLine(painter, line, input.ocrStatus, context.color(ColorToken::amber), context);
        break;
    case Recognition::preview:
        drawLine(painter, line, QStringLiteral("OCR: ") + *presentation.ocrPreview, meta, context.color(ColorToken::muted));
        break;
    case Recognition::none:
        break;
    }
    painter.restore();
}

} // namespace tolvi
