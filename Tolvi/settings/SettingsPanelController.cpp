#include "Tolvi/settings/SettingsPanelController.h"

#include "Tolvi/design/Surfaces.h"
#include "Tolvi/design/SymbolCatalog.h"
#include "Tolvi/design/TolviTheme.h"
#include "Tolvi/design/WindowDragGesture.h"
#include "Tolvi/panels/EscapeClosingPanel.h"
#include "Tolvi/settings/SettingsView.h"

#include <QApplication>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QTimer>
#include <QToolButton>
#include <QVBoxLayout>

namespace tolvi {

namespace {

// The window's background, and the handle that moves the frameless window.
class SettingsBackdrop final : public TolviConsoleBackdrop {
public:
    explicit SettingsBackdrop(QWidget* parent)
        : TolviConsoleBackdrop(false, parent)
        , m_drag(new WindowDragGesture(this))
    {
    }

protected:
    void mousePressEvent(QMouseEvent* event) override
    {
        if (m_drag->press(*event))
            event->accept();
        else
            TolviConsoleBackdrop::mousePressEvent(event);
    }

private:
    WindowDragGesture* m_drag;
};

// The close button of the frameless window, in the top-right corner.
class CloseButton final : public QToolButton {
public:
    explicit CloseButton(QWidget* parent) : QToolButton(parent)
    {
        setFixedSize(24, 24);
        setCursor(Qt::ArrowCursor);
        setAccessibleName(QStringLiteral("Close"));
        setToolTip(QStringLiteral("Close"));
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const DesignContext context = DesignContext::of(this);
        if (underMouse() || isDown())
            painter.fillPath(roundedShape(QRectF(rect()), 12), context.color(TolviDesign::ColorToken::rowFill));
        SymbolCatalog::paint(painter, QRectF(rect()).adjusted(7, 7, -7, -7), QStringLiteral("xmark"),
                             context.color(TolviDesign::ColorToken::muted));
    }
};

} // namespace

SettingsPanelController::SettingsPanelController(SettingsDependencies dependencies, QObject* parent)
    : QObject(parent)
    , m_dependencies(std::move(dependencies))
{
    hideWhenDeactivated(
        this, [this] { return isWindowVisible(); }, [this] { orderOut(); });
}

SettingsPanelController::~SettingsPanelController()
{
    delete m_panel;
}

bool SettingsPanelController::hasWindow() const
{
    return m_panel != nullptr;
}

bool SettingsPanelController::isWindowVisible() const
{
    return m_panel && m_panel->isVisible();
}

void SettingsPanelController::orderOut()
{
    if (m_panel && m_panel->isVisible())
        m_panel->hide();
}

QPoint SettingsPanelController::centredOrigin(const QRect& visible, const QSize& size)
{
    return {visible.x() + (visible.width() - size.width()) / 2, visible.y() + (visible.height() - size.height()) / 2};
}

void SettingsPanelController::show()
{
    if (!m_panel)
        m_panel = makePanel();
    QScreen* screen = QGuiApplication::primaryScreen();
    const QRect visible = screen ? screen->availableGeometry() : QRect();
    m_panel->move(centredOrigin(visible, m_panel->size()));
    m_panel->makeKeyAndOrderFront();
}

EscapeClosingPanel* SettingsPanelController::makePanel()
{
    auto* panel = new EscapeClosingPanel();
    panel->setWindowTitle(windowTitle);
    panel->setAttribute(Qt::WA_TranslucentBackground);
    panel->setFixedSize(SettingsView::fixedSize);
    if (m_dependencies.theme)
        tolviConsoleAppearance(panel, m_dependencies.theme);
    QPointer<EscapeClosingPanel> weakPanel(panel);
    panel->setEscapeHandler([weakPanel] {
        if (weakPanel)
            weakPanel->hide();
    });

    auto* layout = new QVBoxLayout(panel);
    layout->setContentsMargins(0, 0, 0, 0);
    auto* backdrop = new SettingsBackdrop(panel);
    layout->addWidget(backdrop);
    auto* backdropLayout = new QVBoxLayout(backdrop);
    backdropLayout->setContentsMargins(0, 0, 0, 0);
    m_view = new SettingsView(m_dependencies, backdrop);
    backdropLayout->addWidget(m_view);
    auto* close = new CloseButton(backdrop);
    close->move(SettingsView::fixedSize.width() - close->width() - 12, 12);
    close->raise();
    connect(close, &QToolButton::clicked, panel, [weakPanel] {
        if (weakPanel)
            weakPanel->hide();
    });
    return panel;
}

} // namespace tolvi
