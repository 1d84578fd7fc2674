#include "Tolvi/inspector/ClipQuickLookOverlay.h"

#include "Tolvi/design/Badges.h"
#include "Tolvi/design/DesignTokens.h"
#include "Tolvi/design/Segments.h"
#include "Tolvi/design/Surfaces.h"
#include "Tolvi/design/SymbolCatalog.h"
#include "Tolvi/design/TolviTheme.h"
#include "Tolvi/clipviews/ThumbnailCache.h"
#include "Tolvi/inspector/ClipDetectedKind.h"
#include "Tolvi/inspector/ClipTextEditor.h"
#include "Tolvi/inspector/ShownText.h"
#include "TolviCore/model/ReferenceDate.h"
#include "TolviCore/search/ClipboardFormatter.h"
#include "TolviCore/store/ClipboardStore.h"

#include <QAbstractButton>
#include <QApplication>
#include <QEvent>
#include <QFocusEvent>
#include <QHBoxLayout>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegion>
#include <QResizeEvent>
#include <QScrollBar>
#include <QStackedWidget>
#include <QTextDocument>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>

namespace tolvi {

using TolviDesign::ColorToken;
using TolviDesign::Typography;

namespace quicklook {

namespace {

QColor withOpacity(QColor color, qreal opacity)
{
    color.setAlphaF(float(color.alphaF() * opacity));
    return color;
}

// A rounded plate of the card: the window's plate, washed with a tint.
void paintPlate(QPainter& painter, const QRectF& rect, qreal radius, const QColor& tint, const DesignContext& context)
{
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing);
    paintLiquidPlate(painter, rect, radius, context);
    painter.fillPath(roundedShape(rect, radius), tint);
    painter.restore();
}

QFont previewTextFont(bool monospaced)
{
    QFont font = TolviDesign::systemFont(14);
    if (monospaced) {
        font.setFamily(QStringLiteral("monospace"));
        font.setStyleHint(QFont::Monospace);
    }
    return font;
}

// A read-only, selectable view of text over a plate, in the preview's font.
template <typename View>
View* makeReadOnlyView(QWidget* parent)
{
    auto* view = new View(parent);
    view->setReadOnly(true);
    view->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    view->setFrameShape(QFrame::NoFrame);
    view->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    view->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    view->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    view->document()->setDocumentMargin(14);
    view->setFont(previewTextFont(false));
    return view;
}

QPlainTextEdit* makeTextView(QWidget* parent)
{
    auto* view = makeReadOnlyView<QPlainTextEdit>(parent);
    view->setAutoFillBackground(false);
    view->viewport()->setAutoFillBackground(false);
    QPalette palette = view->palette();
    palette.setColor(QPalette::Base, Qt::transparent);
    view->setPalette(palette);
    return view;
}

// The clip's text: the editor that shows long lines in pieces, read-only, so that any text
// shows without laying out a huge line at once, and a copy gives the text as stored.
ClipTextEditor* makeClipTextView(QWidget* parent)
{
    auto* view = makeReadOnlyView<ClipTextEditor>(parent);
    view->setLeavesBackground(true);
    return view;
}

} // namespace

// One line of text in a colour token, shortened with "…" where it does not fit. Its text is
// taken as plain text, whatever it holds.
class TextLine final : public QWidget {
public:
    TextLine(Typography style, ColorToken color, Qt::TextElideMode elide, QWidget* parent)
        : QWidget(parent), m_font(TolviDesign::font(style)), m_color(color), m_elide(elide)
    {
        setFont(m_font);
        setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Fixed);
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }

    void setFontWeight(QFont::Weight weight)
    {
        m_font.setWeight(weight);
        setFont(m_font);
        updateGeometry();
    }
    void setAlignment(Qt::Alignment alignment) { m_alignment = alignment; }
    void setText(const QString& text)
    {
        if (text == m_text)
            return;
        m_text = text;
        m_shown = ShownText::oneLineExcerpt(text, m_elide);
        setAccessibleName(m_shown);
        updateGeometry();
        update();
    }
    const QString& text() const { return m_text; }

    QSize sizeHint() const override
    {
        const QFontMetrics metrics(m_font);
        return {metrics.horizontalAdvance(m_shown) + 1, metrics.height()};
    }
    QSize minimumSizeHint() const override { return {0, QFontMetrics(m_font).height()}; }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setFont(m_font);
        painter.setPen(DesignContext::of(this).color(m_color));
        const QFontMetrics metrics(m_font);
        painter.drawText(rect(), int(m_alignment | Qt::AlignVCenter) | Qt::TextSingleLine,
                         metrics.elidedText(m_shown, m_elide, width()));
    }

private:
    QFont m_font;
    ColorToken m_color;
    Qt::TextElideMode m_elide;
    Qt::Alignment m_alignment = Qt::AlignLeft;
    QString m_text;
    QString m_shown;
};

