#pragma once

#include "Tolvi/design/DesignTokens.h"

#include <QLayout>
#include <QList>
#include <QPushButton>
#include <QTimer>
#include <QWidget>

namespace tolvi {

// The inspector's buttons: a symbol before a one-line title, elided when the button is given
// less than its width. Clicks never take the keyboard focus (Tab does), so the list or the
// search field keeps the keys. Every button keeps the primary style's focus-ring margin
// around what it draws, so that buttons of every look line up in one grid.
class InspectorButton : public QPushButton {
    Q_OBJECT
public:
    enum class Look {
        // The platform's bordered push button.
        bordered,
        // The electric-blue primary body.
        primary,
        // Symbol and title in the accent colour, no border; a soft fill while pressed.
        borderless,
        // Symbol and title in the text colour, no border; a soft fill while pressed.
        plain,
    };

    InspectorButton(const QString& title, const QString& systemImage, Look look, QWidget* parent = nullptr);

    QString title() const { return m_title; }
    QString systemImage() const { return m_systemImage; }
    // An empty title shows the symbol alone, centred.
    void setContent(const QString& title, const QString& systemImage);
    void setMinimumBodyWidth(int width);

    // The drawn body within the widget.
    QRect bodyRect() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    static constexpr int symbolSpacing = 6;
    // The least room left on either side of the symbol and title.
    static constexpr int minimumPadding = 4;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool hitButton(const QPoint& position) const override;

private:
    QFont labelFont() const;
    int symbolSide() const;

    QString m_title;
    QString m_systemImage;
    Look m_look;
    int m_minimumBodyWidth = 0;
};

// A plain-text label that keeps to at most `maxLines` lines, the last one ending in an
// ellipsis when the text goes on. Nothing in the text is interpreted.
class LineLimitedLabel : public QWidget {
    Q_OBJECT
public:
    LineLimitedLabel(TolviDesign::Typography style, TolviDesign::ColorToken color, int maxLines,
                     QWidget* parent = nullptr);

    QString text() const { return m_text; }
    void setText(const QString& text);

    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

    // The lines as drawn at a width.
    QStringList lines(int width) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TolviDesign::Typography m_style;
    TolviDesign::ColorToken m_color;
    int m_maxLines;
    QString m_text;
};

// A small spinning arc while text recognition runs; still under reduced motion.
class InspectorBusyIndicator : public QWidget {
    Q_OBJECT
public:
    explicit InspectorBusyIndicator(QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QTimer m_timer;
    int m_angle = 0;
};

// Lays out InspectorButtons row by row: in equally wide columns, as many as fit with each at
// least `minimumColumnWidth` wide, the buttons filling their cells; or, with a minimum of 0,
// at their own widths from the leading edge, wrapping when a row is full. Hidden buttons take
// no place. Spacings and the layout's rectangle are those of the drawn bodies: the buttons'
// focus-ring margins reach past them.
class ButtonGridLayout : public QLayout {
public:
    ButtonGridLayout(int minimumColumnWidth, int spacing, QWidget* parent = nullptr);
    ~ButtonGridLayout() override;

    void addItem(QLayoutItem* item) override;
    int count() const override { return int(m_items.size()); }
    QLayoutItem* itemAt(int index) const override { return m_items.value(index); }
    QLayoutItem* takeAt(int index) override;
    Qt::Orientations expandingDirections() const override { return Qt::Horizontal; }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;
    QSize sizeHint() const override;
    QSize minimumSize() const override;
    void setGeometry(const QRect& rect) override;

    // Columns at a width (at least one); 0 for buttons at their own widths.
    int columnCount(int width) const;

private:
    int arrange(const QRect& rect, bool apply) const;

    QList<QLayoutItem*> m_items;
    int m_minimumColumnWidth;
    int m_spacing;
};

} // namespace tolvi
