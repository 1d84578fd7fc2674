#include "Tolvi/gallerysupport/GalleryProgram.h"

#include <QTextStream>

namespace tolvi::gallery {

std::optional<QDir> outputFolder(int argc, char** argv, const QString& program)
{
    QTextStream errors(stderr);
    if (argc != 2) {
        errors << "usage: " << program << " <output folder>\n";
        return std::nullopt;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.exists() && !QDir().mkpath(folder.path())) {
        errors << program << ": cannot create " << folder.path() << "\n";
        return std::nullopt;
    }
    return folder;
}

} // namespace tolvi::gallery