// The clip kind's symbol on its tinted tile.
class KindTile final : public QWidget {
public:
    explicit KindTile(QWidget* parent) : QWidget(parent)
    {
        setFixedSize(TolviIconTile::side, TolviIconTile::side);
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    void setSymbol(const QString& systemImage, ColorToken tint)
    {
        m_systemImage = systemImage;
        m_tint = tint;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        TolviIconTile::paintTile(painter, QRectF(rect()), m_systemImage, DesignContext::of(this).color(m_tint));
    }

private:
    QString m_systemImage;
    ColorToken m_tint = ColorToken::electricBlue;
};

// A header action: its symbol alone in a 26 x 26 frame, its title as tooltip and accessible name.
class HeaderButton final : public QAbstractButton {
public:
    HeaderButton(const QString& title, QString systemImage, QWidget* parent)
        : QAbstractButton(parent), m_systemImage(std::move(systemImage))
    {
        setFixedSize(26, 26);
        setFocusPolicy(Qt::TabFocus);
        setCursor(Qt::PointingHandCursor);
        setToolTip(title);
        setAccessibleName(title);
        setAttribute(Qt::WA_Hover);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const DesignContext context = DesignContext::of(this);
        const QRectF body = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        if (isDown() || underMouse()) {
            painter.setPen(Qt::NoPen);
            painter.setBrush(withOpacity(context.color(ColorToken::ink), isDown() ? 0.12 : 0.06));
            painter.drawRoundedRect(body, 6, 6);
        }
        if (hasFocus()) {
            painter.setPen(QPen(context.color(ColorToken::electricBlue), 1.5));
            painter.setBrush(Qt::NoBrush);
            painter.drawRoundedRect(body.adjusted(0.75, 0.75, -0.75, -0.75), 6, 6);
        }
        const qreal side = SymbolCatalog::pixelSizeForPointSize(14);
        const QRectF symbol(width() / 2.0 - side / 2, height() / 2.0 - side / 2, side, side);
        QColor ink = context.color(ColorToken::ink);
        if (!isEnabled())
            ink = withOpacity(ink, 0.35);
        SymbolCatalog::paint(painter, symbol, m_systemImage, ink);
    }

private:
    QString m_systemImage;
};

// One segment of the tab picker: the tab's symbol and label.
class TabSegment final : public QAbstractButton {
public:
    TabSegment(QuickLookTab tab, QWidget* parent) : QAbstractButton(parent), m_tab(tab)
    {
        setText(ClipQuickLook::tabTitle(tab));
        setAccessibleName(text());
        setUpSegment(this);
        setCursor(Qt::PointingHandCursor);
    }
    QuickLookTab tab() const { return m_tab; }

    QSize sizeHint() const override
    {
        const QFontMetrics metrics(TolviDesign::font(Typography::bodyStrong));
        return {symbolSide() + 6 + metrics.horizontalAdvance(text()) + 24, 26};
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const DesignContext context = DesignContext::of(this);
        const QRectF body = QRectF(rect()).adjusted(1, 1, -1, -1);
        if (isChecked())
            paintChosenSegment(painter, body, context);
        if (hasFocus()) {
            painter.setPen(QPen(context.color(ColorToken::electricBlue), 1.5));
            painter.setBrush(Qt::NoBrush);
            painter.drawRoundedRect(body, 6, 6);
        }
        const QFont font = TolviDesign::font(isChecked() ? Typography::bodyStrong : Typography::body);
        const QFontMetrics metrics(font);
        const QColor ink = context.color(isChecked() ? ColorToken::ink : ColorToken::muted);
        const int side = symbolSide();
        const qreal contentWidth = side + 6 + metrics.horizontalAdvance(text());
        const qreal left = std::max<qreal>(body.left() + 6, body.center().x() - contentWidth / 2);
        SymbolCatalog::paint(painter, QRectF(left, body.center().y() - side / 2.0, side, side),
                             ClipQuickLook::tabSystemImage(m_tab), ink);
        painter.setFont(font);
        painter.setPen(ink);
        const QRectF label(left + side + 6, body.top(), body.right() - left - side - 6, body.height());
        painter.drawText(label, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine,
                         metrics.elidedText(text(), Qt::ElideRight, int(label.width())));
    }

private:
    static int symbolSide() { return SymbolCatalog::pixelSizeForPointSize(12); }
    QuickLookTab m_tab;
};

// The "Preview Mode" picker: one segment per offered tab on a shallow track.
class TabPicker final : public TolviSegmentTrack {
public:
    std::function<void(QuickLookTab)> chosen;

    explicit TabPicker(QWidget* parent) : TolviSegmentTrack(parent)
    {
        setAccessibleName(QStringLiteral("Preview Mode"));
        QHBoxLayout* layout = layOutSegments(this);
        for (QuickLookTab tab : {QuickLookTab::preview, QuickLookTab::ocr, QuickLookTab::details}) {
            auto* segment = new TabSegment(tab, this);
            layout->addWidget(segment);
            m_segments.append(segment);
            connect(segment, &QAbstractButton::clicked, this, [this, tab] {
                if (chosen)
                    chosen(tab);
            });
        }
    }

    TabSegment* segment(QuickLookTab tab) const
    {
        for (TabSegment* segment : m_segments) {
            if (segment->tab() == tab)
                return segment;
        }
        return nullptr;
    }

