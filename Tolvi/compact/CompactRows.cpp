#include "Tolvi/compact/CompactRows.h"

#include "Tolvi/clipviews/ClipRowDrawing.h"
#include "Tolvi/compact/CompactPanelState.h"
#include "Tolvi/design/Badges.h"
#include "Tolvi/design/Surfaces.h"
#include "Tolvi/design/SymbolCatalog.h"
#include "Tolvi/clipviews/ThumbnailCache.h"
#include "TolviCore/model/UuidText.h"
#include "TolviCore/search/ClipboardFormatter.h"
#include "TolviCore/store/ClipboardStore.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace tolvi {

using ClipRowDrawing::drawLine;
using ClipRowDrawing::labelSpacing;
using ClipRowDrawing::lineHeight;
using TolviDesign::withOpacity;

using TolviDesign::ColorToken;
using TolviDesign::Typography;

namespace {

constexpr qreal cornerRadius = 10;
constexpr qreal clipHorizontalPadding = 10;
constexpr qreal clipVerticalPadding = 8;
constexpr qreal actionVerticalPadding = 7;
constexpr qreal spacing = 11;
constexpr qreal lineSpacing = 3;
constexpr qreal numberWidth = 20;
// The return glyph in 12-point bold, the pin in the caption size.
constexpr qreal returnPoints = 12;
constexpr qreal pinPoints = 10;
// The catalogue has no "return" symbol; the turn-down-left arrow is the same key cap.
const QString returnSymbol = QStringLiteral("arrow.turn.down.left");

const QFont& actionTitleFont()
{
    static const QFont font = TolviDesign::systemFont(15, QFont::DemiBold);
    return font;
}

const QFont& headerFont()
{
    static const QFont font = TolviDesign::systemFont(11, QFont::Bold);
    return font;
}

const QFont& badgeFont()
{
    static const QFont font = TolviDesign::systemFont(10, QFont::Bold);
    return font;
}

// The return glyph at the right of `inner`; returns the room it takes (kept even when hidden).
qreal drawReturnGlyph(QPainter& painter, const QRectF& inner, bool isSelected, const DesignContext& context)
{
    const qreal side = SymbolCatalog::pixelSizeForPointSize(returnPoints);
    if (isSelected) {
        SymbolCatalog::paint(painter, QRectF(inner.right() - side, inner.center().y() - side / 2, side, side),
                             returnSymbol, context.color(ColorToken::electricBlue));
    }
    return side;
}

} // namespace

// ---- Painting ---------------------------------------------------------------------------

int CompactRowPainting::clipRowHeight()
{
    static const int height = [] {
        const qreal title = lineHeight(TolviDesign::font(Typography::rowTitle));
        const qreal meta = lineHeight(TolviDesign::font(Typography::meta));
        const qreal recognition =
            std::max<qreal>(meta, SymbolCatalog::pixelSizeForPointSize(TolviDesign::layoutPointSize(Typography::meta)));
        const qreal column = title + lineSpacing + meta + lineSpacing + recognition;
        return int(std::ceil(2 * clipVerticalPadding + std::max<qreal>(previewSide, column)));
    }();
    return height;
}

int CompactRowPainting::actionRowHeight()
{
    static const int height = [] {
        const qreal column = lineHeight(actionTitleFont()) + lineSpacing + lineHeight(TolviDesign::font(Typography::meta));
        return int(std::ceil(2 * actionVerticalPadding + std::max<qreal>(previewSide, column)));
    }();
    return height;
}

int CompactRowPainting::sectionHeaderHeight()
{
    static const int height = int(std::ceil(std::max(lineHeight(headerFont()), lineHeight(badgeFont()) + 4)));
    return height;
}

