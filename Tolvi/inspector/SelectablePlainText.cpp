#include "Tolvi/inspector/SelectablePlainText.h"

#include "Tolvi/inspector/FontCoverage.h"

#include "Tolvi/design/DesignTokens.h"
#include "Tolvi/design/Surfaces.h"
#include "Tolvi/design/TolviTheme.h"
#include "Tolvi/inspector/GlyphKeepingTextLayout.h"
#include "Tolvi/inspector/IncrementalCharacterCount.h"
#include "TolviCore/text/TextCharacters.h"

#include <QContextMenuEvent>
#include <QKeyEvent>
#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QScrollArea>
#include <QTextBoundaryFinder>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <deque>
#include <limits>

namespace tolvi {

using TolviDesign::ColorToken;

namespace {

bool isBreak(QChar c)
{
    return c == u'\n' || c == u'\r' || c == QChar::LineSeparator || c == QChar::ParagraphSeparator;
}

// A piece of one character of many joined emoji keeps its shaped glyphs while it keeps its
// lines: a colour emoji is a picture the font decodes each time it is measured, and a layout
// that drops its glyphs shapes the piece again for every paint.
void keepGlyphsOfEmoji(QTextLayout& layout)
{
    if (GlyphKeepingTextLayout::keepsGlyphsOf(layout.text()))
        layout.setCacheEnabled(true);
}

// What a piece that keeps its lines counts for among the pieces kept: its length, or several
// times that when it keeps its glyphs as well.
qsizetype keptCost(const QTextLayout* layout, int length)
{
    constexpr qsizetype glyphsWeight = 8;
    return layout && layout->cacheEnabled() ? length * glyphsWeight : length;
}

// How far around a double-clicked position the word is looked for.
constexpr int wordWindow = 256;

} // namespace

struct SelectablePlainText::Piece {
    int start = 0;
    int length = 0;
    // Its lines, while the piece is among the few kept laid out (see pieceLayout()).
    std::unique_ptr<QTextLayout> layout;
    qreal top = 0;
    qreal height = 0;
};

struct SelectablePlainText::Layout {
    int textWidth = 0;
    QFont font;
    QTextOption option;
    qreal lineHeight = 0;
    // Advance of an average character of this text, for the estimate of what is not laid out.
    qreal averageAdvance = 0;
    std::vector<Piece> pieces;
    // Where the next piece starts, and the index in m_breaks of the break that ends its paragraph.
    int next = 0;
    size_t nextBreak = 0;
    bool done = false;
    qreal bottom = 0;
    // The pieces that keep their lines, oldest first, and their length together.
    std::deque<size_t> kept;
    qsizetype keptLength = 0;
};

SelectablePlainText::SelectablePlainText(Appearance appearance, QWidget* parent)
    : QWidget(parent),
      m_appearance(appearance)
{
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
    setFocusPolicy(Qt::ClickFocus);
    setCursor(Qt::IBeamCursor);
    m_more.setSingleShot(true);
    m_more.setInterval(0);
    connect(&m_more, &QTimer::timeout, this, &SelectablePlainText::layOutMore);
}

SelectablePlainText::~SelectablePlainText() = default;

void SelectablePlainText::setText(const QString& text, const QFont& font)
{
    if (text == m_text && font == m_font)
        return;
    m_text = text;
    m_shown = TextCharacters::withVisibleBidiControls(text);
    m_coverage = FontCoverage::installed();
    m_font = font;
    m_breaks.clear();
    const qsizetype size = m_text.size();
    const QChar* characters = m_text.constData();
    for (qsizetype i = 0; i < size; ++i) {
        if (!isBreak(characters[i]))
            continue;
        m_breaks.push_back(int(i));
        if (characters[i] == u'\r' && i + 1 < size && characters[i + 1] == u'\n')
            ++i;
    }
    m_layout.reset();
    m_measuredHeights.clear();
    m_slicesSinceGeometry = 0;
    m_more.stop();
    m_anchor = m_cursor = 0;
    m_selecting = false;
    updateGeometry();
    update();
}

QString SelectablePlainText::shownPiece(qsizetype start, qsizetype length) const
{
    // Boxed a piece at a time, as it is laid out: never the whole of a long text.
    QString piece = m_shown.mid(start, length);
    return m_coverage ? m_coverage->shown(std::move(piece)) : piece;
}

int SelectablePlainText::textWidthFor(int width) const
{
    return std::max(1, width - 2 * m_appearance.padding);
}

int SelectablePlainText::breakEnd(int position) const
{
    if (m_text.at(position) == u'\r' && position + 1 < m_text.size() && m_text.at(position + 1) == u'\n')
        return position + 2;
    return position + 1;
}

SelectablePlainText::Layout& SelectablePlainText::layoutAt(int textWidth) const
{
    if (m_layout && m_layout->textWidth == textWidth)
        return *m_layout;
    m_layout = newLayout(textWidth);
    return *m_layout;
}

std::unique_ptr<SelectablePlainText::Layout> SelectablePlainText::newLayout(int textWidth) const
{
    auto layout = std::make_unique<Layout>();
    layout->textWidth = textWidth;
    layout->font = m_font;
    const QFontMetricsF metrics(layout->font);
    layout->option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout->option.setTabStopDistance(4 * metrics.horizontalAdvance(QLatin1Char(' ')));
    layout->lineHeight = metrics.height();
    const QString sample = m_text.left(TextCharacters::characterPieceEnd(m_text, 0, 400));
    layout->averageAdvance =
        sample.isEmpty() ? metrics.averageCharWidth() : metrics.horizontalAdvance(sample) / sample.size();
    return layout;
}

bool SelectablePlainText::layOutNextPiece(Layout& layout) const
{
    if (layout.done)
        return false;
    const int start = layout.next;
    const int paragraphEnd = layout.nextBreak < m_breaks.size() ? m_breaks[layout.nextBreak] : int(m_text.size());
    int end = paragraphEnd;
    bool cut = end - start > pieceLimit;
    if (cut) {
        end = start + pieceLimit;
        // Inside one character of thousands of combining marks or joined emoji, a shorter piece:
        // shaping such a piece costs far more a character than ordinary text, and every emoji in
        // it is a picture measured anew.
        if (!isDefiniteCharacterBoundary(m_text, end) && !isDefiniteCharacterBoundary(m_text, end - 64)
            && !isDefiniteCharacterBoundary(m_text, start + clusterPieceLimit))
            end = int(TextCharacters::characterPieceEnd(m_text, start, clusterPieceLimit,
                                                        TextCharacters::shownPiecePictographs));
        if (m_text.at(end - 1).isHighSurrogate())
            --end;
    } else if (end - start > clusterPieceLimit / 4
               && !isDefiniteCharacterBoundary(m_text, start + clusterPieceLimit / 4)) {
        // So is the rest of such a character, or one of a few hundred code points.
        const int pieceEnd = int(TextCharacters::characterPieceEnd(m_text, start, clusterPieceLimit,
                                                                   TextCharacters::shownPiecePictographs));
        if (pieceEnd < end && isInsideOneCharacter(start, pieceEnd)) {
            end = pieceEnd;
            cut = true;
        }
    }

    auto textLayout = std::make_unique<QTextLayout>(shownPiece(start, end - start), layout.font);
    textLayout->setTextOption(layout.option);
    keepGlyphsOfEmoji(*textLayout);
    auto [height, lines, lastStart] = layOutLines(layout, *textLayout);
    if (cut && lines > 1) {
        // The last line may go on in the next piece: the next piece starts with it.
        end = start + lastStart;
        textLayout->setText(shownPiece(start, end - start));
        std::tie(height, lines, lastStart) = layOutLines(layout, *textLayout);
    }

    Piece piece;
    piece.start = start;
    piece.length = end - start;
    piece.layout = std::move(textLayout);
    piece.top = layout.pieces.empty() ? 0 : layout.bottom + m_appearance.lineSpacing;
    piece.height = height;
    layout.bottom = piece.top + piece.height;
    layout.pieces.push_back(std::move(piece));
    keep(layout, layout.pieces.size() - 1);

    if (end < paragraphEnd) {
        layout.next = end;
    } else if (layout.nextBreak < m_breaks.size()) {
        layout.next = breakEnd(m_breaks[layout.nextBreak]);
        ++layout.nextBreak;
    } else {
        layout.done = true;
    }
    return true;
}

bool SelectablePlainText::isInsideOneCharacter(int start, int end) const
{
    // Looked at from a little before the piece, so that the character it continues is seen.
    const int from = std::max(0, start - 8);
    QTextBoundaryFinder characters(QTextBoundaryFinder::Grapheme, m_text.constData() + from, end - from);
    characters.setPosition(start - from);
    const qsizetype next = characters.toNextBoundary();
    return next < 0 || next >= end - from;
}

std::tuple<qreal, int, int> SelectablePlainText::layOutLines(const Layout& layout, QTextLayout& textLayout) const
{
    qreal y = 0;
    int count = 0;
    int lastStart = 0;
    textLayout.beginLayout();
    for (QTextLine line = textLayout.createLine(); line.isValid(); line = textLayout.createLine()) {
        line.setLineWidth(layout.textWidth);
        if (count++ > 0)
            y += m_appearance.lineSpacing;
        line.setPosition(QPointF(0, y));
        y += line.height();
        lastStart = line.textStart();
    }
    textLayout.endLayout();
    return {count > 0 ? y : layout.lineHeight, count, lastStart};
}

void SelectablePlainText::keep(Layout& layout, size_t index) const
{
    layout.kept.push_back(index);
    layout.keptLength += keptCost(layout.pieces[index].layout.get(), layout.pieces[index].length);
    // The oldest give up their lines; the newest always keeps them (it is being used).
    while (layout.keptLength > keptLayoutLength && layout.kept.size() > 1) {
        Piece& oldest = layout.pieces[layout.kept.front()];
        layout.kept.pop_front();
        layout.keptLength -= keptCost(oldest.layout.get(), oldest.length);
        oldest.layout.reset();
    }
}

QTextLayout& SelectablePlainText::pieceLayout(Layout& layout, size_t index) const
{
    Piece& piece = layout.pieces[index];
    if (!piece.layout) {
        // Laid out again exactly as the first time: same text, font, options and width.
        piece.layout = std::make_unique<QTextLayout>(shownPiece(piece.start, piece.length), layout.font);
        piece.layout->setTextOption(layout.option);
        keepGlyphsOfEmoji(*piece.layout);
        layOutLines(layout, *piece.layout);
        keep(layout, index);
    }
    return *piece.layout;
}

void SelectablePlainText::layOutDownTo(Layout& layout, qreal y) const
{
    while (!layout.done && (layout.pieces.empty() || layout.bottom < y))
        layOutNextPiece(layout);
}

qreal SelectablePlainText::estimatedRestHeight(const Layout& layout) const
{
    if (layout.done)
        return 0;
    // Every paragraph left takes a line, and its characters as many more as they fill.
    const qreal paragraphs = qreal(m_breaks.size() - layout.nextBreak) + 1;
    const qreal characters = qreal(m_text.size() - layout.next);
    const qreal lines = paragraphs + std::floor(characters * layout.averageAdvance / layout.textWidth);
    return lines * (layout.lineHeight + m_appearance.lineSpacing) - (layout.pieces.empty() ? m_appearance.lineSpacing : 0);
}

qreal SelectablePlainText::textHeight(const Layout& layout) const
{
    return layout.bottom + estimatedRestHeight(layout);
}

bool SelectablePlainText::isFullyLaidOut() const
{
    return m_layout && m_layout->textWidth == textWidthFor(width()) && m_layout->done;
}

int SelectablePlainText::heightForWidth(int width) const
{
    const int textWidth = textWidthFor(width);
    qreal height = 0;
    if (m_text.size() <= wholeLayoutLimit) {
        // Layouts asked for in turn at two widths (with and without a scroll bar) are
        // measured once each.
        for (const auto& [knownWidth, knownHeight] : m_measuredHeights) {
            if (knownWidth == textWidth)
                return knownHeight;
        }
        // Another width than the one shown (a layout sizing the column for its own hint) is
        // measured aside: the lines at the shown width stay for the paint.
        std::unique_ptr<Layout> aside;
        if (m_layout && m_layout->textWidth != textWidth && m_layout->textWidth == textWidthFor(this->width()))
            aside = newLayout(textWidth);
        Layout& layout = aside ? *aside : layoutAt(textWidth);
        layOutDownTo(layout, std::numeric_limits<qreal>::infinity());
        const int result = std::max(m_appearance.minimumHeight, int(std::ceil(layout.bottom)) + 2 * m_appearance.padding);
        if (m_measuredHeights.size() >= 4)
            m_measuredHeights.erase(m_measuredHeights.begin());
        m_measuredHeights.emplace_back(textWidth, result);
        return result;
    }
    if (m_layout && m_layout->textWidth == textWidth) {
        height = textHeight(*m_layout);
    } else {
        // Another width than the one laid out: estimated, laying out nothing.
        Layout estimate;
        estimate.textWidth = textWidth;
        const QFontMetricsF metrics(m_font);
        estimate.lineHeight = metrics.height();
        const QString sample = m_text.left(TextCharacters::characterPieceEnd(m_text, 0, 400));
        estimate.averageAdvance = metrics.horizontalAdvance(sample) / std::max<qsizetype>(1, sample.size());
        height = estimatedRestHeight(estimate);
    }
    return std::max(m_appearance.minimumHeight, int(std::ceil(height)) + 2 * m_appearance.padding);
}

QSize SelectablePlainText::sizeHint() const
{
    // The height only counts where a layout asks for no height at a width; once the text has a
    // width, it is the height there, so that the hint lays out nothing more.
    return {320, heightForWidth(testAttribute(Qt::WA_Resized) && width() > 0 ? width() : 320)};
}

QSize SelectablePlainText::minimumSizeHint() const
{
    return {2 * m_appearance.padding + 40, m_appearance.minimumHeight};
}

void SelectablePlainText::scheduleMore()
{
    if (m_layout && !m_layout->done && isVisible() && !m_more.isActive())
        m_more.start();
}

void SelectablePlainText::layOutMore()
{
    if (!isVisible())
        return;
    Layout& layout = layoutAt(textWidthFor(width()));
    QElapsedTimer slice;
    slice.start();
    while (!layout.done && slice.elapsed() < sliceMilliseconds)
        layOutNextPiece(layout);
    // The estimate gives way to the measured lines once they are all there, and now and then
    // before for a very long text (what is shown stays where it is): each change of the height
    // lays out and repaints the column.
    if (layout.done || ++m_slicesSinceGeometry >= slicesPerGeometryUpdate) {
        m_slicesSinceGeometry = 0;
        updateGeometry();
    }
    if (m_paintWaitsForLayout)
        update();
    scheduleMore();
}

void SelectablePlainText::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    scheduleMore();
}

