#pragma once

#include "Tolvi/onboarding/OnboardingPanelController.h"
#include "Tolvi/panels/WindowControllers.h"

#include <QWidget>

#include <functional>

class QAbstractButton;

namespace tolvi {

class BundleInfo;
class DesktopWorkspace;
class TolviTheme;

// The program's icon, name, tagline and version, with the product pages and feedback.
class AboutView : public QWidget {
    Q_OBJECT
public:
    struct Actions {
        std::function<void()> openPrivacy;
        std::function<void()> openSupport;
        std::function<void()> sendFeedback;
        std::function<void()> openChangelog;
        std::function<void()> openTerms;
        // The corner's close button.
        std::function<void()> dismiss;
    };

    static constexpr int viewWidth = 380;

    AboutView(const QString& version, const QString& build, Actions actions, QWidget* parent = nullptr);

    // "Version 0.1.0 (1)".
    QString versionLine() const { return m_versionLine; }
    // The button with this title ("Privacy Policy", "Send Feedback...").
    QAbstractButton* button(const QString& title) const;

private:
    Actions m_actions;
    QString m_versionLine;
};

// Owns the About panel, made on the first showing with the build's version; Escape and the
// close button hide it.
class AboutPanelController final : public OnboardingPanelController<AboutView, SimpleWindowControlling> {
    Q_OBJECT
public:
    struct Dependencies {
        const BundleInfo& bundle;
        DesktopWorkspace& desktop;
        TolviTheme* theme = nullptr;
        // Starts a feedback mail naming the version and the system.
        std::function<void()> sendFeedback;
    };

    static inline const QString windowTitle = QStringLiteral("About Tolvi");

    explicit AboutPanelController(Dependencies dependencies, QObject* parent = nullptr);

    void show() override;

    // The build's value for a key when present (also when empty), else the fallback.
    static QString bundleValue(const BundleInfo& bundle, const char* key, const QString& fallback);

private:
    EscapeClosingPanel* makeAboutPanel();

    Dependencies m_dependencies;
};

} // namespace tolvi