    void offer(const QList<QuickLookTab>& available, QuickLookTab selected)
    {
        for (TabSegment* segment : std::as_const(m_segments)) {
            segment->setVisible(available.contains(segment->tab()));
            segment->setChecked(segment->tab() == selected);
        }
    }

private:
    QList<TabSegment*> m_segments;
};

// A rounded plate behind a part of the card, washed with a tint.
class Plate : public QWidget {
public:
    Plate(ColorToken tint, qreal tintOpacity, QWidget* parent)
        : QWidget(parent), m_tint(tint), m_tintOpacity(tintOpacity)
    {
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        const DesignContext context = DesignContext::of(this);
        paintPlate(painter, QRectF(rect()), radius, withOpacity(context.color(m_tint), m_tintOpacity), context);
    }

    static constexpr qreal radius = 12;

private:
    ColorToken m_tint;
    qreal m_tintOpacity;
};

// The card of a web address: its host and the address, and "Open".
class LinkCard final : public Plate {
public:
    explicit LinkCard(QWidget* parent) : Plate(ColorToken::mint, 0.05, parent)
    {
        setObjectName(QStringLiteral("quickLookLinkCard"));
        auto* layout = new QHBoxLayout(this);
        layout->setContentsMargins(12, 12, 12, 12);
        layout->setSpacing(10);
        auto* tile = new KindTile(this);
        tile->setSymbol(QStringLiteral("link"), ColorToken::mint);
        layout->addWidget(tile);
        auto* column = new QVBoxLayout;
        column->setSpacing(2);
        m_host = new TextLine(Typography::bodyStrong, ColorToken::ink, Qt::ElideRight, this);
        m_address = new TextLine(Typography::meta, ColorToken::muted, Qt::ElideMiddle, this);
        column->addWidget(m_host);
        column->addWidget(m_address);
        layout->addLayout(column, 1);
        m_open = new QPushButton(QStringLiteral("Open"), this);
        m_open->setAutoDefault(false);
        layout->addWidget(m_open);
    }

    QPushButton* openButton() const { return m_open; }
    void setLink(const ClipQuickLook::Link& link)
    {
        m_host->setText(link.host.value_or(QStringLiteral("Link")));
        m_address->setText(link.absoluteString);
    }

private:
    TextLine* m_host;
    TextLine* m_address;
    QPushButton* m_open;
};

// An image clip's picture on its plate, decoded at the size shown. While the decode for the
// present size runs, the last picture (or a placeholder) stands in; an image the raster policy
// refuses shows "Image preview unavailable".
class ImagePreview final : public QWidget {
public:
    ImagePreview(ThumbnailCache* thumbnails, QWidget* parent) : QWidget(parent), m_thumbnails(thumbnails)
    {
        setObjectName(QStringLiteral("quickLookImage"));
        setFocusPolicy(Qt::StrongFocus);
        setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Expanding);
        m_settle.setSingleShot(true);
        m_settle.setInterval(resizeSettleMilliseconds);
        QObject::connect(&m_settle, &QTimer::timeout, this, [this] {
            // A picture a few per cent off the room is drawn scaled; decoding it again (a
            // large photo takes a good part of a second) waits for a real change of size,
            // not the card's slight scaling as it comes in.
            const QSize wanted = wantedBounds();
            if (wanted.isEmpty() || nearlyEqual(wanted, m_bounds))
                return;
            m_bounds = wanted;
            update();
        });
        if (m_thumbnails) {
            QObject::connect(m_thumbnails, &ThumbnailCache::thumbnailReady, this, [this](const QString& fingerprint) {
                if (m_image && m_image->fingerprint() == fingerprint)
                    update();
            });
        }
    }

    void setImage(std::optional<ClipboardImage> image)
    {
        if (image && m_image && image->fingerprint() == m_image->fingerprint())
            return;
        m_image = std::move(image);
        m_shown = QImage();
        update();
    }

    ClipQuickLookOverlay::ImageState state() const
    {
        using State = ClipQuickLookOverlay::ImageState;
        if (!m_image)
            return State::none;
        switch (request().state) {
        case ClipRowPainter::Thumbnail::State::ready:
            return State::ready;
        case ClipRowPainter::Thumbnail::State::failed:
            return State::unavailable;
        case ClipRowPainter::Thumbnail::State::pending:
            break;
        }
        return State::pending;
    }

