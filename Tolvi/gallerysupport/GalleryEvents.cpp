#include "Tolvi/gallerysupport/GalleryEvents.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QTimer>
#include <QWidget>

namespace tolvi::gallery {

void settle(int milliseconds)
{
    QEventLoop loop;
    QTimer::singleShot(milliseconds, &loop, &QEventLoop::quit);
    loop.exec();
}

bool waitFor(const std::function<bool()>& condition, int milliseconds)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > milliseconds)
            return false;
        settle(10);
    }
    return true;
}

bool resizeAndWait(QWidget* window, QSize size)
{
    window->resize(size);
    return waitFor([window, size] { return window->size() == size; }, 3000);
}

} // namespace tolvi::gallery
