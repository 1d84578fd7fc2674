#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace tolvi {

class HistoryWindowState;

// How the gallery saves a picture: the window as drawn, or the window with a popup over it.
struct InspectorShotTaker {
    std::function<void(const QString& state)> saveWindow;
    std::function<void(QWidget* popup, const QString& state)> saveWithPopup;
    std::function<void(const QString& problem)> fail;
};

// The inspector for every kind of clip of the sample history, the window made tall enough to
// show most of its column: history-inspector-<kind>-<theme>.png.
void photographInspector(HistoryWindowState& state, QWidget* window, const InspectorShotTaker& taker);

} // namespace tolvi
