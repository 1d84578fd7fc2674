#include "Tolvi/design/SymbolCatalog.h"

#include <QImage>
#include <QPainter>

#include <gtest/gtest.h>

namespace tolvi {
namespace {

int coveredPixels(const QPixmap& pixmap, QColor* sample = nullptr)
{
    const QImage image = pixmap.toImage();
    int covered = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) {
            const QColor c = image.pixelColor(x, y);
            if (c.alpha() == 255 && sample)
                *sample = c;
            covered += c.alpha() > 0;
        }
    return covered;
}

TEST(SymbolCatalogTest, CoversTheSymbolNamesTheWindowsUse)
{
    const QStringList used{
        "doc.on.clipboard", "doc.on.doc", "pin", "pin.fill", "pin.slash", "photo", "link", "text.alignleft",
        "magnifyingglass", "xmark", "xmark.circle", "checkmark.circle.fill", "exclamationmark.triangle",
        "exclamationmark.triangle.fill", "trash", "sparkles", "wand.and.stars", "square.and.pencil", "pencil.line",
        "text.viewfinder", "camera.viewfinder", "arrow.turn.down.left", "line.3.horizontal.decrease.circle",
        "line.3.horizontal.decrease.circle.fill", "square.grid.2x2", "lock.shield", "hand.raised", "hand.raised.fill",
        "keyboard", "gearshape", "sun.max", "moon", "circle.lefthalf.filled", "clock.arrow.circlepath", "record.circle",
        "chevron.left.forwardslash.chevron.right", "curlybraces", "quote.opening", "list.bullet", "list.number",
    };
    for (const QString& name : used)
        EXPECT_TRUE(SymbolCatalog::contains(name)) << name.toStdString();
    EXPECT_FALSE(SymbolCatalog::names().contains(SymbolCatalog::fallbackName()));
    EXPECT_GT(SymbolCatalog::names().size(), 90);
}

TEST(SymbolCatalogTest, EverySymbolDrawsInTheRequestedColourOnly)
{
    const QColor tint(0x95, 0x5B, 0x16);
    for (const QString& name : SymbolCatalog::names()) {
        SCOPED_TRACE(name.toStdString());
        const QPixmap pixmap = SymbolCatalog::pixmap(name, 32, tint);
        ASSERT_EQ(pixmap.size(), QSize(32, 32));
        QColor solid;
        const int covered = coveredPixels(pixmap, &solid);
        EXPECT_GT(covered, 20);
        EXPECT_LT(covered, 32 * 32);
        ASSERT_TRUE(solid.isValid());
        EXPECT_EQ(solid.rgb(), tint.rgb());
    }
}

TEST(SymbolCatalogTest, KnockedOutMarksStayClearInFilledSymbols)
{
    // The check mark of the filled circle is cut out of the disc, not painted over it.
    const QImage filled = SymbolCatalog::pixmap(QStringLiteral("checkmark.circle.fill"), 48, Qt::black).toImage();
    const QImage outline = SymbolCatalog::pixmap(QStringLiteral("checkmark.circle"), 48, Qt::black).toImage();
    // (10.5, 15.3) on the 24-point grid lies on the check mark.
    EXPECT_LT(filled.pixelColor(21, 30).alpha(), 60);
    EXPECT_GT(outline.pixelColor(21, 30).alpha(), 200);
    // And the disc itself is filled.
    EXPECT_GT(filled.pixelColor(10, 24).alpha(), 200);
}

TEST(SymbolCatalogTest, UnknownAndPathLikeNamesDrawTheFallbackAndNeverAFile)
{
    const QImage fallback = SymbolCatalog::pixmap(QStringLiteral("no.such.symbol"), 24, Qt::black).toImage();
    const QImage pin = SymbolCatalog::pixmap(QStringLiteral("pin"), 24, Qt::black).toImage();
    EXPECT_NE(fallback, pin);
    for (const QString& name : {QStringLiteral("../icons/pin"), QStringLiteral(":/tolvi/symbols/pin.svg"),
                                QStringLiteral("/usr/share/icons/hicolor/scalable/apps/x.svg"), QStringLiteral("pin.svg"),
                                QStringLiteral(""), SymbolCatalog::fallbackName()}) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_FALSE(SymbolCatalog::contains(name));
        EXPECT_EQ(SymbolCatalog::pixmap(name, 24, Qt::black).toImage(), fallback);
    }
}

TEST(SymbolCatalogTest, PaintCentresTheSymbolAndHonoursDevicePixelRatio)
{
    const QPixmap hiDpi = SymbolCatalog::pixmap(QStringLiteral("plus"), 16, Qt::black, 2.0);
    EXPECT_EQ(hiDpi.size(), QSize(32, 32));
    EXPECT_DOUBLE_EQ(hiDpi.devicePixelRatio(), 2.0);

    QImage canvas(40, 20, QImage::Format_ARGB32_Premultiplied);
    canvas.fill(Qt::transparent);
    QPainter painter(&canvas);
    SymbolCatalog::paint(painter, QRectF(0, 0, 40, 20), QStringLiteral("plus"), Qt::black);
    painter.end();
    // A plus drawn in a 20-point square centred at (20, 10): its centre is inked, the far sides are not.
    EXPECT_GT(canvas.pixelColor(20, 10).alpha(), 150);
    EXPECT_EQ(canvas.pixelColor(3, 10).alpha(), 0);
    EXPECT_EQ(canvas.pixelColor(36, 10).alpha(), 0);
}

} // namespace
} // namespace tolvi
