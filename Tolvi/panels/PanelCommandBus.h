#pragma once

#include "Tolvi/panels/CompactKeyboardCommand.h"
#include "Tolvi/panels/PanelKeyboardCommand.h"

#include <QObject>
#include <QPointer>

#include <functional>

namespace tolvi {

// Carries panel keyboard commands from a panel's controller to the views that
// act on them. A command is posted with the panel it concerns, so the views of
// one window never act on another window's keys.
class PanelCommandBus : public QObject {
    Q_OBJECT
public:
    explicit PanelCommandBus(QObject* parent = nullptr);

    // The program's bus.
    static PanelCommandBus& shared();

    void post(PanelKeyboardCommand command, QObject* panel);
    void post(CompactKeyboardCommand command, QObject* panel);
    // Posts by name ("tolvi.panel." or "tolvi.compact." names); returns false (and posts
    // nothing) for a name that is neither a panel nor a compact panel command.
    bool post(const QString& notificationName, QObject* panel);

    // Calls handler for every posting of command whose panel is `panel` (any panel
    // when null), for as long as context lives.
    QMetaObject::Connection subscribe(PanelKeyboardCommand command, QObject* panel, QObject* context,
                                      std::function<void()> handler);
    // The same for a compact panel command.
    QMetaObject::Connection subscribe(CompactKeyboardCommand command, QObject* panel, QObject* context,
                                      std::function<void()> handler);

signals:
    void posted(tolvi::PanelKeyboardCommand command, QObject* panel);
    void compactPosted(tolvi::CompactKeyboardCommand command, QObject* panel);
};

} // namespace tolvi