void SelectablePlainText::changeEvent(QEvent* event)
{
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange || event->type() == QEvent::EnabledChange)
        update();
}

void SelectablePlainText::paintEvent(QPaintEvent* event)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const DesignContext context = DesignContext::of(this);
    Layout& layout = layoutAt(textWidthFor(width()));
    const QRect exposed = event->rect();
    // A paint far below what is laid out (the column scrolled down a long text at once) shows
    // what a short budget reaches; the idle slices lay out the rest and paint again.
    QElapsedTimer budget;
    budget.start();
    const qreal wanted = exposed.bottom() - m_appearance.padding;
    while (!layout.done && (layout.pieces.empty() || layout.bottom < wanted) && budget.elapsed() < paintBudgetMilliseconds)
        layOutNextPiece(layout);
    m_paintWaitsForLayout = !layout.done && layout.bottom < wanted;
    if (m_paintWaitsForLayout)
        scheduleMore();

    if (m_appearance.drawsBackground) {
        // As tall as the padded text; under a short text the rest of the minimum stays empty.
        const qreal backgroundHeight =
            std::min<qreal>(height(), std::ceil(textHeight(layout)) + 2 * m_appearance.padding);
        const QRectF background(0.5, 0.5, width() - 1.0, backgroundHeight - 1.0);
        painter.setPen(QPen(context.color(ColorToken::glassStroke), 1));
        painter.setBrush(context.color(ColorToken::surface));
        painter.drawPath(roundedShape(background, backgroundCornerRadius));
    }

    QColor ink = context.color(m_appearance.color);
    if (!isEnabled())
        ink.setAlphaF(ink.alphaF() * 0.6f);
    painter.setPen(ink);
    const int selectionStart = std::min(m_anchor, m_cursor);
    const int selectionEnd = std::max(m_anchor, m_cursor);
    const QPalette::ColorGroup group = hasFocus() ? QPalette::Active : QPalette::Inactive;
    const qreal top = exposed.top() - m_appearance.padding;
    const qreal bottom = exposed.bottom() - m_appearance.padding;
    auto first = std::partition_point(layout.pieces.begin(), layout.pieces.end(),
                                      [top](const Piece& piece) { return piece.top + piece.height < top; });
    for (auto it = first; it != layout.pieces.end() && it->top <= bottom; ++it) {
        QList<QTextLayout::FormatRange> selections;
        const int pieceEnd = it->start + it->length;
        if (selectionStart < selectionEnd && selectionStart < pieceEnd && selectionEnd > it->start) {
            QTextLayout::FormatRange range;
            range.start = std::max(selectionStart, it->start) - it->start;
            range.length = std::min(selectionEnd, pieceEnd) - it->start - range.start;
            range.format.setBackground(palette().brush(group, QPalette::Highlight));
            range.format.setForeground(palette().brush(group, QPalette::HighlightedText));
            selections.append(range);
        }
        pieceLayout(layout, size_t(it - layout.pieces.begin()))
            .draw(&painter, QPointF(m_appearance.padding, m_appearance.padding + it->top), selections, exposed);
    }
    scheduleMore();
}