ClipboardRow::Thumbnail CompactRowPainting::thumbnailFor(ThumbnailCache* thumbnails, const ClipboardItem& item,
                                                           qreal ratio)
{
    ClipboardRow::Thumbnail thumbnail;
    const ClipboardImage* image = item.content().imageIf();
    if (!image)
        return thumbnail;
    if (!thumbnails) {
        thumbnail.state = ClipboardRow::Thumbnail::State::failed;
        return thumbnail;
    }
    return thumbnails->thumbnail(*image, int(std::ceil(previewSide * ratio)));
}

void CompactRowPainting::paintClipPreview(QPainter& painter, const QRectF& rect, const ClipboardItem& item,
                                          const ClipboardRow::Thumbnail& thumbnail, const DesignContext& context)
{
    const QColor secondary = context.color(ColorToken::muted);
    if (!item.content().isImage()) {
        TolviIconTile::paintTile(painter, rect, QStringLiteral("text.alignleft"), secondary);
        return;
    }
    // Until the tile is decoded (off the main thread) the icon stands in; a refused image keeps it.
    if (thumbnail.state != ClipboardRow::Thumbnail::State::ready || thumbnail.image.isNull()) {
        TolviIconTile::paintTile(painter, rect, QStringLiteral("photo"), secondary);
        return;
    }
    ClipRowDrawing::paintImageTile(painter, rect, thumbnail.image, 0.1, context);
}

void CompactRowPainting::paintClipRow(QPainter& painter, const QRectF& rect, const ClipboardItem& item, int index,
                                      const ClipRowInput& input, const ClipboardRow::Thumbnail& thumbnail, double now,
                                      const DesignContext& context)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const bool selected = input.isFocused;
    QColor stroke;
    qreal strokeWidth = 1;
    if (context.increasedContrast) {
        stroke = context.color(selected ? ColorToken::electricBlue : ColorToken::muted);
        strokeWidth = selected ? 2 : 1;
    } else {
        stroke = context.color(selected ? ColorToken::focusedRowStroke : ColorToken::rowStroke);
    }
    ClipRowDrawing::paintPlate(painter, rect, cornerRadius,
                               context.color(selected ? ColorToken::focusedRowFill : ColorToken::surface), stroke,
                               strokeWidth);

    const QRectF inner = rect.adjusted(clipHorizontalPadding, clipVerticalPadding, -clipHorizontalPadding,
                                       -clipVerticalPadding);
    qreal x = inner.left();
    painter.setFont(TolviDesign::font(Typography::number));
    painter.setPen(context.color(ColorToken::muted));
    painter.drawText(QRectF(x, inner.top(), numberWidth, inner.height()), Qt::AlignCenter | Qt::TextSingleLine,
                     QString::number(index));
    x += numberWidth + spacing;
    paintClipPreview(painter, QRectF(x, inner.center().y() - previewSide / 2.0, previewSide, previewSide), item,
                     thumbnail, context);
    x += previewSide + spacing;

    qreal right = inner.right();
    if (item.isPinned()) {
        const qreal side = SymbolCatalog::pixelSizeForPointSize(pinPoints);
        SymbolCatalog::paint(painter, QRectF(right - side, inner.center().y() - side / 2, side, side),
                             QStringLiteral("pin.fill"), context.color(ColorToken::amber));
        right -= side + spacing;
    }
    right -= drawReturnGlyph(painter, QRectF(inner.left(), inner.top(), right - inner.left(), inner.height()), selected,
                             context)
        + spacing;

    // The text column, centred in the row.
    const QFont& titleFont = TolviDesign::font(Typography::rowTitle);
    const QFont& metaFont = TolviDesign::font(Typography::meta);
    const qreal titleLine = lineHeight(titleFont);
    const qreal metaLine = lineHeight(metaFont);
    const qreal metaPoints = TolviDesign::layoutPointSize(Typography::meta);
    const qreal recognitionLine = std::max<qreal>(metaLine, SymbolCatalog::pixelSizeForPointSize(metaPoints));
    const ClipboardImage* image = item.content().imageIf();
    const bool hasRecognitionLine = image && (input.ocrStatus || input.isRecognizingText);
    const qreal columnHeight =
        titleLine + lineSpacing + metaLine + (hasRecognitionLine ? lineSpacing + recognitionLine : 0);
    const qreal width = std::max<qreal>(0, right - x);
    qreal y = inner.top() + (inner.height() - columnHeight) / 2;
    drawLine(painter, QRectF(x, y, width, titleLine), CompactPanelState::summary(item), titleFont,
             context.color(ColorToken::ink));
    y += titleLine + lineSpacing;
    drawLine(painter, QRectF(x, y, width, metaLine), ClipboardFormatter::metadata(item, now), metaFont,
             context.color(ColorToken::muted));
    y += metaLine + lineSpacing;
    if (hasRecognitionLine) {
        ClipRowDrawing::paintRecognitionLine(painter, QRectF(x, y, width, recognitionLine), input.ocrStatus,
                                             context.color(ColorToken::electricBlue), context);
    }
    painter.restore();
}

