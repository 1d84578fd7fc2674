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

namespace {

// Calls the handler for posts of one command from one panel (any panel when none is given);
// a panel that is gone matches nothing.
template <typename Command>
auto forCommand(Command command, QObject* panel, std::function<void()> handler)
{
    return [command, expected = QPointer<QObject>(panel), anyPanel = panel == nullptr,
            handler = std::move(handler)](Command posted, QObject* from) {
        if (posted != command)
            return;
        if (!anyPanel && (expected.isNull() || from != expected.data()))
            return;
        handler();
    };
}

} // namespace

QMetaObject::Connection PanelCommandBus::subscribe(PanelKeyboardCommand command, QObject* panel, QObject* context,
                                                   std::function<void()> handler)
{
    return connect(this, &PanelCommandBus::posted, context, forCommand(command, panel, std::move(handler)));
}

QMetaObject::Connection PanelCommandBus::subscribe(CompactKeyboardCommand command, QObject* panel, QObject* context,
                                                   std::function<void()> handler)
{
    return connect(this, &PanelCommandBus::compactPosted, context, forCommand(command, panel, std::move(handler)));
}

} // namespace tolvi