int SelectablePlainText::positionAt(const QPointF& point)
{
    Layout& layout = layoutAt(textWidthFor(width()));
    const qreal y = point.y() - m_appearance.padding;
    layOutDownTo(layout, y);
    if (layout.pieces.empty() || y < 0)
        return 0;
    if (layout.done && y > layout.bottom)
        return int(m_text.size());
    auto after = std::partition_point(layout.pieces.begin(), layout.pieces.end(),
                                      [y](const Piece& piece) { return piece.top <= y; });
    const size_t index = size_t(after - layout.pieces.begin()) - (after == layout.pieces.begin() ? 0 : 1);
    const Piece& piece = layout.pieces[index];
    QTextLayout& tl = pieceLayout(layout, index);
    int lineIndex = tl.lineCount() - 1;
    for (int i = 0; i < tl.lineCount(); ++i) {
        const QTextLine line = tl.lineAt(i);
        if (y - piece.top < line.y() + line.height() + m_appearance.lineSpacing / 2) {
            lineIndex = i;
            break;
        }
    }
    if (lineIndex < 0)
        return piece.start;
    return piece.start + tl.lineAt(lineIndex).xToCursor(point.x() - m_appearance.padding);
}

QString SelectablePlainText::selectedText() const
{
    const int start = std::min(m_anchor, m_cursor);
    const int end = std::max(m_anchor, m_cursor);
    return m_text.mid(start, end - start);
}

