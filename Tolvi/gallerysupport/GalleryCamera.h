#pragma once

#include <QDir>
#include <QString>

class QImage;
class QPixmap;
class QWidget;

namespace tolvi::gallery {

// Where a screenshot program puts its pictures, and what went wrong on the way. A picture of a
// state is <prefix>-<state>-<theme>.png in the output folder (<state>-<theme>.png without a
// prefix); trouble goes to the error stream as "<program>: <what>" and makes the program fail.
class GalleryCamera {
public:
    GalleryCamera(QDir folder, QString program, QString prefix = QString());

    void setTheme(const QString& theme) { m_theme = theme; }
    const QString& theme() const { return m_theme; }

    bool failed() const { return m_failed; }
    void fail(const QString& what);

    // The file a state's picture goes to in the current theme.
    QString pathFor(const QString& state) const;

    // Writes the picture of a state and names the file on the output stream; a null picture or
    // one that cannot be written is a failure.
    bool save(const QImage& picture, const QString& state);
    bool save(const QPixmap& picture, const QString& state);

    // Saves the screen area that holds the window and its dialog (or popup; none: null), with a
    // margin, as the compositor shows it now.
    void saveScreenArea(QWidget* window, QWidget* dialog, const QString& state);

private:
    QDir m_folder;
    QString m_program;
    QString m_prefix;
    QString m_theme;
    bool m_failed = false;
};

} // namespace tolvi::gallery