    // A resize settles this long before the picture is decoded again for the new size.
    static constexpr int resizeSettleMilliseconds = 120;
    static constexpr qreal padding = 14;

protected:
    void resizeEvent(QResizeEvent*) override
    {
        // The first size is asked for at once; later ones once resizing has stopped.
        if (m_bounds.isEmpty())
            m_bounds = wantedBounds();
        else
            m_settle.start();
    }

    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setRenderHint(QPainter::SmoothPixmapTransform);
        const DesignContext context = DesignContext::of(this);
        const QRectF body = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        paintPlate(painter, body, 12, withOpacity(context.color(ColorToken::ink), 0.035), context);
        painter.setPen(QPen(withOpacity(Qt::white, 0.22), 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(roundedShape(body, 12));
        if (!m_image)
            return;
        const ClipRowPainter::Thumbnail thumbnail = request();
        if (thumbnail.state == ClipRowPainter::Thumbnail::State::ready)
            m_shown = thumbnail.image;
        if (thumbnail.state == ClipRowPainter::Thumbnail::State::failed) {
            m_shown = QImage();
            paintUnavailable(painter, context);
            return;
        }
        if (m_shown.isNull()) {
            paintPlaceholder(painter, context);
            return;
        }
        const QRectF room = QRectF(rect()).adjusted(padding, padding, -padding, -padding);
        const qreal ratio = devicePixelRatioF();
        const QSizeF natural = QSizeF(m_shown.size()) / ratio;
        const QSizeF fitted = natural.scaled(room.size(), Qt::KeepAspectRatio);
        if (std::abs(fitted.width() - natural.width()) * ratio < 1.5
            && std::abs(fitted.height() - natural.height()) * ratio < 1.5) {
            // Decoded for this very room: drawn pixel for pixel, on whole device pixels.
            QImage picture = m_shown;
            picture.setDevicePixelRatio(ratio);
            const QPointF topLeft = room.center() - QPointF(natural.width() / 2, natural.height() / 2);
            painter.drawImage(QPointF(std::round(topLeft.x() * ratio) / ratio, std::round(topLeft.y() * ratio) / ratio),
                              picture);
            return;
        }
        QRectF target(QPointF(), fitted);
        target.moveCenter(room.center());
        painter.drawImage(target, m_shown);
    }

private:
    static bool nearlyEqual(QSize a, QSize b)
    {
        auto near = [](int x, int y) { return std::abs(x - y) <= std::max(x, y) / 20; };
        return near(a.width(), b.width()) && near(a.height(), b.height());
    }

    QSize wantedBounds() const
    {
        const qreal ratio = devicePixelRatioF();
        const QSizeF room = QSizeF(size()) - QSizeF(2 * padding, 2 * padding);
        if (room.width() <= 0 || room.height() <= 0)
            return {};
        return QSize(int(std::ceil(room.width() * ratio)), int(std::ceil(room.height() * ratio)));
    }

    ClipRowPainter::Thumbnail request() const
    {
        if (!m_image || !m_thumbnails)
            return {ClipRowPainter::Thumbnail::State::failed, {}};
        const QSize bounds = m_bounds.isEmpty() ? wantedBounds() : m_bounds;
        if (bounds.isEmpty())
            return {ClipRowPainter::Thumbnail::State::pending, {}};
        return m_thumbnails->preview(*m_image, bounds);
    }

    void paintPlaceholder(QPainter& painter, const DesignContext& context)
    {
        const int side = SymbolCatalog::pixelSizeForPointSize(34);
        QRectF symbol(0, 0, side, side);
        symbol.moveCenter(QRectF(rect()).center());
        SymbolCatalog::paint(painter, symbol, QStringLiteral("photo"),
                             withOpacity(context.color(ColorToken::muted), 0.35));
    }

    void paintUnavailable(QPainter& painter, const DesignContext& context)
    {
        const int side = SymbolCatalog::pixelSizeForPointSize(34);
        const QFont font = TolviDesign::font(Typography::bodyStrong);
        const QFontMetrics metrics(font);
        const qreal total = side + 8 + metrics.height();
        const QPointF centre = QRectF(rect()).center();
        const QRectF symbol(centre.x() - side / 2.0, centre.y() - total / 2, side, side);
        const QColor muted = context.color(ColorToken::muted);
        SymbolCatalog::paint(painter, symbol, QStringLiteral("photo"), muted);
        painter.setFont(font);
        painter.setPen(muted);
        painter.drawText(QRectF(padding, symbol.bottom() + 8, width() - 2 * padding, metrics.height()),
                         Qt::AlignCenter | Qt::TextSingleLine, QStringLiteral("Image preview unavailable"));
    }

    ThumbnailCache* m_thumbnails;
    std::optional<ClipboardImage> m_image;
    // The device-pixel size the picture is decoded for; follows the widget once resizing stops.
    QSize m_bounds;
    QImage m_shown;
    QTimer m_settle;
};

// One row of the details table: symbol, title, and the value at the trailing end, over a
// hairline that starts after the symbol.
class DetailRowView final : public QWidget {
public:
    DetailRowView(ClipQuickLook::DetailRow row, QWidget* parent) : QWidget(parent), m_row(std::move(row))
    {
        setFixedHeight(verticalPadding * 2 + QFontMetrics(TolviDesign::font(Typography::body)).height());
        setAccessibleName(m_row.title + QStringLiteral(": ") + m_row.value);
    }
    const ClipQuickLook::DetailRow& row() const { return m_row; }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const DesignContext context = DesignContext::of(this);
        const QColor muted = context.color(ColorToken::muted);
        const QRectF inner = QRectF(rect()).adjusted(horizontalPadding, 0, -horizontalPadding, 0);
        const int side = SymbolCatalog::pixelSizeForPointSize(13);
        SymbolCatalog::paint(painter, QRectF(inner.left() + (18 - side) / 2.0, inner.center().y() - side / 2.0, side, side),
                             m_row.systemImage, muted);
        QFont font = TolviDesign::font(Typography::body);
        painter.setFont(font);
        painter.setPen(muted);
        const QFontMetrics titleMetrics(font);
        const qreal titleLeft = inner.left() + 18 + 10;
        const qreal titleWidth = titleMetrics.horizontalAdvance(m_row.title) + 1;
        painter.drawText(QRectF(titleLeft, 0, titleWidth, height()), Qt::AlignLeft | Qt::AlignVCenter, m_row.title);
        font.setWeight(QFont::Medium);
        painter.setFont(font);
        painter.setPen(context.color(ColorToken::ink));
        const QRectF value(titleLeft + titleWidth + 10, 0, inner.right() - titleLeft - titleWidth - 10, height());
        painter.drawText(value, Qt::AlignRight | Qt::AlignVCenter | Qt::TextSingleLine,
                         QFontMetrics(font).elidedText(ShownText::oneLineExcerpt(m_row.value, Qt::ElideMiddle),
                                                      Qt::ElideMiddle, int(value.width())));
        painter.fillRect(QRectF(40, height() - 1, width() - 40, 1), withOpacity(context.color(ColorToken::ink), 0.07));
    }

private:
    static constexpr int horizontalPadding = 12;
    static constexpr int verticalPadding = 9;
    ClipQuickLook::DetailRow m_row;
};