void CompactRowPainting::paintActionRow(QPainter& painter, const QRectF& rect, const CompactPasteAction& action,
                                        bool isSelected, bool isRecommended, const DesignContext& context)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const QColor blue = context.color(ColorToken::electricBlue);
    const QColor ink = context.color(ColorToken::ink);
    QColor fill;
    QColor stroke;
    if (isSelected) {
        fill = withOpacity(blue, isRecommended ? 0.16 : 0.12);
        stroke = withOpacity(blue, 0.34);
    } else if (isRecommended) {
        fill = withOpacity(blue, 0.065);
        stroke = withOpacity(blue, 0.16);
    } else {
        fill = withOpacity(ink, 0.026);
        stroke = withOpacity(ink, 0.055);
    }
    ClipRowDrawing::paintPlate(painter, rect, cornerRadius, fill, stroke, 1);

    const QRectF inner = rect.adjusted(clipHorizontalPadding, actionVerticalPadding, -clipHorizontalPadding,
                                       -actionVerticalPadding);
    const QColor tint = isSelected || isRecommended ? blue : context.color(ColorToken::muted);
    TolviIconTile::paintTile(painter, QRectF(inner.left(), inner.center().y() - previewSide / 2.0, previewSide, previewSide),
                             action.systemImage, tint);
    const qreal x = inner.left() + previewSide + spacing;
    const qreal right = inner.right() - drawReturnGlyph(painter, inner, isSelected, context) - spacing;
    const qreal width = std::max<qreal>(0, right - x);
    const QFont& metaFont = TolviDesign::font(Typography::meta);
    const qreal titleLine = lineHeight(actionTitleFont());
    const qreal metaLine = lineHeight(metaFont);
    qreal y = inner.top() + (inner.height() - titleLine - lineSpacing - metaLine) / 2;
    drawLine(painter, QRectF(x, y, width, titleLine), action.title, actionTitleFont(), ink);
    y += titleLine + lineSpacing;
    drawLine(painter, QRectF(x, y, width, metaLine), action.subtitle, metaFont, context.color(ColorToken::muted));
    painter.restore();
}

void CompactRowPainting::paintSectionHeader(QPainter& painter, const QRectF& rect, const QString& title,
                                            bool isRecommended, const DesignContext& context)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setRenderHint(QPainter::TextAntialiasing);
    const QColor color = context.color(isRecommended ? ColorToken::electricBlue : ColorToken::muted);
    const QRectF inner = rect.adjusted(10, 0, -10, 0);
    qreal x = inner.left();
    if (isRecommended) {
        const qreal side = SymbolCatalog::pixelSizeForPointSize(10);
        SymbolCatalog::paint(painter, QRectF(x, inner.center().y() - side / 2, side, side), QStringLiteral("sparkles"),
                             color);
        x += side + labelSpacing;
    }
    qreal right = inner.right();
    if (isRecommended) {
        const QString badge = QStringLiteral("Smart");
        const QFontMetricsF metrics(badgeFont());
        const QSizeF size(metrics.horizontalAdvance(badge) + 12, metrics.height() + 4);
        const QRectF capsule(right - size.width(), inner.center().y() - size.height() / 2, size.width(), size.height());
        painter.fillPath(roundedShape(capsule, size.height() / 2), withOpacity(context.color(ColorToken::electricBlue), 0.12));
        painter.setFont(badgeFont());
        painter.setPen(color);
        painter.drawText(capsule, Qt::AlignCenter | Qt::TextSingleLine, badge);
        right = capsule.left() - labelSpacing;
    }
    drawLine(painter, QRectF(x, inner.top(), std::max<qreal>(0, right - x), inner.height()), title.toUpper(),
             headerFont(), color);
    painter.restore();
}

