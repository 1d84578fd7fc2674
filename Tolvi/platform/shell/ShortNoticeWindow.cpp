#include "Tolvi/platform/shell/ShortNoticeWindow.h"

#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QPointer>
#include <QScreen>
#include <QTimer>

namespace tolvi {

namespace {

// Above the panels and docks a desktop keeps at the bottom edge.
constexpr int kBottomMargin = 72;

} // namespace

ShortNoticeWindow::ShortNoticeWindow(QWidget* parent)
    : QWidget(parent, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::WindowDoesNotAcceptFocus),
      m_label(new QLabel(this)),
      m_hideTimer(new QTimer(this))
{
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFocusPolicy(Qt::NoFocus);
    setForegroundRole(QPalette::ToolTipText);
    setBackgroundRole(QPalette::ToolTipBase);
    setAutoFillBackground(true);
    setAccessibleName(QStringLiteral("Tolvi notice"));
    m_label->setTextFormat(Qt::PlainText);
    m_label->setWordWrap(true);
    m_label->setMaximumWidth(480);
    m_label->setForegroundRole(QPalette::ToolTipText);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(16, 10, 16, 10);
    layout->addWidget(m_label);
    m_hideTimer->setSingleShot(true);
    connect(m_hideTimer, &QTimer::timeout, this, &QWidget::hide);
}

ShortNoticeWindow::~ShortNoticeWindow() = default;

ShortNoticeWindow* ShortNoticeWindow::showNotice(const QString& text, std::chrono::milliseconds duration)
{
    static QPointer<ShortNoticeWindow> shared;
    if (!shared)
        shared = new ShortNoticeWindow();
    shared->present(text, duration);
    return shared;
}

void ShortNoticeWindow::present(const QString& text, std::chrono::milliseconds duration)
{
    m_label->setText(text);
    adjustSize();
    placeOnScreen();
    show();
    raise();
    m_hideTimer->start(duration);
}

QString ShortNoticeWindow::text() const
{
    return m_label->text();
}

void ShortNoticeWindow::mousePressEvent(QMouseEvent*)
{
    m_hideTimer->stop();
    hide();
}

void ShortNoticeWindow::placeOnScreen()
{
    QScreen* screen = QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    move(area.center().x() - width() / 2, area.bottom() - kBottomMargin - height());
}

} // namespace tolvi
