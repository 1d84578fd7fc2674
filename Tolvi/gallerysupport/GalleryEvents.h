#pragma once

#include <QSize>

#include <functional>

class QWidget;

namespace tolvi::gallery {

// Runs the event loop for a while, so that the window manager, the compositor and the
// program's workers catch up.
void settle(int milliseconds);

// Runs the event loop until the condition holds or the time is up; whether it holds.
bool waitFor(const std::function<bool()>& condition, int milliseconds);

// Resizes the window and waits until the window manager gave it that size; whether it did.
bool resizeAndWait(QWidget* window, QSize size);

} // namespace tolvi::gallery
