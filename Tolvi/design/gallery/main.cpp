// Renders the design gallery in the light and dark themes to PNG files:
//   TolviDesignGallery <output folder>
#include "DesignGallery.h"

#include "Tolvi/gallerysupport/GalleryCamera.h"
#include "Tolvi/gallerysupport/GalleryProgram.h"

#include <QApplication>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    using namespace tolvi;
    const QString program = QStringLiteral("TolviDesignGallery");
    const std::optional<QDir> folder = gallery::outputFolder(argc, argv, program);
    if (!folder)
        return 1;
    gallery::GalleryCamera camera(*folder, program, QStringLiteral("design"));
    for (const gallery::GalleryTheme& entry : gallery::galleryThemes) {
        camera.setTheme(QString::fromLatin1(entry.name));
        if (!camera.save(DesignGallery::renderPieces(entry.appearance), QStringLiteral("pieces"))
            || !camera.save(DesignGallery::renderSymbols(entry.appearance), QStringLiteral("symbols")))
            return 1;
    }
    return 0;
}
