#pragma once

#include "Tolvi/design/DesignTokens.h"
#include "Tolvi/design/Segments.h"
#include "Tolvi/design/Surfaces.h"
#include "Tolvi/inspector/ClipQuickLook.h"

#include <QAbstractButton>
#include <QFont>
#include <QList>
#include <QString>
#include <QWidget>

#include <functional>

class QPainter;
class QPushButton;

namespace tolvi {

// The pieces the Quick Look card is made of: its title lines, the kind's tile, the header's
// buttons, the tab picker, the plates, the link card, the details table and the card surface.
namespace quicklook {

QColor withOpacity(QColor color, qreal opacity);
// A rounded plate of the card: the window's plate, washed with a tint.
void paintPlate(QPainter& painter, const QRectF& rect, qreal radius, const QColor& tint, const DesignContext& context);

// One line of text in a colour token, shortened with "…" where it does not fit. Its text is
// taken as plain text, whatever it holds.
class TextLine final : public QWidget {
public:
    TextLine(TolviDesign::Typography style, TolviDesign::ColorToken color, Qt::TextElideMode elide, QWidget* parent);

    void setFontWeight(QFont::Weight weight);
    void setAlignment(Qt::Alignment alignment) { m_alignment = alignment; }
    void setText(const QString& text);
    const QString& text() const { return m_text; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QFont m_font;
    TolviDesign::ColorToken m_color;
    Qt::TextElideMode m_elide;
    Qt::Alignment m_alignment = Qt::AlignLeft;
    QString m_text;
    QString m_shown;
};

// The clip kind's symbol on its tinted tile.
class KindTile final : public QWidget {
public:
    explicit KindTile(QWidget* parent);
    void setSymbol(const QString& systemImage, TolviDesign::ColorToken tint);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QString m_systemImage;
    TolviDesign::ColorToken m_tint = TolviDesign::ColorToken::electricBlue;
};

// A header action: its symbol alone in a 26 x 26 frame, its title as tooltip and accessible name.
class HeaderButton final : public QAbstractButton {
public:
    HeaderButton(const QString& title, QString systemImage, QWidget* parent);

protected:
    void paintEvent(QPaintEvent*) override;

private:
    QString m_systemImage;
};

// One segment of the tab picker: the tab's symbol and label.
class TabSegment final : public QAbstractButton {
public:
    TabSegment(QuickLookTab tab, QWidget* parent);
    QuickLookTab tab() const { return m_tab; }

    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent*) override;

private:
    static int symbolSide();
    QuickLookTab m_tab;
};

// The "Preview Mode" picker: one segment per offered tab on a shallow track.
class TabPicker final : public TolviSegmentTrack {
public:
    std::function<void(QuickLookTab)> chosen;

    explicit TabPicker(QWidget* parent);

    TabSegment* segment(QuickLookTab tab) const;
    void offer(const QList<QuickLookTab>& available, QuickLookTab selected);

private:
    QList<TabSegment*> m_segments;
};

// A rounded plate behind a part of the card, washed with a tint.
class Plate : public QWidget {
public:
    Plate(TolviDesign::ColorToken tint, qreal tintOpacity, QWidget* parent);

protected:
    void paintEvent(QPaintEvent*) override;

    static constexpr qreal radius = 12;

private:
    TolviDesign::ColorToken m_tint;
    qreal m_tintOpacity;
};

// The card of a web address: its host and the address, and "Open".
class LinkCard final : public Plate {
public:
    explicit LinkCard(QWidget* parent);

    QPushButton* openButton() const { return m_open; }
    void setLink(const ClipQuickLook::Link& link);

private:
    TextLine* m_host;
    TextLine* m_address;
    QPushButton* m_open;
};

// One row of the details table: symbol, title, and the value at the trailing end, over a
// hairline that starts after the symbol.
class DetailRowView final : public QWidget {
public:
    DetailRowView(ClipQuickLook::DetailRow row, QWidget* parent);
    const ClipQuickLook::DetailRow& row() const { return m_row; }

protected:
    void paintEvent(QPaintEvent*) override;

private:
    static constexpr int horizontalPadding = 12;
    static constexpr int verticalPadding = 9;
    ClipQuickLook::DetailRow m_row;
};

// The rows of the details tab on their plate.
class DetailsTable final : public Plate {
public:
    explicit DetailsTable(QWidget* parent);

    void setRows(const QList<ClipQuickLook::DetailRow>& rows);
    const QList<ClipQuickLook::DetailRow>& rows() const { return m_rows; }

private:
    QList<ClipQuickLook::DetailRow> m_rows;
    QList<DetailRowView*> m_views;
};

// The card itself: a raised surface. With no blur behind it here, a translucent card would let
// the rows under it show through the text, so it is opaque.
class Card final : public TolviGlassSurface {
public:
    explicit Card(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent*) override;
};

} // namespace quicklook

} // namespace tolvi