void SelectablePlainText::select(int start, int end)
{
    const int size = int(m_text.size());
    m_anchor = std::clamp(start, 0, size);
    m_cursor = std::clamp(end, 0, size);
    update();
}

void SelectablePlainText::selectAll()
{
    select(0, int(m_text.size()));
}

void SelectablePlainText::clearSelection()
{
    select(m_cursor, m_cursor);
}

int SelectablePlainText::wordStart(int position) const
{
    const int from = std::max(0, position - wordWindow);
    const QString window = m_text.mid(from, std::min<qsizetype>(m_text.size(), position + wordWindow) - from);
    QTextBoundaryFinder finder(QTextBoundaryFinder::Word, window);
    finder.setPosition(position - from);
    if (!finder.isAtBoundary() || !(finder.boundaryReasons() & QTextBoundaryFinder::StartOfItem))
        finder.toPreviousBoundary();
    return from + std::max<qsizetype>(0, finder.position());
}

int SelectablePlainText::wordEnd(int position) const
{
    const int from = std::max(0, position - wordWindow);
    const QString window = m_text.mid(from, std::min<qsizetype>(m_text.size(), position + wordWindow) - from);
    QTextBoundaryFinder finder(QTextBoundaryFinder::Word, window);
    finder.setPosition(position - from);
    const qsizetype next = finder.toNextBoundary();
    return from + int(next < 0 ? window.size() : next);
}

