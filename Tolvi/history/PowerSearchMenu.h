#pragma once

#include "Tolvi/history/HistoryFilterBars.h"

#include <QAbstractButton>
#include <QList>
#include <QMenu>
#include <QString>
#include <QWidget>

class QAction;

namespace tolvi {

class HistoryWindowState;

// The Power Search menu: the content type and date range (each a submenu with one checked
// entry), "OCR Text Only", the "Foreground App" submenu of the applications the history holds,
// and "Clear Filters" while any filter besides the query is set. Its entries are made when it
// opens; their check marks follow the state while it is open.
class PowerSearchMenu : public QMenu {
    Q_OBJECT
public:
    explicit PowerSearchMenu(HistoryWindowState& state, QWidget* parent = nullptr);

    // Makes the entries from the state as it is now (the menu does this when it opens).
    void rebuild();

    QMenu* typeMenu() const { return m_typeMenu; }
    QMenu* dateMenu() const { return m_dateMenu; }
    QAction* ocrTextOnlyAction() const { return m_ocrAction; }
    QMenu* sourceAppMenu() const { return m_appMenu; }
    // Shown only while a filter besides the query is set.
    QAction* clearFiltersAction() const { return m_clearAction; }

private:
    void showCurrentChoices();

    HistoryWindowState& m_state;
    QMenu* m_typeMenu = nullptr;
    QMenu* m_dateMenu = nullptr;
    QAction* m_ocrAction = nullptr;
    QMenu* m_appMenu = nullptr;
    QAction* m_clearSeparator = nullptr;
    QAction* m_clearAction = nullptr;
};

// The icon button at the end of the search row that opens the Power Search menu; its symbol
// is filled while any filter besides the query is set.
class PowerSearchButton : public HistorySymbolButton {
    Q_OBJECT
public:
    explicit PowerSearchButton(HistoryWindowState& state, QWidget* parent = nullptr);

    PowerSearchMenu* powerSearchMenu() const { return m_menu; }

private:
    void showFilterState();

    HistoryWindowState& m_state;
    PowerSearchMenu* m_menu;
};

// One active filter shown in the filter bar: its symbol and title on a tinted capsule. It only
// shows; it takes no clicks.
class ActiveFilterChip : public QWidget {
    Q_OBJECT
public:
    ActiveFilterChip(const QString& title, const QString& systemImage, QWidget* parent = nullptr);

    QString title() const { return m_title; }
    QString systemImage() const { return m_systemImage; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_title;
    QString m_systemImage;
};

// The strip under the category bar that shows every active filter besides the query as a chip
// (scope, content type, date, recognised text, application) with a "Clear Filters" button that
// resets them all at once. It hides itself while no such filter is set.
class ActiveFilterBar : public QWidget {
    Q_OBJECT
public:
    explicit ActiveFilterBar(HistoryWindowState& state, QWidget* parent = nullptr);

    QList<ActiveFilterChip*> chips() const;
    QAbstractButton* clearButton() const { return m_clear; }

protected:
    bool event(QEvent* event) override;

private:
    void showFilters();
    void applyVisibility();

    HistoryWindowState& m_state;
    HorizontalStrip* m_strip;
    QAbstractButton* m_clear;
    // What the chips show now, as title and symbol pairs.
    QList<std::pair<QString, QString>> m_shown;
};

} // namespace tolvi
