#include "SampleHistory.h"

namespace tolvi::samples {

ClipboardHistoryState sampleHistory()
{
    const QUuid board1(QStringLiteral("AAAAAAAA-0000-4000-8000-000000000001"));
    const QUuid board2(QStringLiteral("aaaaaaaa-0000-4000-8000-000000000002"));

    QString withNul = QStringLiteral("nul");
    withNul.append(QChar(0));
    withNul.append(QString::fromUtf8("\xC3\xA9\xE2\x82\xAC \xF0\x9F\x98\x80 \"quoted\" \\ back\n\ttab \x01 /slash"));

    QByteArray imageBytes;
    for (int i = 0; i < 1000; ++i)
        imageBytes.append(static_cast<char>(i * 7));

    ClipboardHistoryState state;
    state.items.append(ClipboardItem(QUuid(QStringLiteral("11111111-2222-4333-8444-555555555555")), withNul,
                                     0.1 + 0.2, true, {board1, board2},
                                     ClipboardSourceApp(QString::fromUtf8("R\xC3\xA9sum\xC3\xA9 Editor"),
                                                        QStringLiteral("org.example.editor"))));
    state.items.append(ClipboardItem(QUuid(QStringLiteral("22222222-2222-4333-8444-555555555555")),
                                     ClipboardContent::image(ClipboardImage(imageBytes, QStringLiteral("public.png"),
                                                                            1440, 900, QStringLiteral("Text in it"))),
                                     -123.456789012345678, false, {}, ClipboardSourceApp(QStringLiteral("Shot"))));
    state.items.append(ClipboardItem(QUuid(QStringLiteral("33333333-2222-4333-8444-555555555555")),
                                     ClipboardContent::image(ClipboardImage(QByteArray(), QStringLiteral("public.tiff"))),
                                     1e-300, false));
    state.items.append(ClipboardItem(QUuid(QStringLiteral("44444444-2222-4333-8444-555555555555")),
                                     QStringLiteral("rich"), 786'000'000.123456, true, {board1}, std::nullopt,
                                     ClipboardOriginalPayload::create(QByteArray("{\\rtf1 rich}"),
                                                                      QByteArray("<b>rich</b>\x00", 12), {})));
    state.items.append(ClipboardItem(QUuid(QStringLiteral("55555555-2222-4333-8444-555555555555")),
                                     QStringLiteral("/home/u/a b.txt"), 1.0 / 3.0, false, {}, std::nullopt,
                                     ClipboardOriginalPayload::create(
                                         std::nullopt, std::nullopt,
                                         {QStringLiteral("file:///home/u/a%20b.txt"),
                                          QStringLiteral("file://localhost/home/u/%7Eraw")})));
    state.items.append(ClipboardItem(QUuid(QStringLiteral("00000000-0000-0000-0000-000000000000")), QString(), 5e15));
    state.pinboards.append(Pinboard(board1, QString::fromUtf8("Arbeit \xE2\x9C\x93"), QStringLiteral("briefcase"), 12.5));
    state.pinboards.append(Pinboard(board2, QStringLiteral("Code"), QStringLiteral("chevron.left"), 7.000000000000001));
    return state;
}

ClipboardHistoryState generationHistory(int generation, int imageBytes)
{
    ClipboardHistoryState state;
    const int count = 3 + generation % 17;
    for (int i = 0; i < count; ++i) {
        state.items.append(ClipboardItem(QUuid::createUuid(), QStringLiteral("gen %1 clip %2").arg(generation).arg(i),
                                         generation + i / 1000.0));
    }
    state.items.append(ClipboardItem(
        QUuid::createUuid(),
        ClipboardContent::image(ClipboardImage(QByteArray(imageBytes, static_cast<char>('a' + generation % 26)),
                                               QStringLiteral("public.png"), generation + 1, count)),
        generation));
    return state;
}

int generationOf(const ClipboardHistoryState& state)
{
    if (state.items.isEmpty())
        return -1;
    const ClipboardItem& last = state.items.last();
    const ClipboardImage* image = last.content().imageIf();
    if (!image || !image->pixelWidth() || !image->pixelHeight())
        return -1;
    const int generation = static_cast<int>(*image->pixelWidth()) - 1;
    const int count = 3 + generation % 17;
    if (*image->pixelHeight() != count || state.items.size() != count + 1)
        return -1;
    for (int i = 0; i < count; ++i) {
        const QString* text = state.items[i].content().textIf();
        if (!text || *text != QStringLiteral("gen %1 clip %2").arg(generation).arg(i))
            return -1;
    }
    if (image->data() != QByteArray(image->data().size(), static_cast<char>('a' + generation % 26)))
        return -1;
    return generation;
}

} // namespace tolvi::samples
