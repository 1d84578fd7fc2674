#pragma once

#include "Tolvi/design/TolviTheme.h"

#include <QColor>
#include <QImage>
#include <QWidget>

#include <gtest/gtest.h>

#include <cstdlib>

namespace tolvi::testing {

// Renders a widget (laid out at its current size) into an image with alpha.
inline QImage render(QWidget& widget)
{
    QImage image(widget.size(), QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    widget.render(&image, QPoint(), QRegion(), QWidget::DrawChildren);
    return image;
}

// Source-over blend of colour a with the given coverage onto b (both unpremultiplied, b opaque).
inline QColor blend(const QColor& top, qreal coverage, const QColor& bottom)
{
    const qreal a = top.alphaF() * coverage;
    return QColor::fromRgbF(float(top.redF() * a + bottom.redF() * (1 - a)), float(top.greenF() * a + bottom.greenF() * (1 - a)),
                            float(top.blueF() * a + bottom.blueF() * (1 - a)));
}

inline ::testing::AssertionResult colorNear(const QColor& actual, const QColor& expected, int tolerance = 3,
                                            bool compareAlpha = true)
{
    const bool ok = std::abs(actual.red() - expected.red()) <= tolerance
        && std::abs(actual.green() - expected.green()) <= tolerance
        && std::abs(actual.blue() - expected.blue()) <= tolerance
        && (!compareAlpha || std::abs(actual.alpha() - expected.alpha()) <= tolerance);
    if (ok)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "actual " << actual.name(QColor::HexArgb).toStdString() << " expected "
                                         << expected.name(QColor::HexArgb).toStdString();
}

inline QColor opaque(QColor c)
{
    c.setAlpha(255);
    return c;
}

} // namespace tolvi::testing
