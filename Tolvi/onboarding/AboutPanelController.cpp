#include "Tolvi/onboarding/AboutPanelController.h"

#include "Tolvi/design/AppIcon.h"
#include "Tolvi/design/Surfaces.h"
#include "Tolvi/design/SymbolCatalog.h"
#include "Tolvi/onboarding/OnboardingWidgets.h"
#include "Tolvi/platform/shell/BundleInfo.h"
#include "Tolvi/platform/shell/DesktopWorkspace.h"
#include "Tolvi/shell/TolviReleaseNotes.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPushButton>
#include <QVBoxLayout>

namespace tolvi {

using namespace onboarding;

using TolviDesign::ColorToken;
using TolviDesign::Typography;

namespace {

const QString fallbackVersion = QStringLiteral("0.1.0");
const QString fallbackBuild = QStringLiteral("1");

// The program's icon (the one installed for the desktop), in its own colours.
class AppIconView final : public QWidget {
public:
    explicit AppIconView(QWidget* parent) : QWidget(parent)
    {
        setObjectName(QStringLiteral("tolvi.about.icon"));
        setFixedSize(64, 64);
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        AppIcon::paint(painter, rect());
    }
};

class AboutBackdrop final : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        TolviConsoleBackdrop::paint(painter, rect(), TolviConsoleBackdrop::compactRadius, DesignContext::of(this));
    }
};

} // namespace

AboutView::AboutView(const QString& version, const QString& build, Actions actions, QWidget* parent)
    : QWidget(parent)
    , m_actions(std::move(actions))
    , m_versionLine(QStringLiteral("Version %1 (%2)").arg(version, build))
{
    setFixedWidth(viewWidth);
    setFocusPolicy(Qt::StrongFocus);
    auto* root = new QVBoxLayout(this);
    root->setContentsMargins(0, 0, 0, 0);
    auto* backdrop = new AboutBackdrop(this);
    root->addWidget(backdrop);

    auto* column = new QVBoxLayout(backdrop);
    column->setContentsMargins(26, 26, 26, 26);
    column->setSpacing(18);
    column->addSpacing(4);
    column->addWidget(new AppIconView(backdrop), 0, Qt::AlignHCenter);

    auto* names = new QVBoxLayout();
    names->setSpacing(5);
    auto* name = new TokenLabel(QStringLiteral("Tolvi"), onboardingFont(30, QFont::Bold));
    name->setAlignment(Qt::AlignCenter);
    names->addWidget(name);
    auto* tagline = new TokenLabel(QStringLiteral("Smart Paste for Linux"), TolviDesign::font(Typography::body),
                                   {ColorToken::muted});
    tagline->setAlignment(Qt::AlignCenter);
    names->addWidget(tagline);
    column->addLayout(names);

    auto* versionLabel = new TokenLabel(m_versionLine, TolviDesign::font(Typography::meta), {ColorToken::muted});
    versionLabel->setObjectName(QStringLiteral("tolvi.about.version"));
    versionLabel->setAlignment(Qt::AlignCenter);
    versionLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
    column->addWidget(versionLabel);

    auto* divider = new ToneBox(0, {ColorToken::glassStroke});
    divider->setFixedHeight(1);
    column->addWidget(divider);

    auto makeButton = [this](const QString& title, std::function<void()> Actions::*action) {
        QPushButton* button = borderedButton(title);
        button->setObjectName(QStringLiteral("tolvi.about.") + title);
        connect(button, &QAbstractButton::clicked, this, [this, action] {
            if (m_actions.*action)
                (m_actions.*action)();
        });
        return button;
    };
    auto* links = new QVBoxLayout();
    links->setSpacing(10);
    auto pair = [&](QPushButton* first, QPushButton* second) {
        auto* row = new QHBoxLayout();
        row->setSpacing(10);
        row->addStretch(1);
        row->addWidget(first);
        row->addWidget(second);
        row->addStretch(1);
        links->addLayout(row);
    };
    pair(makeButton(QStringLiteral("Privacy Policy"), &Actions::openPrivacy),
         makeButton(QStringLiteral("Support"), &Actions::openSupport));
    pair(makeButton(QStringLiteral("Release Notes"), &Actions::openChangelog),
         makeButton(QStringLiteral("Terms"), &Actions::openTerms));
    links->addWidget(makeButton(QStringLiteral("Send Feedback..."), &Actions::sendFeedback), 0, Qt::AlignHCenter);
    column->addLayout(links);

    auto* close = new PanelCloseButton(backdrop);
    close->pinToCorner(10);
    connect(close, &QAbstractButton::clicked, this, [this] {
        if (m_actions.dismiss)
            m_actions.dismiss();
    });
}

QAbstractButton* AboutView::button(const QString& title) const
{
    return findChild<QAbstractButton*>(QStringLiteral("tolvi.about.") + title);
}

AboutPanelController::AboutPanelController(Dependencies dependencies, QObject* parent)
    : OnboardingPanelController(parent)
    , m_dependencies(std::move(dependencies))
{
}

QString AboutPanelController::bundleValue(const BundleInfo& bundle, const char* key, const QString& fallback)
{
    return bundle.value(QString::fromLatin1(key), fallback);
}

void AboutPanelController::show()
{
    if (!m_panel)
        m_panel = makeAboutPanel();
    bringToFront(m_view);
}

EscapeClosingPanel* AboutPanelController::makeAboutPanel()
{
    QPointer<AboutPanelController> self(this);
    auto hide = [self] {
        if (self)
            self->orderOut();
    };
    AboutView::Actions actions;
    DesktopWorkspace* desktop = &m_dependencies.desktop;
    auto open = [self, desktop](QUrl (*page)()) {
        return [self, desktop, page] {
            if (self)
                desktop->openUrl(page());
        };
    };
    actions.openPrivacy = open(&TolviLinks::privacy);
    actions.openSupport = open(&TolviLinks::support);
    actions.openChangelog = open(&TolviLinks::changelog);
    actions.openTerms = open(&TolviLinks::terms);
    actions.sendFeedback = [self] {
        if (self && self->m_dependencies.sendFeedback)
            self->m_dependencies.sendFeedback();
    };
    actions.dismiss = hide;

    auto* view = new AboutView(bundleValue(m_dependencies.bundle, bundlekey::shortVersion, fallbackVersion),
                               bundleValue(m_dependencies.bundle, bundlekey::buildNumber, fallbackBuild),
                               std::move(actions));
    EscapeClosingPanel* panel =
        makePanel(windowTitle, QSize(AboutView::viewWidth, view->sizeHint().height()), m_dependencies.theme, hide);
    panel->layout()->addWidget(view);
    m_view = view;
    return panel;
}

} // namespace tolvi
