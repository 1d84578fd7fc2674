#include "Tolvi/gallerysupport/GalleryCamera.h"

#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QTextStream>
#include <QWidget>

namespace tolvi::gallery {

GalleryCamera::GalleryCamera(QDir folder, QString program, QString prefix)
    : m_folder(std::move(folder))
    , m_program(std::move(program))
    , m_prefix(std::move(prefix))
{
}

void GalleryCamera::fail(const QString& what)
{
    QTextStream(stderr) << m_program << ": " << what << "\n";
    m_failed = true;
}

QString GalleryCamera::pathFor(const QString& state) const
{
    QStringList parts;
    if (!m_prefix.isEmpty())
        parts.append(m_prefix);
    parts.append(state);
    if (!m_theme.isEmpty())
        parts.append(m_theme);
    return m_folder.filePath(parts.join(QLatin1Char('-')) + QStringLiteral(".png"));
}

bool GalleryCamera::save(const QImage& picture, const QString& state)
{
    const QString path = pathFor(state);
    if (picture.isNull() || !picture.save(path, "PNG")) {
        fail(QStringLiteral("cannot write %1").arg(path));
        return false;
    }
    QTextStream(stdout) << path << "\n";
    return true;
}

bool GalleryCamera::save(const QPixmap& picture, const QString& state)
{
    return save(picture.toImage(), state);
}

void GalleryCamera::saveScreenArea(QWidget* window, QWidget* dialog, const QString& state)
{
    QScreen* screen = window->screen();
    if (!screen) {
        fail(QStringLiteral("no screen to capture \"%1\" from").arg(state));
        return;
    }
    const QRect area = window->frameGeometry()
                           .united(dialog ? dialog->frameGeometry() : QRect())
                           .adjusted(-24, -24, 24, 24)
                           .intersected(screen->geometry());
    save(screen->grabWindow(0, area.x(), area.y(), area.width(), area.height()), state);
}

} // namespace tolvi::gallery
