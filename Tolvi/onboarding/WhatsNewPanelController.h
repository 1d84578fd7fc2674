#pragma once

#include "Tolvi/onboarding/OnboardingPanelController.h"
#include "Tolvi/panels/WindowControllers.h"
#include "Tolvi/shell/TolviReleaseNotes.h"

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

// Owns the What's New panel, with fresh notes on every showing. Escape always marks the release
// as seen; Continue does when the showing asked for it; the close button and every other way out
// mark nothing.
class WhatsNewPanelController final : public OnboardingPanelController<WhatsNewView, WhatsNewWindowControlling> {
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

    void show(bool markAsSeenOnClose) override;

private:
    EscapeClosingPanel* makeNotesPanel();
    void installContent(const TolviReleaseNotes& notes, bool markAsSeenOnClose);
    void markAsSeen();

    Dependencies m_dependencies;
};

} // namespace tolvi