// ---- Result list ------------------------------------------------------------------------

QVariant CompactClipListModel::data(const QModelIndex& index, int role) const
{
    switch (role) {
    case IdentifierRole: {
        const ClipboardItem* item = itemAt(index.row());
        if (!item)
            return {};
        return (index.row() == m_selectedRow ? QStringLiteral("tolvi.row.") : QStringLiteral("tolvi.clip."))
            + UuidText::format(item->id());
    }
    case Qt::ToolTipRole:
        return itemAt(index.row()) ? QVariant(toolTip) : QVariant();
    case Qt::AccessibleDescriptionRole: {
        const ClipboardItem* item = itemAt(index.row());
        if (!item)
            return {};
        const ClipRowInput input = rowInput(index.row());
        return ClipRowText::accessibilityValue(*item, now(), false, input.isRecognizingText, input.ocrStatus)
            + QStringLiteral(". ") + accessibilityHint;
    }
    default:
        return ClipListModel::data(index, role);
    }
}

CompactClipRowDelegate::CompactClipRowDelegate(const ClipListModel& model, ThumbnailCache* thumbnails, QObject* parent)
    : QStyledItemDelegate(parent),
      m_model(model),
      m_thumbnails(thumbnails)
{
}

QSize CompactClipRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex&) const
{
    return {option.rect.width() > 0 ? option.rect.width() : 320, CompactRowPainting::clipRowHeight() + rowGap};
}

void CompactClipRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const ClipboardItem* item = m_model.itemAt(index.row());
    if (!item)
        return;
    const QWidget* widget = option.widget;
    const QRect rect = option.rect.adjusted(sideInset, rowGap / 2, -sideInset, -(rowGap - rowGap / 2));
    const ClipboardRow::Thumbnail thumbnail =
        CompactRowPainting::thumbnailFor(m_thumbnails, *item, widget ? widget->devicePixelRatioF() : 1.0);
    CompactRowPainting::paintClipRow(*painter, QRectF(rect), *item, index.row() + 1, m_model.rowInput(index.row()),
                                     thumbnail, m_model.now(), DesignContext::of(widget));
}

// ---- Action list ------------------------------------------------------------------------

CompactActionListModel::CompactActionListModel(const CompactPanelState& state, QObject* parent)
    : QAbstractListModel(parent),
      m_state(state)
{
}

void CompactActionListModel::refresh()
{
    QList<Row> rows;
    if (m_state.mode() != CompactPanelMode::results) {
        int action = 0;
        const QList<CompactPasteActionSection>& sections = m_state.actionSections();
        for (qsizetype s = 0; s < sections.size(); ++s) {
            if (sections.at(s).title)
                rows.append({int(s), -1});
            for (qsizetype a = 0; a < sections.at(s).actions.size(); ++a)
                rows.append({int(s), action++});
        }
    }
    bool same = rows.size() == m_rows.size();
    for (qsizetype i = 0; same && i < rows.size(); ++i)
        same = rows.at(i).section == m_rows.at(i).section && rows.at(i).action == m_rows.at(i).action;
    if (!same) {
        beginResetModel();
        m_rows = std::move(rows);
        endResetModel();
        return;
    }
    // Same shape: the actions themselves or the selection may differ.
    if (!m_rows.isEmpty())
        emit dataChanged(index(0), index(int(m_rows.size()) - 1));
}

