#include "Tolvi/panels/PanelCommandBus.h"

#include <QCoreApplication>

namespace tolvi {

PanelCommandBus::PanelCommandBus(QObject* parent)
    : QObject(parent)
{
}

PanelCommandBus& PanelCommandBus::shared()
{
    static QPointer<PanelCommandBus> bus;
    if (!bus)
        bus = new PanelCommandBus(QCoreApplication::instance());
    return *bus;
}

void PanelCommandBus::post(PanelKeyboardCommand command, QObject* panel) { emit posted(command, panel); }

void PanelCommandBus::post(CompactKeyboardCommand command, QObject* panel) { emit compactPosted(command, panel); }

bool PanelCommandBus::post(const QString& name, QObject* panel)
{
    if (const auto command = panelKeyboardCommand(name)) {
        post(*command, panel);
        return true;
    }
    if (const auto command = compactKeyboardCommand(name)) {
        post(*command, panel);
        return true;
    }
    return false;
}

QMetaObject::Connection PanelCommandBus::subscribe(PanelKeyboardCommand command, QObject* panel, QObject* context,
                                                   std::function<void()> handler)
{
    QPointer<QObject> expected(panel);
    const bool anyPanel = panel == nullptr;
    return connect(this, &PanelCommandBus::posted, context,
                   [command, expected, anyPanel, handler = std::move(handler)](PanelKeyboardCommand posted, QObject* from) {
                       if (posted != command)
                           return;
                       if (!anyPanel && (expected.isNull() || from != expected.data()))
                           return;
                       handler();
                   });
}

QMetaObject::Connection PanelCommandBus::subscribe(CompactKeyboardCommand command, QObject* panel, QObject* context,
                                                   std::function<void()> handler)
{
    QPointer<QObject> expected(panel);
    const bool anyPanel = panel == nullptr;
    return connect(this, &PanelCommandBus::compactPosted, context,
                   [command, expected, anyPanel,
                    handler = std::move(handler)](CompactKeyboardCommand posted, QObject* from) {
                       if (posted != command)
                           return;
                       if (!anyPanel && (expected.isNull() || from != expected.data()))
                           return;
                       handler();
                   });
}

} // namespace tolvi
