#pragma once

#include <QString>

#include <functional>

class QWidget;

namespace tolvi {

class TolviTheme;

// How the screenshot program saves what the editor states show, and where it reports trouble.
struct EditorShotCamera {
    // Saves the window as drawn, as history-<state>-<theme>.png.
    std::function<void(QWidget* window, const QString& state)> savePanel;
    // Saves the screen area holding the window and a dialog of its own.
    std::function<void(QWidget* window, QWidget* dialog, const QString& state)> saveScreenArea;
    std::function<void(const QString& problem)> fail;
};

// Opens the history window over a small history of its own, with AI writing switched on and an
// AI service whose answers the pictures decide, and photographs the quick editor and the
// new-snippet editor with unsaved text, with an AI request running, with errors, with the clip
// gone from the history and with the question before unsaved text is thrown away.
void photographEditors(TolviTheme& theme, const EditorShotCamera& camera);

} // namespace tolvi