void SelectablePlainText::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mousePressEvent(event);
        return;
    }
    const int position = positionAt(event->position());
    if (!(event->modifiers() & Qt::ShiftModifier))
        m_anchor = position;
    m_cursor = position;
    m_selecting = true;
    update();
    event->accept();
}

void SelectablePlainText::mouseMoveEvent(QMouseEvent* event)
{
    if (!m_selecting || !(event->buttons() & Qt::LeftButton))
        return;
    m_cursor = positionAt(event->position());
    // Dragging past the edge of what is shown scrolls the inspector's column.
    for (QWidget* ancestor = parentWidget(); ancestor; ancestor = ancestor->parentWidget()) {
        if (auto* area = qobject_cast<QScrollArea*>(ancestor)) {
            if (area->widget()) {
                const QPoint at = mapTo(area->widget(), event->position().toPoint());
                area->ensureVisible(at.x(), at.y(), 0, 16);
            }
            break;
        }
    }
    update();
}

void SelectablePlainText::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) {
        QWidget::mouseReleaseEvent(event);
        return;
    }
    m_selecting = false;
    event->accept();
}

void SelectablePlainText::mouseDoubleClickEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || m_text.isEmpty())
        return;
    const int position = positionAt(event->position());
    select(wordStart(position), wordEnd(position));
    m_selecting = false;
}

void SelectablePlainText::copySelection()
{
    const QString selected = selectedText();
    if (!selected.isEmpty() && m_copy)
        m_copy(selected);
}

void SelectablePlainText::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Copy)) {
        copySelection();
        event->accept();
        return;
    }
    if (event->matches(QKeySequence::SelectAll)) {
        selectAll();
        event->accept();
        return;
    }
    QWidget::keyPressEvent(event);
}

void SelectablePlainText::contextMenuEvent(QContextMenuEvent* event)
{
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    QAction* copy = menu->addAction(QStringLiteral("Copy"), this, &SelectablePlainText::copySelection);
    copy->setEnabled(!selectedText().isEmpty());
    menu->addAction(QStringLiteral("Select All"), this, &SelectablePlainText::selectAll);
    menu->popup(event->globalPos());
}

void SelectablePlainText::focusInEvent(QFocusEvent* event)
{
    QWidget::focusInEvent(event);
    update();
}

void SelectablePlainText::focusOutEvent(QFocusEvent* event)
{
    QWidget::focusOutEvent(event);
    update();
}

} // namespace tolvi
