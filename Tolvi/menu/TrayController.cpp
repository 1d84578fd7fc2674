#include "Tolvi/menu/TrayController.h"

#include "Tolvi/design/SymbolCatalog.h"
#include "Tolvi/menu/TrayMenuBuilder.h"
#include "TolviCore/search/ClipboardFormatter.h"

#include <QCursor>
#include <QIcon>
#include <QMenu>
#include <QSystemTrayIcon>
#include <QTimer>

namespace tolvi {

namespace {

QIcon trayIcon()
{
    QIcon icon;
    for (const int size : {16, 22, 24, 32, 48, 64})
        icon.addPixmap(SymbolCatalog::pixmap(QStringLiteral("doc.on.clipboard"), size, QColor(0x1f, 0x6f, 0xeb)));
    return icon;
}

} // namespace

TrayController::TrayController(ContentSource content, ActionHandler handler, std::function<void()> opening,
                               QObject* parent)
    : QObject(parent),
      m_content(std::move(content)),
      m_handler(std::move(handler)),
      m_opening(std::move(opening)),
      m_menu(std::make_unique<QMenu>()),
      m_icon(std::make_unique<QSystemTrayIcon>())
{
    m_icon->setIcon(trayIcon());
    m_icon->setToolTip(QStringLiteral("Tolvi"));
    m_icon->setContextMenu(m_menu.get());
    connect(m_icon.get(), &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        if (reason == QSystemTrayIcon::Trigger || reason == QSystemTrayIcon::MiddleClick)
            m_menu->popup(QCursor::pos());
    });
    connect(m_menu.get(), &QMenu::aboutToShow, this, [this] {
        if (m_opening)
            m_opening();
    });
    connect(m_menu.get(), &QMenu::aboutToHide, this, [this] {
        if (m_staleWhileOpen) {
            m_staleWhileOpen = false;
            rebuildMenu();
        }
    });
    rebuildMenu();
}

TrayController::~TrayController()
{
    m_icon->setContextMenu(nullptr);
}

bool TrayController::show()
{
    // Shown even without a tray: the icon docks as soon as one appears (a panel that starts
    // after Tolvi at login).
    m_icon->show();
    return QSystemTrayIcon::isSystemTrayAvailable();
}

bool TrayController::isVisible() const
{
    return m_icon->isVisible();
}

void TrayController::rebuildMenu()
{
    // Many changes can arrive in one burst (a capture changes items and OCR state): rebuild once.
    if (m_rebuildPending)
        return;
    m_rebuildPending = true;
    QTimer::singleShot(0, this, [this] {
        m_rebuildPending = false;
        if (m_menu->isVisible()) {
            m_staleWhileOpen = true;  // never rebuild under the user's pointer
            return;
        }
        m_menu->clear();
        fillTrayMenu(*m_menu, m_content().entries([](const ClipboardItem& item) {
                         return ClipboardFormatter::menuPreview(item, 30);
                     }),
                     m_handler);
    });
}

} // namespace tolvi
