#pragma once

#include "Tolvi/panels/EscapeClosingPanel.h"

#include <QLayout>
#include <QObject>
#include <QPointer>
#include <QSize>
#include <QString>

#include <functional>

class QKeyEvent;

namespace tolvi {

class TolviTheme;

// The panel that each onboarding controller (the tour, What's New, About) owns: made once on the
// first showing and kept for the life of the program, hidden (never closed) by its ways out and
// when the program loses the focus, and on every showing centred on the primary screen and brought
// to the front with the keyboard focus on its view, so that no button shows a focus ring until Tab.
class OnboardingPanelHost : public QObject {
    Q_OBJECT
public:
    EscapeClosingPanel* panel() const { return m_panel; }

    // Whether a key press is Return or Enter without modifiers (the panel's default action).
    static bool isDefaultActionKey(const QKeyEvent& event);

protected:
    explicit OnboardingPanelHost(QObject* parent);
    ~OnboardingPanelHost() override;

    bool isPanelVisible() const;
    void hidePanel();
    // The panel: its title (what the window manager and tests see), a translucent background for
    // the rounded backdrop, a fixed size, the theme and a layout without margins for the view.
    // Escape hides it unless `escape` says otherwise.
    EscapeClosingPanel* makePanel(const QString& title, const QSize& size, TolviTheme* theme,
                                  std::function<void()> escape = {});
    // Centres the panel and brings it to the front with the focus on the view.
    void bringToFront(QWidget* view);

    QPointer<EscapeClosingPanel> m_panel;
};

// A controller of one onboarding panel showing a View, answering the composition root through
// Controlling (SimpleWindowControlling or WhatsNewWindowControlling).
template <typename View, typename Controlling>
class OnboardingPanelController : public OnboardingPanelHost, public Controlling {
public:
    bool hasWindow() const override { return m_panel != nullptr; }
    bool isWindowVisible() const override { return isPanelVisible(); }
    void orderOut() override { hidePanel(); }
    // X11 offers no way to keep a window out of screen captures.
    void setHiddenFromScreenCapture(bool) override {}

    View* view() const { return m_view; }

protected:
    explicit OnboardingPanelController(QObject* parent) : OnboardingPanelHost(parent) {}

    // Puts a fresh view in the panel in place of the one before. The old one may be running the
    // click that led here, so it goes later.
    void replaceView(const std::function<View*(QWidget* panel)>& make)
    {
        if (View* old = m_view) {
            delete m_panel->layout()->takeAt(0);
            old->hide();
            old->setParent(nullptr);
            old->deleteLater();
        }
        m_view = make(m_panel);
        m_panel->layout()->addWidget(m_view);
    }

    QPointer<View> m_view;
};

} // namespace tolvi