// The rows of the details tab on their plate.
class DetailsTable final : public Plate {
public:
    explicit DetailsTable(QWidget* parent) : Plate(ColorToken::ink, 0.035, parent)
    {
        setObjectName(QStringLiteral("quickLookDetails"));
        auto* layout = new QVBoxLayout(this);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
    }

    void setRows(const QList<ClipQuickLook::DetailRow>& rows)
    {
        if (rows == m_rows)
            return;
        m_rows = rows;
        for (DetailRowView* view : std::as_const(m_views))
            delete view;
        m_views.clear();
        for (const ClipQuickLook::DetailRow& row : rows) {
            auto* view = new DetailRowView(row, this);
            layout()->addWidget(view);
            m_views.append(view);
        }
    }
    const QList<ClipQuickLook::DetailRow>& rows() const { return m_rows; }

private:
    QList<ClipQuickLook::DetailRow> m_rows;
    QList<DetailRowView*> m_views;
};

// The card itself: a raised surface. With no blur behind it here, a translucent card would let
// the rows under it show through the text, so it is opaque.
class Card final : public TolviGlassSurface {
public:
    explicit Card(QWidget* parent = nullptr) : TolviGlassSurface(18, DesignColor::clear(), true, parent)
    {
        setObjectName(QStringLiteral("quickLookCard"));
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const DesignContext context = DesignContext::of(this);
        const QRectF body = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        painter.fillPath(roundedShape(body, cornerRadius()), context.color(ColorToken::raisedSurface));
        painter.setPen(QPen(context.color(ColorToken::glassStroke), context.increasedContrast ? 1.5 : 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawPath(roundedShape(body, cornerRadius()));
    }
};

} // namespace quicklook

using namespace quicklook;

TolviCardOverlay::Geometry ClipQuickLookOverlay::previewGeometry()
{
    Geometry geometry;
    geometry.minimum = QSize(460, 380);
    geometry.ideal = QSize(680, 560);
    geometry.maximum = QSize(820, 740);
    geometry.margin = 28;
    geometry.backdropOpacity = 0.13;
    geometry.shadowCornerRadius = 18;
    return geometry;
}

ClipQuickLookOverlay::ClipQuickLookOverlay(const ClipboardItem& item, Actions actions, Environment environment,
                                           QWidget* host, QuickLookTab selectedTab)
    : TolviCardOverlay(new Card, previewGeometry(), host),
      m_item(item),
      m_actions(std::move(actions)),
      m_environment(std::move(environment)),
      m_selectedTab(selectedTab)
{
    setObjectName(QStringLiteral("clipQuickLook"));
    if (!m_environment.now)
        m_environment.now = [] { return ReferenceDate::now(); };
    buildCard();
    connect(this, &TolviCardOverlay::backdropClicked, this, &ClipQuickLookOverlay::requestClose);
    if (m_environment.store)
        connect(m_environment.store, &ClipboardStore::itemsChanged, this, &ClipQuickLookOverlay::storeChanged);
    showClip(m_item);
}

ClipQuickLookOverlay::~ClipQuickLookOverlay() = default;

void ClipQuickLookOverlay::buildCard()
{
    auto* content = new QWidget;
    static_cast<TolviGlassSurface*>(card())->setContentWidget(content);
    auto* layout = new QVBoxLayout(content);
    layout->setContentsMargins(16, 16, 16, 16);
    layout->setSpacing(12);
    layout->addWidget(buildHeader());

    m_picker = new TabPicker(card());
    m_picker->chosen = [this](QuickLookTab tab) { setSelectedTab(tab); };
    layout->addWidget(m_picker);

    m_pages = new QStackedWidget(card());
    m_pages->addWidget(buildPreviewPage());
    m_pages->addWidget(buildOCRPage());
    m_pages->addWidget(buildDetailsPage());
    layout->addWidget(m_pages, 1);
}

QWidget* ClipQuickLookOverlay::buildHeader()
{
    auto* header = new QWidget(card());
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(10);
    m_kindTile = new KindTile(header);
    row->addWidget(m_kindTile);

    auto* titles = new QVBoxLayout;
    titles->setSpacing(2);
    auto* title = new TextLine(Typography::title, ColorToken::ink, Qt::ElideRight, header);
    title->setText(QStringLiteral("Quick Look"));
    m_subtitle = new TextLine(Typography::meta, ColorToken::muted, Qt::ElideRight, header);
    titles->addWidget(title);
    titles->addWidget(m_subtitle);
    row->addLayout(titles, 1);

    const struct {
        Control control;
        const char* title;
        const char* symbol;
    } buttons[] = {
        // Desktops open addresses in their default browser: the globe stands for it.
        {Control::openLink, "Open Link", "globe"},
        {Control::copyOCRText, "Copy OCR Text", "text.viewfinder"},
        {Control::copy, "Copy", "doc.on.doc"},
        {Control::paste, "Paste", "arrow.down.doc"},
        {Control::close, "Close", "xmark"},
    };
    for (const auto& entry : buttons) {
        auto* button = new HeaderButton(QString::fromLatin1(entry.title), QString::fromLatin1(entry.symbol), header);
        button->setObjectName(QStringLiteral("quickLook.") + QString::fromLatin1(entry.title).remove(QLatin1Char(' ')));
        row->addWidget(button);
        m_headerButtons.append(button);
        const Control control = entry.control;
        connect(button, &QAbstractButton::clicked, this, [this, control] {
            // The host's action may change the history, and so this overlay, or remove it: it
            // gets copies and nothing of the overlay is read after it.
            switch (control) {
            case Control::openLink:
                if (const auto link = ClipQuickLook::linkURL(m_item); link && m_actions.openUrl)
                    std::function<bool(const QUrl&)>(m_actions.openUrl)(link->url);
                break;
            case Control::copyOCRText:
                if (const auto text = ClipQuickLook::ocrText(m_item); text && m_actions.copyText)
                    std::function<void(const QString&)>(m_actions.copyText)(*text);
                break;
            case Control::copy:
                if (m_actions.copyItem)
                    std::function<void(const ClipboardItem&)>(m_actions.copyItem)(ClipboardItem(m_item));
                break;
            case Control::paste:
                if (m_actions.pasteItem)
                    std::function<void(const ClipboardItem&)>(m_actions.pasteItem)(ClipboardItem(m_item));
                break;
            case Control::close:
                requestClose();
                break;
            case Control::openFromLinkCard:
            case Control::copyExtractedText:
                break;
            }
        });
    }
    return header;
}

namespace {

// The column a page of the card is laid out in.
QVBoxLayout* makePageColumn(QWidget* page)
{
    auto* column = new QVBoxLayout(page);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(10);
    return column;
}

// A read-only text view on `plate`, the plate taking the rest of `column`.
template <typename View>
View* addPlatedTextView(QVBoxLayout* column, Plate* plate, View* view, const QString& objectName,
                        const QString& accessibleName)
{
    auto* plateLayout = new QVBoxLayout(plate);
    plateLayout->setContentsMargins(1, 1, 1, 1);
    view->setObjectName(objectName);
    view->setAccessibleName(accessibleName);
    plateLayout->addWidget(view);
    column->addWidget(plate, 1);
    return view;
}

} // namespace

QWidget* ClipQuickLookOverlay::buildPreviewPage()
{
    m_previewKinds = new QStackedWidget(card());

    m_textPage = new QWidget(m_previewKinds);
    QVBoxLayout* column = makePageColumn(m_textPage);
    m_linkCard = new LinkCard(m_textPage);
    column->addWidget(m_linkCard);
    connect(m_linkCard->openButton(), &QAbstractButton::clicked, this, [this] {
        if (const auto link = ClipQuickLook::linkURL(m_item); link && m_actions.openUrl)
            std::function<bool(const QUrl&)>(m_actions.openUrl)(link->url);
    });
    auto* plate = new Plate(ColorToken::ink, 0.035, m_textPage);
    m_textPlate = plate;
    m_text = addPlatedTextView(column, plate, makeClipTextView(plate), QStringLiteral("quickLookText"),
                               QStringLiteral("Clip text"));
    m_cutNote = new TextLine(Typography::meta, ColorToken::muted, Qt::ElideRight, m_textPage);
    m_cutNote->setText(ShownText::note());
    m_cutNote->setVisible(false);
    column->addWidget(m_cutNote);
    m_previewKinds->addWidget(m_textPage);

    m_image = new ImagePreview(m_environment.thumbnails, m_previewKinds);
    m_image->setAccessibleName(QStringLiteral("Image preview"));
    m_previewKinds->addWidget(m_image);
    return m_previewKinds;
}

QWidget* ClipQuickLookOverlay::buildOCRPage()
{
    auto* page = new QWidget(card());
    QVBoxLayout* column = makePageColumn(page);

    auto* heading = new QHBoxLayout;
    heading->setSpacing(6);
    heading->addWidget(new TolviSymbolMark(QStringLiteral("text.viewfinder"), ColorToken::ink,
                                           SymbolCatalog::pixelSizeForPointSize(13), page));
    auto* label = new TextLine(Typography::bodyStrong, ColorToken::ink, Qt::ElideRight, page);
    label->setText(QStringLiteral("Extracted Text"));
    heading->addWidget(label, 1);
    auto* copy = new QPushButton(QStringLiteral("Copy OCR Text"), page);
    copy->setObjectName(QStringLiteral("quickLookCopyExtracted"));
    copy->setAutoDefault(false);
    m_copyExtracted = copy;
    heading->addWidget(copy);
    column->addLayout(heading);
    connect(copy, &QAbstractButton::clicked, this, [this] {
        if (const auto text = ClipQuickLook::ocrText(m_item); text && m_actions.copyText)
            std::function<void(const QString&)>(m_actions.copyText)(*text);
    });

    auto* ocrPlate = new Plate(ColorToken::mint, 0.05, page);
    m_ocrText = addPlatedTextView(column, ocrPlate, makeTextView(ocrPlate), QStringLiteral("quickLookOCRText"),
                                  QStringLiteral("Extracted text"));
    return page;
}

QWidget* ClipQuickLookOverlay::buildDetailsPage()
{
    auto* page = new QWidget(card());
    QVBoxLayout* column = makePageColumn(page);
    auto* heading = new TextLine(Typography::bodyStrong, ColorToken::ink, Qt::ElideRight, page);
    heading->setText(QStringLiteral("Clip Details"));
    column->addWidget(heading);
    m_details = new DetailsTable(page);
    column->addWidget(m_details);
    column->addStretch(1);
    return page;
}

void ClipQuickLookOverlay::setItem(const ClipboardItem& item)
{
    if (item.sharesDataWith(m_item))
        return;
    m_item = item;
    showClip(m_item);
}

void ClipQuickLookOverlay::showClip(const ClipboardItem& item)
{
    const ClipDetectedKind kind = ClipDetectedKind::of(item);
    m_kindTile->setSymbol(kind.systemImage(), kind.tint());
    m_subtitle->setText(kind.title() + QStringLiteral(" - ") + ClipboardFormatter::metadata(item, m_environment.now()));

    const std::optional<ClipQuickLook::Link> link = ClipQuickLook::linkURL(item);
    const std::optional<QString> recognized = ClipQuickLook::ocrText(item);
    button(Control::openLink)->setVisible(link.has_value());
    button(Control::copyOCRText)->setVisible(recognized.has_value());

    if (const ClipboardImage* image = item.content().imageIf()) {
        m_image->setImage(*image);
        m_previewKinds->setCurrentWidget(m_image);
        m_shownText.clear();
        m_text->setStoredText(QString());
    } else {
        m_image->setImage(std::nullopt);
        const QString& text = item.content().textValue();
        m_linkCard->setVisible(link.has_value());
        if (link)
            m_linkCard->setLink(*link);
        const QFont font = previewTextFont(ClipQuickLook::usesMonospacedFont(text));
        if (m_text->font() != font)
            m_text->setFont(font);
        if (text != m_shownText || m_shownText.isNull()) {
            m_shownText = text;
            m_text->setStoredText(ShownText::shownPart(text));
        }
        m_cutNote->setVisible(ShownText::isCut(text));
        m_previewKinds->setCurrentWidget(m_textPage);
    }

    const QString ocr = recognized.value_or(QString());
    if (ocr != m_shownOCRText) {
        m_shownOCRText = ocr;
        m_ocrText->setPlainText(ocr);
    }
    m_copyExtracted->setEnabled(recognized.has_value());

    if (const QString* text = item.content().textIf(); text && text->size() > ShownText::countedInPlaceLimit) {
        // Counted off the main thread; the rows say "Counting..." until the counts are there.
        if (!m_countedText.isSharedWith(*text)) {
            m_countedText = *text;
            m_counts.reset();
            const QString counted = *text;
            ShownText::computeOffMainThread<ClipQuickLook::TextCounts>(
                this, [counted] { return ClipQuickLook::textCounts(counted); },
                [this, counted](ClipQuickLook::TextCounts counts) {
                    if (!m_countedText.isSharedWith(counted))
                        return;
                    m_counts = counts;
                    m_details->setRows(ClipQuickLook::withCounts(m_details->rows(), counts));
                });
        }
        m_details->setRows(ClipQuickLook::detailRows(item, link, m_counts));
    } else {
        m_countedText.clear();
        m_counts.reset();
        m_details->setRows(ClipQuickLook::detailRows(item, link, std::nullopt));
    }

    const QList<QuickLookTab> available = ClipQuickLook::availableTabs(item);
    if (available != m_availableTabs || m_availableTabs.isEmpty()) {
        m_availableTabs = available;
        normalizeSelectedTab();
    }
    showSelectedTab();
}

void ClipQuickLookOverlay::normalizeSelectedTab()
{
    const QuickLookTab normalized = ClipQuickLook::normalizedTab(m_selectedTab, m_availableTabs);
    if (normalized == m_selectedTab)
        return;
    m_selectedTab = normalized;
    emit selectedTabChanged(m_selectedTab);
}

void ClipQuickLookOverlay::setSelectedTab(QuickLookTab tab)
{
    if (!m_availableTabs.contains(tab) || tab == m_selectedTab) {
        showSelectedTab();
        return;
    }
    m_selectedTab = tab;
    showSelectedTab();
    emit selectedTabChanged(m_selectedTab);
}

void ClipQuickLookOverlay::showSelectedTab()
{
    m_picker->setVisible(m_availableTabs.size() >= 2);
    m_picker->offer(m_availableTabs, m_selectedTab);
    const int page = m_selectedTab == QuickLookTab::preview ? 0 : m_selectedTab == QuickLookTab::ocr ? 1 : 2;
    // The focus stays inside the card when the page it was on goes.
    const bool hadFocus = m_pages->currentWidget() && m_pages->currentWidget()->isAncestorOf(QApplication::focusWidget());
    m_pages->setCurrentIndex(page);
    if (hadFocus)
        takeFocus();
}

void ClipQuickLookOverlay::takeFocus()
{
    QWidget* target = m_picker->segment(m_selectedTab);
    switch (m_selectedTab) {
    case QuickLookTab::preview:
        target = m_item.content().isImage() ? static_cast<QWidget*>(m_image) : m_text;
        break;
    case QuickLookTab::ocr:
        target = m_ocrText;
        break;
    case QuickLookTab::details:
        break;
    }
    if (target)
        target->setFocus(Qt::OtherFocusReason);
}

void ClipQuickLookOverlay::setHostCornerRadius(qreal radius)
{
    m_hostCornerRadius = radius;
    QResizeEvent event(size(), size());
    resizeEvent(&event);
}

void ClipQuickLookOverlay::resizeEvent(QResizeEvent* event)
{
    TolviCardOverlay::resizeEvent(event);
    if (m_hostCornerRadius <= 0) {
        clearMask();
        return;
    }
    setMask(QRegion(roundedShape(QRectF(rect()), m_hostCornerRadius).toFillPolygon().toPolygon()));
}

void ClipQuickLookOverlay::focusInEvent(QFocusEvent* event)
{
    TolviCardOverlay::focusInEvent(event);
    takeFocus();
}

void ClipQuickLookOverlay::storeChanged()
{
    if (m_closeRequested || isDismissing())
        return;
    const std::optional<ClipboardItem> current = ClipQuickLook::currentClip(*m_environment.store, m_item);
    if (!current) {
        requestClose();
        return;
    }
    setItem(*current);
}

void ClipQuickLookOverlay::requestClose()
{
    if (m_closeRequested)
        return;
    m_closeRequested = true;
    // The host may delete the overlay while it closes.
    if (const std::function<void()> close = m_actions.close)
        close();
}


QAbstractButton* ClipQuickLookOverlay::button(Control control) const
{
    switch (control) {
    case Control::openLink:
        return m_headerButtons.value(0);
    case Control::copyOCRText:
        return m_headerButtons.value(1);
    case Control::copy:
        return m_headerButtons.value(2);
    case Control::paste:
        return m_headerButtons.value(3);
    case Control::close:
        return m_headerButtons.value(4);
    case Control::openFromLinkCard:
        return m_linkCard->openButton();
    case Control::copyExtractedText:
        return m_copyExtracted;
    }
    return nullptr;
}

bool ClipQuickLookOverlay::offers(Control control) const
{
    QAbstractButton* control_ = button(control);
    if (!control_ || control_->isHidden())
        return false;
    switch (control) {
    case Control::openFromLinkCard:
        return m_selectedTab == QuickLookTab::preview && m_item.content().isText() && !m_linkCard->isHidden();
    case Control::copyExtractedText:
        return m_selectedTab == QuickLookTab::ocr;
    default:
        return true;
    }
}

QAbstractButton* ClipQuickLookOverlay::tabButton(QuickLookTab tab) const
{
    return m_picker->segment(tab);
}

QWidget* ClipQuickLookOverlay::imageView() const
{
    return m_image;
}

QWidget* ClipQuickLookOverlay::linkCard() const
{
    return m_linkCard;
}

QWidget* ClipQuickLookOverlay::cutNote() const
{
    return m_cutNote;
}

ClipQuickLookOverlay::ImageState ClipQuickLookOverlay::imageState() const
{
    return m_image->state();
}

QString ClipQuickLookOverlay::subtitle() const
{
    return m_subtitle->text();
}

QList<ClipQuickLook::DetailRow> ClipQuickLookOverlay::shownDetailRows() const
{
    return m_details->rows();
}

} // namespace tolvi
