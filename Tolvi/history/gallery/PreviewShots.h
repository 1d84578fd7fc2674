#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace tolvi {

class HistoryWindowState;

// Saves the full-size preview over the history window: a text, a link, an image with
// recognised text on each of its tabs, and an image whose preview is unavailable, as
// history-preview-<state>. `save` photographs the window under a state name; `fail` reports a
// problem.
void photographPreviews(HistoryWindowState& state, QWidget* panel,
                        const std::function<void(QWidget*, const QString&)>& save,
                        const std::function<void(const QString&)>& fail);

} // namespace tolvi
