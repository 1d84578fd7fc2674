#pragma once

#include "Tolvi/design/DesignTokens.h"
#include "TolviCore/model/Pinboard.h"
#include "TolviCore/search/ClipboardSearchCriteria.h"

#include <QAbstractButton>
#include <QList>
#include <QMargins>
#include <QScrollArea>
#include <QString>
#include <QToolButton>
#include <QWidget>

class QHBoxLayout;
class QMenu;

namespace tolvi {

class HistoryWindowState;

// The titles and symbols the history window's filters are shown with.
namespace HistoryFilterVocabulary {

QString title(ClipboardSearchContentFilter filter);
QString systemImage(ClipboardSearchContentFilter filter);
QString title(ClipboardSearchDateFilter filter);
// The scope key of a board: "pinboard:" followed by its id in upper-case standard form.
QString scopeKey(const Pinboard& board);

// A menu entry's text for a text that came from the user (a board or an application name):
// an ampersand is shown as itself, never as a mnemonic, and tabs and line breaks (which would
// split the entry) are shown as spaces.
QString menuText(const QString& userText);
// A tooltip that shows the text exactly, whatever markup it looks like.
QString plainToolTip(const QString& text);

} // namespace HistoryFilterVocabulary

// Readies a menu of the filter controls: it follows the theme of the window it opens from, and
// each chosen entry shows the program's check mark at its trailing end, beside the entry's own
// symbol (the platform's menus would draw the mark over the symbol, or as a check box).
void prepareFilterMenu(QMenu* menu);

// A borderless button that shows one symbol centred in a fixed frame, in one colour token.
// Pressed it dims; disabled it fades; with keyboard focus it shows a ring. A click leaves the
// keyboard focus where it was.
class HistorySymbolButton : public QToolButton {
    Q_OBJECT
public:
    HistorySymbolButton(const QString& systemImage, QSize frame, int symbolSide, QWidget* parent = nullptr);

    QString systemImage() const { return m_systemImage; }
    void setSystemImage(const QString& systemImage);
    void setSymbolColor(TolviDesign::ColorToken token);

    QSize sizeHint() const override { return m_frame; }
    QSize minimumSizeHint() const override { return m_frame; }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_systemImage;
    QSize m_frame;
    int m_symbolSide;
    TolviDesign::ColorToken m_color = TolviDesign::ColorToken::ink;
};

// A chip that chooses one value of a filter: a symbol and a title on a rounded body, filled in
// one pair of colours when chosen and another when not. Its checked state is the filter's; a
// click never toggles it (the owner sets it from the window's state).
class FilterChoiceChip : public QAbstractButton {
    Q_OBJECT
public:
    struct Colors {
        TolviDesign::ColorToken chosenText;
        TolviDesign::ColorToken chosenFill;
        TolviDesign::ColorToken text;
        TolviDesign::ColorToken fill;
    };

    FilterChoiceChip(const QString& title, const QString& systemImage, Colors colors, QMargins padding,
                     QWidget* parent = nullptr);

    QString title() const { return m_title; }
    QString systemImage() const { return m_systemImage; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

    static constexpr qreal cornerRadius = 5;
    static constexpr int symbolSpacing = 5;

protected:
    void paintEvent(QPaintEvent* event) override;
    void nextCheckState() override {}

private:
    QString m_title;
    QString m_systemImage;
    Colors m_colors;
    QMargins m_padding;
};

// A row of widgets that scrolls sideways (with a slim scroll bar, and with the mouse wheel)
// when it is wider than its place. Its content sits at the leading edge.
class HorizontalStrip : public QScrollArea {
    Q_OBJECT
public:
    HorizontalStrip(int spacing, QWidget* parent = nullptr);

    // Adds a widget after the ones already there (the strip takes it).
    void addWidget(QWidget* widget);
    // Deletes every widget in the row.
    void clear();
    QList<QWidget*> widgets() const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void changeEvent(QEvent* event) override;

private:
    void styleScrollBar();

    QWidget* m_content;
    QHBoxLayout* m_row;
};

// The scope row above the search field: a strip with one chip per scope ("History", "Pinned"
// and every board, in the store's order), the scope menu that reaches every scope without
// scrolling, and the button that opens board management. Each control writes the state's
// filterKey; nothing here checks whether the window is blocked.
class ScopeBar : public QWidget {
    Q_OBJECT
public:
    explicit ScopeBar(HistoryWindowState& state, QWidget* parent = nullptr);

    HorizontalStrip* strip() const { return m_strip; }
    // The chips in the strip, in order; their property "scopeKey" holds their key.
    QList<FilterChoiceChip*> scopeButtons() const;
    QToolButton* scopeMenuButton() const { return m_menuButton; }
    // The scope menu; its entries are made when it opens.
    QMenu* scopeMenu() const { return m_menu; }
    QAbstractButton* manageBoardsButton() const { return m_manageBoards; }

private:
    void rebuildStrip();
    void showChosenScope();
    void fillMenu();
    void markMenuChoice();
    void updateBoardManagement();

    HistoryWindowState& m_state;
    HorizontalStrip* m_strip;
    HistorySymbolButton* m_menuButton;
    QMenu* m_menu;
    HistorySymbolButton* m_manageBoards;
};

// The row of content categories under the search field ("All", "Text", "Images", "Links",
// "Code"); each chip writes the state's contentFilter.
class CategoryBar : public QWidget {
    Q_OBJECT
public:
    explicit CategoryBar(HistoryWindowState& state, QWidget* parent = nullptr);

    // In the order of the categories; their property "contentFilter" holds the case as an int.
    QList<FilterChoiceChip*> categoryButtons() const { return m_buttons; }

private:
    void showChosenCategory();

    HistoryWindowState& m_state;
    QList<FilterChoiceChip*> m_buttons;
};

} // namespace tolvi
