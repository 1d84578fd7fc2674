#pragma once

#include "Tolvi/app/WindowControllers.h"
#include "TolviCore/model/ClipboardItem.h"

#include "Tolvi/panels/EscapeClosingPanel.h"

#include <QObject>
#include <QPointer>

#include <functional>

class QLineEdit;
class QListView;

namespace tolvi {

class ClipboardStore;
class ClipListModel;
class TolviTheme;


// A plain keyboard-first list of the history in a floating panel: type to filter, arrows to
// move, Return to paste, Escape to close. It serves the compact hot key until the compact
// panel takes its place.
class ClipListWindow : public QObject {
    Q_OBJECT
public:
    using PasteAction = std::function<void(const ClipboardItem&)>;

    // `beforeShow` runs each time the window is about to appear (the paste target is taken then).
    // `theme`: what the window is drawn with (Qt's own look when null).
    ClipListWindow(ClipboardStore& store, QString title, PasteAction paste, std::function<void()> beforeShow = {},
                   TolviTheme* theme = nullptr, QObject* parent = nullptr);
    ~ClipListWindow() override;

    bool hasWindow() const { return m_panel != nullptr; }
    bool isVisible() const;
    void show();
    void hide();
    void toggle();

    EscapeClosingPanel* panel() const { return m_panel; }
    QListView* list() const { return m_list; }
    QLineEdit* searchField() const { return m_search; }

private:
    void build();
    void reload();
    void pasteSelected();

    ClipboardStore& m_store;
    QString m_title;
    PasteAction m_paste;
    std::function<void()> m_beforeShow;
    TolviTheme* m_theme = nullptr;
    QPointer<EscapeClosingPanel> m_panel;
    ClipListModel* m_model = nullptr;
    QListView* m_list = nullptr;
    QLineEdit* m_search = nullptr;
};

// The compact panel of the composition root, backed by a clip list.
class ClipListCompactController final : public CompactPanelControlling {
public:
    explicit ClipListCompactController(std::unique_ptr<ClipListWindow> window) : m_window(std::move(window)) {}
    bool hasWindow() const override { return m_window->hasWindow(); }
    bool isWindowVisible() const override { return m_window->isVisible(); }
    void orderOut() override { m_window->hide(); }
    void setHiddenFromScreenCapture(bool) override {}
    void show() override { m_window->show(); }
    void toggle() override { m_window->toggle(); }
    ClipListWindow& window() const { return *m_window; }

private:
    std::unique_ptr<ClipListWindow> m_window;
};

} // namespace tolvi
