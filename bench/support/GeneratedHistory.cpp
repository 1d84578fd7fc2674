#include "GeneratedHistory.h"

#include "TolviCore/model/ClipboardHistoryState.h"
#include "TolviCore/persistence/FileClipboardHistoryPersistence.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QRandomGenerator>
#include <QStringList>

#include <map>
#include <memory>
#include <string>

namespace tolvi::bench {

namespace {

constexpr HistoryShape shapes[] = {
    {"empty", 0, 0},
    {"texts_10k", 10'000, 0},
    {"texts_10k_images_200", 10'000, 200},
    {"budget_500MB", 2'000, 480},
    {"texts_10k_accented", 10'000, 0, true},
};

// A PNG of noise of about 1 MB (640 x 520 RGB, stored without compression), different per seed.
QByteArray noisePng(quint32 seed)
{
    QImage image(640, 520, QImage::Format_RGB888);
    QRandomGenerator random(seed);
    for (int y = 0; y < image.height(); ++y)
        random.fillRange(reinterpret_cast<quint32*>(image.scanLine(y)), image.bytesPerLine() / 4);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG", 100);
    return bytes;
}

} // namespace

namespace {

// A heading, then words drawn from `words` up to about 2.5 KB on average (a few hundred bytes to
// about 18 KB), a line break now and then.
QString textOfWords(int index, QRandomGenerator& random, const QString& heading, const QStringList& words)
{
    const int length = 200 + static_cast<int>(random.bounded(2 * 2200));
    const int longOne = index % 97 == 0 ? 4 : 1;
    QString text;
    text.reserve(length * longOne + 32);
    text += heading;
    while (text.size() < length * longOne) {
        text += words[random.bounded(int(words.size()))];
        text += random.bounded(12) == 0 ? QLatin1Char('\n') : QLatin1Char(' ');
    }
    return text;
}

} // namespace

// 10,000 of them make about 25 MB.
QString ordinaryText(int index, QRandomGenerator& random)
{
    static const QStringList words = {
        QStringLiteral("the"),    QStringLiteral("history"), QStringLiteral("clip"),  QStringLiteral("window"),
        QStringLiteral("paste"),  QStringLiteral("copied"),  QStringLiteral("board"), QStringLiteral("search"),
        QStringLiteral("result"), QStringLiteral("value"),   QStringLiteral("line"),  QStringLiteral("of"),
        QStringLiteral("text"),   QStringLiteral("and")};
    QString text = textOfWords(index, random, QStringLiteral("Clip %1: ").arg(index), words);
    if (index % 10 == 3)
        text += QString::fromUtf8(" caf\xC3\xA9 na\xC3\xAFve \xE2\x80\x94 \xF0\x9F\x91\x8D");
    return text;
}

QString accentedText(int index, QRandomGenerator& random)
{
    static const QStringList words = {
        QString::fromUtf8("le"),         QString::fromUtf8("d\u00e9j\u00e0"),  QString::fromUtf8("historique"),
        QString::fromUtf8("\u00e9t\u00e9"), QString::fromUtf8("fen\u00eatre"),   QString::fromUtf8("copi\u00e9"),
        QString::fromUtf8("tr\u00e8s"),    QString::fromUtf8("r\u00e9sultat"),   QString::fromUtf8("valeur"),
        QString::fromUtf8("ligne"),      QString::fromUtf8("\u00e0"),        QString::fromUtf8("texte"),
        QString::fromUtf8("et"),         QString::fromUtf8("gr\u00fc\u00dfe")};
    return textOfWords(index, random, QStringLiteral("Extrait %1 : ").arg(index), words);
}

std::span<const HistoryShape> historyShapes()
{
    return shapes;
}

QString GeneratedHistory::historyPath() const
{
    return home.filePath(QStringLiteral("data/Tolvi/history.json"));
}

GeneratedHistory::GeneratedHistory(const HistoryShape& shape)
{
    if (shape.texts == 0 && shape.images == 0)
        return;
    QDir(home.path()).mkpath(QStringLiteral("data/Tolvi"));
    QFile::setPermissions(home.filePath(QStringLiteral("data/Tolvi")),
                          QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    ClipboardHistoryState state;
    state.pinboards = DefaultPinboards::all();
    QRandomGenerator random(7);
    double decoded = 0;
    const double newest = 790'000'000.0;
    const int total = shape.texts + shape.images;
    const int imageEvery = shape.images > 0 ? total / shape.images : 0;
    int images = 0;
    int texts = 0;
    for (int i = 0; images + texts < total; ++i) {
        const double createdAt = newest - i * 13.0;
        const bool image = images < shape.images && (texts == shape.texts || i % imageEvery == 1);
        if (image) {
            QByteArray png = noisePng(static_cast<quint32>(1000 + images));
            decoded += png.size();
            std::optional<QString> recognized;
            if (images % 3 == 0)
                recognized = QStringLiteral("Recognised words of image %1").arg(images);
            state.items.append(ClipboardItem(
                QUuid::createUuid(),
                ClipboardContent::image(
                    ClipboardImage(std::move(png), QStringLiteral("public.png"), 640, 520, std::move(recognized))),
                createdAt, false, {}, ClipboardSourceApp(QStringLiteral("Image Viewer"), QStringLiteral("viewer"))));
            ++images;
            continue;
        }
        QString text = shape.accented ? accentedText(i, random) : ordinaryText(i, random);
        decoded += text.toUtf8().size();
        QList<QUuid> boards;
        if (i % 400 == 5)
            boards.append(state.pinboards.first().id());
        state.items.append(ClipboardItem(QUuid::createUuid(), std::move(text), createdAt, i % 250 == 7,
                                         std::move(boards),
                                         ClipboardSourceApp(QStringLiteral("Editor"), QStringLiteral("org.example.editor"))));
        ++texts;
    }
    const QString path = historyPath();
    FileClipboardHistoryPersistence(path).save(state);
    fileMB = QFileInfo(path).size() / 1e6;
    decodedMB = decoded / 1e6;
    clipCount = total;
}

GeneratedHistory& generatedHistory(const HistoryShape& shape)
{
    static std::map<std::string, std::unique_ptr<GeneratedHistory>> cache;
    auto& slot = cache[shape.name];
    if (!slot)
        slot = std::make_unique<GeneratedHistory>(shape);
    return *slot;
}

} // namespace tolvi::bench
