// Renders the design gallery in the light and dark themes to PNG files:
//   TolviDesignGallery <output folder>
#include "DesignGallery.h"

#include <QApplication>
#include <QDir>
#include <QTextStream>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QTextStream err(stderr);
    if (argc != 2) {
        err << "usage: TolviDesignGallery <output folder>\n";
        return 2;
    }
    const QDir folder(QString::fromLocal8Bit(argv[1]));
    if (!folder.exists() && !QDir().mkpath(folder.path())) {
        err << "cannot create " << folder.path() << "\n";
        return 1;
    }
    using tolvi::DesignGallery;
    using tolvi::ThemeAppearance;
    const struct {
        const char* name;
        ThemeAppearance appearance;
    } themes[] = {{"light", ThemeAppearance::light}, {"dark", ThemeAppearance::dark}};
    for (const auto& t : themes) {
        const QString pieces = folder.filePath(QStringLiteral("design-pieces-%1.png").arg(QLatin1String(t.name)));
        const QString symbols = folder.filePath(QStringLiteral("design-symbols-%1.png").arg(QLatin1String(t.name)));
        if (!DesignGallery::renderPieces(t.appearance).save(pieces) || !DesignGallery::renderSymbols(t.appearance).save(symbols)) {
            err << "cannot write into " << folder.path() << "\n";
            return 1;
        }
        QTextStream(stdout) << pieces << "\n" << symbols << "\n";
    }
    return 0;
}
