#include "Tolvi/design/SymbolCatalog.h"

#include <QDir>
#include <QHash>
#include <QImage>
#include <QPainter>
#include <QPixmapCache>
#include <QSvgRenderer>

#include <cmath>
#include <memory>

static void initSymbolResources()
{
    Q_INIT_RESOURCE(TolviDesignSymbols);
}

namespace tolvi {

namespace {

constexpr auto resourceFolder = ":/tolvi/symbols/";

struct Catalogue {
    QStringList names;
    QHash<QString, std::shared_ptr<QSvgRenderer>> renderers;

    Catalogue()
    {
        initSymbolResources();
        const QStringList files = QDir(QString::fromLatin1(resourceFolder)).entryList({QStringLiteral("*.svg")}, QDir::Files, QDir::Name);
        for (const QString& file : files)
            names.append(file.chopped(4));
        names.sort();
    }

    QSvgRenderer* renderer(const QString& name)
    {
        const QString key = names.contains(name) ? name : SymbolCatalog::fallbackName();
        auto it = renderers.find(key);
        if (it == renderers.end())
            it = renderers.insert(key, std::make_shared<QSvgRenderer>(QString::fromLatin1(resourceFolder) + key + QStringLiteral(".svg")));
        return it->get();
    }
};

Catalogue& catalogue()
{
    static Catalogue instance;
    return instance;
}

// The SVGs are drawn in black with white knock-outs: darkness becomes coverage.
QImage tinted(QImage image, const QColor& color)
{
    image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    const QRgb tint = color.rgba();
    const int tr = qRed(tint), tg = qGreen(tint), tb = qBlue(tint), ta = qAlpha(tint);
    for (int y = 0; y < image.height(); ++y) {
        auto* line = reinterpret_cast<QRgb*>(image.scanLine(y));
        for (int x = 0; x < image.width(); ++x) {
            const QRgb px = line[x];
            const int a = qAlpha(px);
            if (a == 0)
                continue;
            // Premultiplied: red is already scaled by alpha; black ink has red 0.
            const int ink = a - qRed(px); // 0..a
            const int coverage = ink * ta / 255;
            line[x] = qRgba(tr * coverage / 255, tg * coverage / 255, tb * coverage / 255, coverage);
        }
    }
    return image;
}

} // namespace

QStringList SymbolCatalog::names()
{
    QStringList result = catalogue().names;
    result.removeAll(fallbackName());
    return result;
}

bool SymbolCatalog::contains(const QString& name)
{
    return name != fallbackName() && catalogue().names.contains(name);
}

QPixmap SymbolCatalog::pixmap(const QString& name, int size, const QColor& color, qreal devicePixelRatio)
{
    // Views paint the same few symbols over and over: rasterise each look once.
    const QString key = QStringLiteral("tolvi.symbol/%1/%2/%3/%4")
                            .arg(contains(name) ? name : fallbackName())
                            .arg(size)
                            .arg(color.rgba(), 8, 16, QLatin1Char('0'))
                            .arg(devicePixelRatio);
    QPixmap cached;
    if (QPixmapCache::find(key, &cached))
        return cached;
    const int px = std::max(1, int(std::lround(size * devicePixelRatio)));
    QImage image(px, px, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    {
        QPainter painter(&image);
        painter.setRenderHint(QPainter::Antialiasing);
        catalogue().renderer(name)->render(&painter, QRectF(0, 0, px, px));
    }
    QPixmap pixmap = QPixmap::fromImage(tinted(std::move(image), color));
    pixmap.setDevicePixelRatio(devicePixelRatio);
    QPixmapCache::insert(key, pixmap);
    return pixmap;
}

void SymbolCatalog::paint(QPainter& painter, const QRectF& rect, const QString& name, const QColor& color)
{
    const qreal side = std::min(rect.width(), rect.height());
    if (side <= 0)
        return;
    const qreal dpr = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const QPixmap pm = pixmap(name, int(std::lround(side)), color, dpr);
    const QSizeF logical = pm.deviceIndependentSize();
    const QPointF topLeft(rect.center().x() - logical.width() / 2, rect.center().y() - logical.height() / 2);
    painter.drawPixmap(topLeft, pm);
}

int SymbolCatalog::pixelSizeForPointSize(qreal layoutPoints)
{
    return int(std::lround(layoutPoints * 1.15));
}

} // namespace tolvi
