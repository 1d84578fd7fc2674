#pragma once

#include <QLayout>
#include <QList>
#include <QRect>
#include <QSize>

#include <optional>

namespace tolvi {

// Lays its items out left to right and wraps onto further rows when the width runs out. Every
// item keeps its preferred size (offered the whole width, not what is left of its row); an
// item that does not fit after others on a row starts the next one, and one that is wider than
// the width stays alone on its row. Items of a row share its top edge; a row is as tall as its
// tallest item. Hidden widgets take no place. Nothing is remembered between passes.
class ClipboardFooterFlowLayout : public QLayout {
public:
    // spacing: between neighbours of a row; rowSpacing: between rows.
    explicit ClipboardFooterFlowLayout(QWidget* parent = nullptr, int spacing = 10, int rowSpacing = 8);
    ~ClipboardFooterFlowLayout() override;

    int horizontalSpacing() const { return m_spacing; }
    int rowSpacing() const { return m_rowSpacing; }

    // The frames of items of these sizes, in order, relative to the top-left corner of the
    // area. Without a width every item stays on the first row; a width below 1 counts as 1.
    static QList<QRect> arrangedFrames(const QList<QSize>& sizes, std::optional<int> width, int spacing,
                                       int rowSpacing);
    // The size the frames take: the width itself when one is given, else the largest right
    // edge; the largest bottom edge as the height.
    static QSize arrangedSize(const QList<QRect>& frames, std::optional<int> width);

    // The frames of the shown items for a width of the area inside the margins.
    QList<QRect> framesForWidth(std::optional<int> width) const;

    void addItem(QLayoutItem* item) override;
    int count() const override { return int(m_items.size()); }
    QLayoutItem* itemAt(int index) const override;
    QLayoutItem* takeAt(int index) override;
    Qt::Orientations expandingDirections() const override { return {}; }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSize() const override;
    void setGeometry(const QRect& rect) override;

private:
    // The shown items and their sizes when offered this width (inside the margins).
    QList<QLayoutItem*> shownItems() const;
    static QSize measured(QLayoutItem* item, std::optional<int> width);

    QList<QLayoutItem*> m_items;
    int m_spacing;
    int m_rowSpacing;
};

} // namespace tolvi
