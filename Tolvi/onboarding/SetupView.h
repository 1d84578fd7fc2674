#pragma once

#include "Tolvi/design/DesignColor.h"
#include "Tolvi/services/paste/PermissionStatusStore.h"

#include <QPixmap>
#include <QPointer>
#include <QWidget>

#include <array>
#include <functional>
#include <optional>

class QAbstractButton;
class QBoxLayout;
class QHBoxLayout;
class QLabel;
class QStackedWidget;
class QVBoxLayout;

namespace tolvi {

class TolviBadge;
namespace onboarding {
class TokenLabel;
}

// The four steps of the onboarding tour, in order.
enum class SetupStep {
    welcome = 0,
    howItWorks = 1,
    basics = 2,
    tryIt = 3,
};

namespace setupstep {
inline constexpr std::array<SetupStep, 4> allCases{SetupStep::welcome, SetupStep::howItWorks, SetupStep::basics,
                                                   SetupStep::tryIt};
// No step for a raw value outside 0...3.
std::optional<SetupStep> fromRawValue(int raw);
QString systemImage(SetupStep step);
DesignColor tint(SetupStep step);
} // namespace setupstep

// The tour's content: a backdrop, a header with the step's icon and progress, the step's page
// and a footer with the step's buttons. It writes no preference itself: finishing the tour
// goes through `completeSetup`, leaving it through `close`, `openHistory` or `tryDemo`.
class SetupView : public QWidget {
    Q_OBJECT
public:
    struct Actions {
        std::function<void()> openHistory;
        std::function<void()> tryDemo;
        std::function<void()> completeSetup;
        std::function<void()> close;
    };

    // What the pages show of the program's state.
    struct Facts {
        // The compact panel's chord, as Linux names it ("Super + Shift + V").
        QString compactShortcut;
        // Whether keystrokes can be sent to other programs (XTEST in an X11 session).
        bool canPostEvents = false;
        // What to say when it cannot: a title and what the user can do in this session.
        QString noPostingTitle = PermissionStatusStore::Texts().unavailableTitle;
        QString noPostingText = PermissionStatusStore::Texts().unavailable;
        // Whether this build checks for new versions at all.
        bool canCheckForUpdates = false;
        // The clip "Open Compact Mode" adds to the history, shown on the last step.
        QString sampleText;
    };

    static constexpr QSize viewSize{760, 620};
    static constexpr int stepAnimationMilliseconds = 180;

    SetupView(Actions actions, Facts facts, QWidget* parent = nullptr);

    SetupStep step() const { return m_step; }
    // Shows the step; slides and fades the pages unless the user asked for reduced motion.
    void setStep(SetupStep step);

    void setCompactShortcut(const QString& label);
    void setCanPostEvents(bool canPostEvents);
    const Facts& facts() const { return m_facts; }

    // Presses the step's prominent button (Return).
    void activateDefaultAction();
    // The prominent button of the current step.
    QAbstractButton* defaultButton() const;
    // The footer's buttons that the current step shows, left to right ("Back" first).
    QList<QAbstractButton*> visibleFooterButtons() const;
    QStackedWidget* pages() const { return m_pages; }

private:
    struct FooterButton {
        QAbstractButton* button;
        std::optional<SetupStep> onlyOn;  // none: every step but welcome ("Back")
        bool isDefault;
    };

    QWidget* makeHeader();
    QWidget* makeFooter();
    void refreshFrame();
    void animate(const QPixmap& leavingPicture, int toIndex);
    void goBack();

    // Step pages (SetupStepContents.cpp).
    QWidget* makeWelcomePage();
    QWidget* makeHowItWorksPage();
    QWidget* makeBasicsPage();
    QWidget* makeTryItPage();
    QWidget* makeCompactPreview();
    QWidget* makePermissionHint();
    QWidget* makeSampleCard();
    TolviBadge* makeShortcutBadge(QWidget* parent);

    Actions m_actions;
    Facts m_facts;
    SetupStep m_step = SetupStep::welcome;

    QStackedWidget* m_pages = nullptr;
    QHBoxLayout* m_headerRow = nullptr;
    QWidget* m_headerTile = nullptr;
    TolviBadge* m_stepBadge = nullptr;
    QWidget* m_pips = nullptr;
    QList<FooterButton> m_footerButtons;

    // The three places that name the compact chord, and the permission line's holder.
    QList<QPointer<TolviBadge>> m_shortcutBadges;
    QPointer<onboarding::TokenLabel> m_findDetail;
    QVBoxLayout* m_permissionHolder = nullptr;
    QPointer<QWidget> m_permissionHint;
    QPointer<QWidget> m_leavingPage;
};

} // namespace tolvi
