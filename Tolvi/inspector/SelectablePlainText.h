#pragma once

#include "Tolvi/design/DesignTokens.h"

#include <QElapsedTimer>
#include <QFont>
#include <QString>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <tuple>
#include <vector>

class QTextLayout;

namespace tolvi {

class FontCoverage;

// A text shown as it stands (nothing interpreted), wrapped at the width given (anywhere when a
// word is too long for a line), with no line limit, selectable with the mouse and copyable:
// the inspector's preview of a clip's text, on the preview background, and its file paths.
// It is as tall as its padded text, and at least its minimum height.
//
// A clip may hold hundreds of thousands of characters and a single line may be that long, so
// the text is laid out a piece at a time from the top: what a paint needs first, the rest in
// short slices while the event loop is idle. Until every line is laid out, the height counts
// the rest by an estimate, which the slices replace with the measured lines as they go (the
// lines above what is shown never move). A long line is cut into pieces where one of its
// wrapped lines begins, so it wraps exactly as it would whole.
class SelectablePlainText : public QWidget {
    Q_OBJECT
public:
    struct Appearance {
        TolviDesign::ColorToken color = TolviDesign::ColorToken::ink;
        // Around the text, inside the background.
        int padding = 0;
        // Between the lines, paragraphs included.
        qreal lineSpacing = 0;
        int minimumHeight = 0;
        // The preview background (rounded, surface fill, hairline) behind the padded text.
        bool drawsBackground = false;
    };

    explicit SelectablePlainText(Appearance appearance, QWidget* parent = nullptr);
    ~SelectablePlainText() override;

    // Shows another text; the selection goes. An equal text in the same font keeps its layout.
    void setText(const QString& text, const QFont& font);
    const QString& text() const { return m_text; }
    const QFont& textFont() const { return m_font; }
    // Where Copy puts the selected text.
    void setCopyHandler(std::function<void(const QString&)> copy) { m_copy = std::move(copy); }

    QString selectedText() const;
    void selectAll();
    void clearSelection();
    // Selects [start, end) of the text.
    void select(int start, int end);

    // Whether every line is laid out at the current width (the height is exact).
    bool isFullyLaidOut() const;
    // The text's offset under a point of the widget.
    int positionAt(const QPointF& point);

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    static constexpr qreal backgroundCornerRadius = 12;
    // Texts up to this long are laid out whole whenever a height is asked for.
    static constexpr int wholeLayoutLimit = 4000;
    // The longest piece laid out at once, and inside a character of many code points.
    static constexpr int pieceLimit = 1000;
    static constexpr int clusterPieceLimit = 200;
    // How long one idle slice of layout may run.
    static constexpr int sliceMilliseconds = 4;
    // How long a paint may lay out before it shows what is there.
    static constexpr int paintBudgetMilliseconds = 30;
    // Slices between two updates of the height while the rest is laid out.
    static constexpr int slicesPerGeometryUpdate = 16;
    // How much of the text keeps its laid-out lines (glyphs and positions, tens of bytes a
    // character): the pieces used last. The others keep only their place and height and are
    // laid out again when painted or clicked.
    static constexpr qsizetype keptLayoutLength = 40'000;

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    struct Piece;
    // The lines laid out at one text width, from the top down.
    struct Layout;

    int textWidthFor(int width) const;
    QString shownPiece(qsizetype start, qsizetype length) const;
    // The layout at this text width, made anew when the width or the text changed.
    Layout& layoutAt(int textWidth) const;
    // A layout at this text width with nothing laid out yet.
    std::unique_ptr<Layout> newLayout(int textWidth) const;
    // Lays out one more piece; false when every piece is laid out.
    bool layOutNextPiece(Layout& layout) const;
    // Lays out a piece's text at the layout's width: its height, lines and last line's start.
    std::tuple<qreal, int, int> layOutLines(const Layout& layout, QTextLayout& textLayout) const;
    // The lines of a piece, laid out again when they were given up.
    QTextLayout& pieceLayout(Layout& layout, size_t index) const;
    // Counts a piece among those that keep their lines; the oldest give theirs up.
    void keep(Layout& layout, size_t index) const;
    // Lays out until the text is laid out down to y (text coordinates) or to the end.
    void layOutDownTo(Layout& layout, qreal y) const;
    qreal textHeight(const Layout& layout) const;
    qreal estimatedRestHeight(const Layout& layout) const;
    void scheduleMore();
    void layOutMore();
    int breakEnd(int position) const;
    // Whether [start, end) lies inside one character (no character boundary between them).
    bool isInsideOneCharacter(int start, int end) const;
    int wordStart(int position) const;
    int wordEnd(int position) const;
    void copySelection();

    Appearance m_appearance;
    QString m_text;
    // What is laid out: the text with its bidirectional controls as visible marks (one for one),
    // so it reads as what a copy gives.
    QString m_shown;
    // Characters no font shows are laid out as its box (see FontCoverage); none until known.
    std::shared_ptr<const FontCoverage> m_coverage;
    QFont m_font;
    // Where the text's paragraphs end (the positions of their break characters), found once.
    std::vector<int> m_breaks;
    mutable std::unique_ptr<Layout> m_layout;
    // Text width and height of short texts measured at other widths than the one shown.
    mutable std::vector<std::pair<int, int>> m_measuredHeights;
    QTimer m_more;
    int m_slicesSinceGeometry = 0;
    // The last paint showed less than it was asked for: the slices paint again.
    bool m_paintWaitsForLayout = false;
    std::function<void(const QString&)> m_copy;
    int m_anchor = 0;
    int m_cursor = 0;
    bool m_selecting = false;
};

} // namespace tolvi
