#include "BenchmarkHistory.h"

#include "TolviCore/model/ReferenceDate.h"

#include <QBuffer>
#include <QColor>
#include <QFont>
#include <QImage>
#include <QLinearGradient>
#include <QPainter>
#include <QUuid>

#include <algorithm>

namespace tolvi::bench {

ClipboardStore::Configuration uncappedConfiguration()
{
    ClipboardStore::Configuration configuration = ClipboardStore::Configuration::standard();
    configuration.maxItems.reset();
    return configuration;
}

const QStringList& clipWords()
{
    static const QStringList words = {
        QStringLiteral("invoice"),  QStringLiteral("meeting"), QStringLiteral("deploy"),
        QStringLiteral("quarterly"), QStringLiteral("panel"),  QStringLiteral("customer"),
        QStringLiteral("pricing"),  QStringLiteral("release"), QStringLiteral("notes"),
        QStringLiteral("kitchen"),  QStringLiteral("garden"),  QStringLiteral("parcel")};
    return words;
}

QString sentence(QRandomGenerator& random, int wordCount)
{
    const QStringList& words = clipWords();
    QString text;
    for (int i = 0; i < wordCount; ++i) {
        if (i)
            text += i % 13 == 0 ? QLatin1Char('\n') : QLatin1Char(' ');
        text += words[random.bounded(int(words.size()))];
        text += QString::number(random.bounded(1000));
    }
    return text;
}

QByteArray gradientPhoto(int index, bool captioned)
{
    QImage image(640, 400, QImage::Format_RGB32);
    QPainter painter(&image);
    QLinearGradient gradient(0, 0, 640, 400);
    gradient.setColorAt(0, QColor::fromHsv(index * 7 % 360, 160, 230));
    gradient.setColorAt(1, QColor::fromHsv(index * 13 % 360, 200, 120));
    painter.fillRect(image.rect(), gradient);
    if (captioned) {
        painter.setPen(Qt::white);
        painter.setFont(QFont(QStringLiteral("DejaVu Sans"), 28));
        painter.drawText(image.rect(), Qt::AlignCenter, QStringLiteral("Screenshot %1").arg(index));
    }
    painter.end();
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

ClipboardHistoryState textHistory(int texts, int images, ImagePlacement placement)
{
    QRandomGenerator random(7);
    QList<ClipboardItem> items;
    const double now = ReferenceDate::now();
    const int every = placement == ImagePlacement::amongTexts && images > 0 ? std::max(1, texts / images) : 0;
    for (int i = 0; i < texts; ++i) {
        const int wordCount = i % 500 == 7 ? 5000 : 3 + random.bounded(40);
        items.append(ClipboardItem(QUuid::createUuid(), sentence(random, wordCount).left(50'000), now - i * 30.0));
        if (every && i % every == 0 && i / every < images) {
            ClipboardImage image(gradientPhoto(i / every, false), QStringLiteral("public.png"), 640, 400);
            items.append(ClipboardItem(QUuid::createUuid(), ClipboardContent::image(image), now - i * 30.0 - 1));
        }
    }
    if (placement == ImagePlacement::ownTimes) {
        for (int i = 0; i < images; ++i) {
            ClipboardImage image(gradientPhoto(i, true), QStringLiteral("public.png"), 640, 400);
            items.append(ClipboardItem(QUuid::createUuid(), ClipboardContent::image(image), now - i * 97.0 - 15));
        }
    }
    return {items, DefaultPinboards::all()};
}

} // namespace tolvi::bench
