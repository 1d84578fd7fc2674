#include "Tolvi/onboarding/OnboardingPanelController.h"

#include "Tolvi/design/TolviTheme.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QScreen>
#include <QVBoxLayout>

namespace tolvi {

OnboardingPanelHost::OnboardingPanelHost(QObject* parent)
    : QObject(parent)
{
    QPointer<OnboardingPanelHost> self(this);
    hideWhenDeactivated(
        this, [self] { return self && self->isPanelVisible(); },
        [self] {
            if (self)
                self->hidePanel();
        });
}

OnboardingPanelHost::~OnboardingPanelHost()
{
    delete m_panel;
}

bool OnboardingPanelHost::isDefaultActionKey(const QKeyEvent& event)
{
    const Qt::KeyboardModifiers modifiers = event.modifiers() & ~Qt::KeypadModifier;
    return (event.key() == Qt::Key_Return || event.key() == Qt::Key_Enter) && modifiers == Qt::NoModifier;
}

bool OnboardingPanelHost::isPanelVisible() const
{
    return m_panel && m_panel->isVisible();
}

void OnboardingPanelHost::hidePanel()
{
    if (m_panel && m_panel->isVisible())
        m_panel->hide();
}

EscapeClosingPanel* OnboardingPanelHost::makePanel(const QString& title, const QSize& size, TolviTheme* theme,
                                                   std::function<void()> escape)
{
    auto* panel = new EscapeClosingPanel();
    panel->setWindowTitle(title);
    panel->setAttribute(Qt::WA_TranslucentBackground);
    panel->setFixedSize(size);
    if (theme)
        tolviConsoleAppearance(panel, theme);
    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    QPointer<OnboardingPanelHost> self(this);
    if (!escape) {
        escape = [self] {
            if (self)
                self->hidePanel();
        };
    }
    panel->setEscapeHandler(std::move(escape));
    return panel;
}

void OnboardingPanelHost::bringToFront(QWidget* view)
{
    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect visible = screen ? screen->availableGeometry() : QRect();
    const QSize size = m_panel->size();
    m_panel->move(visible.x() + (visible.width() - size.width()) / 2,
                  visible.y() + (visible.height() - size.height()) / 2);
    m_panel->makeKeyAndOrderFront();
    if (view)
        view->setFocus(Qt::ActiveWindowFocusReason);
}

} // namespace tolvi
