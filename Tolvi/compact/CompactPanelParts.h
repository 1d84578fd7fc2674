#pragma once

#include "Tolvi/design/DesignTokens.h"

#include <QFont>
#include <QListView>
#include <QString>
#include <QToolButton>

#include <optional>

namespace tolvi {

class EmptyHistoryView;

// The pieces the compact panel's bars and lists are made of.
namespace CompactPanelParts {

// One line of plain text, elided at the right, in one font and colour token.
class LineLabel : public QWidget {
    Q_OBJECT
public:
    LineLabel(QFont font, TolviDesign::ColorToken color, QWidget* parent = nullptr);
    void setText(const QString& text);
    QString text() const { return m_text; }
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QFont m_font;
    TolviDesign::ColorToken m_color;
    QString m_text;
    QString m_shown;
};

// A flat button that is only a symbol; it never takes keyboard focus, so Return and the arrows
// keep reaching the panel.
class SymbolButton : public QToolButton {
    Q_OBJECT
public:
    SymbolButton(QString name, qreal points, int side, QWidget* parent = nullptr);
    void setSymbol(const QString& name, std::optional<TolviDesign::ColorToken> color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_name;
    qreal m_points;
    std::optional<TolviDesign::ColorToken> m_color;
};

// A list of the panel: no frame, no background of its own, a slim scroll bar that is always
// shown; typing never searches inside it (the search field does that).
class ListView : public QListView {
    Q_OBJECT
public:
    explicit ListView(QWidget* parent = nullptr);
    void keyboardSearch(const QString&) override {}
    // The frame, scrolling and transparency of the panel's lists.
    void applyPanelStyle();
};

// A place for an empty state: the view framed to 180 points high, centred.
QWidget* framedEmptyView(EmptyHistoryView* view, QWidget* parent);

} // namespace CompactPanelParts

} // namespace tolvi