const CompactActionListModel::Row* CompactActionListModel::rowAt(int row) const
{
    return row >= 0 && row < m_rows.size() ? &m_rows.at(row) : nullptr;
}

int CompactActionListModel::rowOfAction(int actionIndex) const
{
    for (qsizetype i = 0; i < m_rows.size(); ++i) {
        if (m_rows.at(i).action == actionIndex && actionIndex >= 0)
            return int(i);
    }
    return -1;
}

int CompactActionListModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : int(m_rows.size());
}

Qt::ItemFlags CompactActionListModel::flags(const QModelIndex& index) const
{
    const Row* row = rowAt(index.row());
    if (!row)
        return Qt::NoItemFlags;
    if (row->action < 0)
        return Qt::ItemIsEnabled | Qt::ItemNeverHasChildren;
    return Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
}

QVariant CompactActionListModel::data(const QModelIndex& index, int role) const
{
    const Row* row = rowAt(index.row());
    if (!row)
        return {};
    const QList<CompactPasteActionSection>& sections = m_state.actionSections();
    if (row->section >= sections.size())
        return {};
    const CompactPasteActionSection& section = sections.at(row->section);
    if (role == IsHeaderRole)
        return row->action < 0;
    if (role == ActionIndexRole)
        return row->action;
    if (row->action < 0) {
        if (role == Qt::DisplayRole || role == Qt::AccessibleTextRole)
            return section.title.value_or(QString());
        return {};
    }
    const QList<CompactPasteAction>& actions = m_state.visibleActions();
    if (row->action >= actions.size())
        return {};
    const CompactPasteAction& action = actions.at(row->action);
    switch (role) {
    case Qt::DisplayRole:
    case Qt::AccessibleTextRole:
        return action.title;
    case Qt::AccessibleDescriptionRole:
        return action.subtitle;
    case IdentifierRole:
        return (m_state.selectedActionIndex() == row->action ? QStringLiteral("tolvi.row.")
                                                             : QStringLiteral("tolvi.action."))
            + action.id;
    default:
        return {};
    }
}

CompactActionRowDelegate::CompactActionRowDelegate(const CompactPanelState& state, const CompactActionListModel& model,
                                                   QObject* parent)
    : QStyledItemDelegate(parent),
      m_state(state),
      m_model(model)
{
}

QSize CompactActionRowDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    const int width = option.rect.width() > 0 ? option.rect.width() : 320;
    const CompactActionListModel::Row* row = m_model.rowAt(index.row());
    if (row && row->action < 0)
        return {width, CompactRowPainting::sectionHeaderHeight() + (index.row() > 0 ? sectionGap : 0) + rowGap};
    return {width, CompactRowPainting::actionRowHeight() + rowGap};
}

void CompactActionRowDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option,
                                     const QModelIndex& index) const
{
    const CompactActionListModel::Row* row = m_model.rowAt(index.row());
    const QList<CompactPasteActionSection>& sections = m_state.actionSections();
    if (!row || row->section >= sections.size())
        return;
    const CompactPasteActionSection& section = sections.at(row->section);
    const DesignContext context = DesignContext::of(option.widget);
    if (row->action < 0) {
        const QRect rect = option.rect.adjusted(sideInset, index.row() > 0 ? sectionGap : 0, -sideInset, -rowGap);
        CompactRowPainting::paintSectionHeader(*painter, QRectF(rect), section.title.value_or(QString()),
                                               section.isRecommended, context);
        return;
    }
    const QList<CompactPasteAction>& actions = m_state.visibleActions();
    if (row->action >= actions.size())
        return;
    const QRect rect = option.rect.adjusted(sideInset, 0, -sideInset, -rowGap);
    CompactRowPainting::paintActionRow(*painter, QRectF(rect), actions.at(row->action),
                                       m_state.selectedActionIndex() == row->action, section.isRecommended, context);
}

} // namespace tolvi
