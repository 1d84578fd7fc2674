#pragma once

#include "Tolvi/panels/WindowControllers.h"
#include "Tolvi/panels/EscapeClosingPanel.h"
#include "Tolvi/shell/TolviReleaseNotes.h"

#include <QObject>
#include <QPointer>
#include <QWidget>

#include <functional>

class QAbstractButton;

namespace tolvi {

class BundleInfo;
class DesktopWorkspace;
class PreferencesStore;
class TolviTheme;

// The highlights of the running release, with a link to the full release notes.
class WhatsNewView : public QWidget {
    Q_OBJECT
public:
    struct Actions {
        std::function<void()> openReleaseNotes;
        // "Continue" and Return.
        std::function<void()> close;
        // The corner's close button: hides only.
        std::function<void()> dismiss;
    };

    static constexpr QSize viewSize{520, 520};

    WhatsNewView(const TolviReleaseNotes& notes, Actions actions, QWidget* parent = nullptr);

    QAbstractButton* continueButton() const { return m_continue; }
    QAbstractButton* releaseNotesButton() const { return m_releaseNotes; }
    QAbstractButton* closeButton() const { return m_closeButton; }

private:
    Actions m_actions;
    QAbstractButton* m_continue = nullptr;
    QAbstractButton* m_releaseNotes = nullptr;
    QAbstractButton* m_closeButton = nullptr;
};

// Owns the What's New panel: one panel for the program's life with fresh notes on every
// showing. Escape always marks the release as seen; Continue does when the showing asked for
// it; the close button and every other way out mark nothing.
class WhatsNewPanelController final : public QObject, public WhatsNewWindowControlling {
    Q_OBJECT
public:
    struct Dependencies {
        PreferencesStore& preferences;
        const BundleInfo& bundle;
        DesktopWorkspace& desktop;
        TolviTheme* theme = nullptr;
    };

    static inline const QString windowTitle = QStringLiteral("What's New in Tolvi");

    explicit WhatsNewPanelController(Dependencies dependencies, QObject* parent = nullptr);
    ~WhatsNewPanelController() override;

    bool hasWindow() const override { return m_panel != nullptr; }
    bool isWindowVisible() const override;
    void orderOut() override;
    void setHiddenFromScreenCapture(bool) override {}
    void show(bool markAsSeenOnClose) override;

    EscapeClosingPanel* panel() const { return m_panel; }
    WhatsNewView* view() const { return m_view; }

private:
    EscapeClosingPanel* makePanel();
    void installContent(const TolviReleaseNotes& notes, bool markAsSeenOnClose);
    void markAsSeen();

    Dependencies m_dependencies;
    QPointer<EscapeClosingPanel> m_panel;
    QPointer<WhatsNewView> m_view;
};

} // namespace tolvi
