#pragma once

#include "Tolvi/design/DesignColor.h"
#include "Tolvi/design/DesignTokens.h"
#include "Tolvi/settings/SettingsPresentation.h"

#include <QLabel>
#include <QWidget>

#include <optional>

class QVBoxLayout;

namespace tolvi {

// A plain-text label in one type style whose text colour is a design token, resolved against
// the window's appearance whenever it paints.
class TokenLabel : public QLabel {
    Q_OBJECT
public:
    TokenLabel(const QString& text, TolviDesign::Typography style,
               std::optional<DesignColor> color = std::nullopt, QWidget* parent = nullptr);
    void setColor(std::optional<DesignColor> color);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    std::optional<DesignColor> m_color;
};

// A tooltip that shows the text literally, whatever markup it holds.
QString plainToolTip(const QString& text);

// A muted caption in the meta style that wraps.
TokenLabel* settingsCaption(const QString& text, QWidget* parent = nullptr);

// A symbol painted in one colour, at a fixed side.
class SymbolView : public QWidget {
    Q_OBJECT
public:
    // The symbol is drawn `inset` points inside the square on every side.
    SymbolView(const QString& systemImage, const DesignColor& color, int side, int inset = 0,
               QWidget* parent = nullptr);
    void setSymbol(const QString& systemImage, const DesignColor& color);
    QString systemImage() const { return m_systemImage; }
    QSize sizeHint() const override { return {m_side, m_side}; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_systemImage;
    DesignColor m_color;
    int m_side;
    int m_inset;
};

// One card of a settings section: a violet title, a muted subtitle, then its content, on a
// rounded row-coloured plate.
class SettingsGroup : public QWidget {
    Q_OBJECT
public:
    SettingsGroup(const QString& title, const QString& subtitle, QWidget* parent = nullptr);
    QString title() const;
    // The content goes here, under the titles, 12 points apart.
    QVBoxLayout* contentLayout() const { return m_content; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    TokenLabel* m_title = nullptr;
    QVBoxLayout* m_content = nullptr;
};

// A one-line state with an explanation: a tinted symbol, a title and a muted detail.
class StatusLine : public QWidget {
    Q_OBJECT
public:
    explicit StatusLine(const StatusPresentation& presentation, QWidget* parent = nullptr);
    void setPresentation(const StatusPresentation& presentation);
    const StatusPresentation& presentation() const { return m_presentation; }
    QString title() const { return m_presentation.title; }
    QString detail() const { return m_presentation.detail; }

private:
    StatusPresentation m_presentation;
    SymbolView* m_symbol = nullptr;
    TokenLabel* m_title = nullptr;
    TokenLabel* m_detail = nullptr;
};

// A horizontal rule in the hairline colour.
class SettingsDivider : public QWidget {
    Q_OBJECT
public:
    explicit SettingsDivider(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace tolvi

namespace tolvi {

// One line of plain text elided in the middle to its width, in one type style and token colour.
class ElidedLabel : public QWidget {
    Q_OBJECT
public:
    ElidedLabel(const QString& text, TolviDesign::Typography style, const DesignColor& color,
                QWidget* parent = nullptr);
    QString text() const { return m_text; }
    void setText(const QString& text);
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_text;
    TolviDesign::Typography m_style;
    DesignColor m_color;
};

} // namespace tolvi
