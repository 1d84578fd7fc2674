#include "SampleHistory.h"

#include "TolviCore/persistence/HistoryJsonCodec.h"
#include "TolviCore/persistence/PersistenceError.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>

#include <cmath>
#include <cstring>
#include <limits>

using namespace tolvi;

namespace {

ClipboardHistoryState decode(const QByteArray& json)
{
    return HistoryJsonCodec::decodeState(json);
}

QString decodeError(const QByteArray& json)
{
    try {
        HistoryJsonCodec::decodeState(json);
    } catch (const PersistenceError& error) {
        EXPECT_EQ(error.kind(), PersistenceError::Kind::decoding);
        return error.message();
    }
    ADD_FAILURE() << "decoding succeeded: " << json.constData();
    return QString();
}

QByteArray withItem(const QByteArray& item)
{
    return "{\"pinboards\": [], \"items\": [" + item + "]}";
}

const QByteArray minimalContent = R"("content": {"type": "text", "text": "hi"})";
const QByteArray minimalItem = R"({"id": "6f1c2b1e-0d2a-4c7b-9e3a-1b2c3d4e5f60", "createdAt": 12.5, )" + minimalContent + "}";

} // namespace

TEST(HistoryJsonCodec, RoundTripKeepsEveryFieldExactly)
{
    const ClipboardHistoryState state = samples::sampleHistory();
    const QByteArray json = HistoryJsonCodec::encodeState(state);
    const ClipboardHistoryState decoded = decode(json);
    ASSERT_EQ(decoded.items.size(), state.items.size());
    for (qsizetype i = 0; i < state.items.size(); ++i) {
        EXPECT_EQ(decoded.items[i], state.items[i]) << "item " << i;
        const double a = decoded.items[i].createdAt(), b = state.items[i].createdAt();
        EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0) << "item " << i;
    }
    EXPECT_EQ(decoded, state);
    // The NUL inside the first text survives.
    EXPECT_TRUE(decoded.items[0].content().textValue().contains(QChar(0)));
    // Writing the decoded state again gives the same bytes.
    EXPECT_EQ(HistoryJsonCodec::encodeState(decoded), json);
}

TEST(HistoryJsonCodec, WrittenFormIsSortedPrettyJsonWithUpperCaseIds)
{
    const QByteArray json = HistoryJsonCodec::encodeState(samples::sampleHistory());
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(json, &parseError);
    ASSERT_EQ(parseError.error, QJsonParseError::NoError);
    EXPECT_EQ(document.object().keys(), (QStringList{"items", "pinboards"}));
    EXPECT_TRUE(json.contains("\n  \"items\" : ["));
    EXPECT_FALSE(json.contains("null"));
    EXPECT_TRUE(json.contains("\"AAAAAAAA-0000-4000-8000-000000000002\""));
    EXPECT_FALSE(json.contains("aaaaaaaa"));

    // Keys of the first clip appear in sorted order.
    const QList<QByteArray> keys = {"\"content\"", "\"createdAt\"", "\"id\"", "\"isPinned\"", "\"pinboardIDs\"",
                                    "\"sourceApp\""};
    qsizetype last = -1;
    for (const QByteArray& key : keys) {
        const qsizetype at = json.indexOf(key);
        EXPECT_GT(at, last) << key.constData();
        last = at;
    }
    // The last clip has no optional values: isPinned and an empty board list are still written.
    const QJsonObject lastClip = document.object().value("items").toArray().last().toObject();
    EXPECT_EQ(lastClip.keys(), (QStringList{"content", "createdAt", "id", "isPinned", "pinboardIDs"}));
    const QJsonObject image = document.object().value("items").toArray().at(2).toObject()
                                  .value("content").toObject().value("image").toObject();
    EXPECT_EQ(image.keys(), (QStringList{"data", "typeIdentifier"}));
}

TEST(HistoryJsonCodec, DatesRoundTripBitExactly)
{
    auto* random = QRandomGenerator::global();
    ClipboardHistoryState state;
    std::vector<double> dates = {0.0, -0.0, 0.1, 1e-320, std::numeric_limits<double>::max(),
                                 std::numeric_limits<double>::min(), 786'123'456.000001, -1e22};
    while (dates.size() < 300) {
        const quint64 bits = random->generate64();
        double d;
        std::memcpy(&d, &bits, sizeof d);
        if (std::isfinite(d))
            dates.push_back(d);
    }
    for (double d : dates)
        state.items.append(ClipboardItem(QUuid::createUuid(), QStringLiteral("x"), d));
    const ClipboardHistoryState decoded = decode(HistoryJsonCodec::encodeState(state));
    ASSERT_EQ(decoded.items.size(), state.items.size());
    for (qsizetype i = 0; i < state.items.size(); ++i) {
        const double a = decoded.items[i].createdAt(), b = state.items[i].createdAt();
        EXPECT_EQ(std::memcmp(&a, &b, sizeof a), 0) << b;
    }
}

TEST(HistoryJsonCodec, NonFiniteDatesAreRefusedWhenWriting)
{
    for (double bad : {std::nan(""), std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()}) {
        ClipboardHistoryState clip;
        clip.items.append(ClipboardItem(QUuid::createUuid(), QStringLiteral("x"), bad));
        EXPECT_THROW(HistoryJsonCodec::encodeState(clip), PersistenceError);
        ClipboardHistoryState board;
        board.pinboards.append(Pinboard(QUuid::createUuid(), QStringLiteral("b"), QStringLiteral("s"), bad));
        EXPECT_THROW(HistoryJsonCodec::encodeState(board), PersistenceError);
    }
}

TEST(HistoryJsonCodec, OptionalValuesDefaultWhenMissingOrNull)
{
    ClipboardHistoryState state = decode(withItem(minimalItem));
    ASSERT_EQ(state.items.size(), 1);
    const ClipboardItem& item = state.items[0];
    EXPECT_FALSE(item.isPinned());
    EXPECT_TRUE(item.pinboardIDs().isEmpty());
    EXPECT_FALSE(item.sourceApp());
    EXPECT_FALSE(item.originalPayload());
    EXPECT_EQ(item.createdAt(), 12.5);

    state = decode(withItem(R"({"id": "6F1C2B1E-0D2A-4C7B-9E3A-1B2C3D4E5F60", "createdAt": 1, "isPinned": null,
        "pinboardIDs": null, "sourceApp": null, "originalPayload": null, "unknown": {"deep": [1, 2, {"x": null}]},
        "content": {"type": "image", "text": 5, "image": {"data": "AAEC", "typeIdentifier": "public.png",
        "pixelWidth": null, "pixelHeight": 7, "recognizedText": null, "fingerprint": "ignored"}}})"));
    const ClipboardItem& image = state.items[0];
    EXPECT_FALSE(image.isPinned());
    EXPECT_TRUE(image.pinboardIDs().isEmpty());
    ASSERT_TRUE(image.content().isImage());
    EXPECT_EQ(image.content().imageValue().data(), QByteArray("\x00\x01\x02", 3));
    EXPECT_FALSE(image.content().imageValue().pixelWidth());
    EXPECT_EQ(image.content().imageValue().pixelHeight(), 7);
    EXPECT_EQ(image.content().imageValue().pixelDescription(), QStringLiteral("Unknown size"));

    // A stored source app is taken as it stands: no trimming, an empty name stays empty.
    state = decode(withItem(R"({"id": "6F1C2B1E-0D2A-4C7B-9E3A-1B2C3D4E5F60", "createdAt": 1,
        "content": {"type": "text", "text": ""}, "sourceApp": {"name": ""}})"));
    EXPECT_EQ(state.items[0].sourceApp()->name(), QString());
    EXPECT_EQ(state.items[0].content().textValue(), QString());
}

TEST(HistoryJsonCodec, EscapedStringsAndEscapedBase64AreRead)
{
    const ClipboardHistoryState state = decode(withItem(R"({"id": "6F1C2B1E-0D2A-4C7B-9E3A-1B2C3D4E5F60",
        "createdAt": 1, "content": {"type": "image", "image": {"data": "a\/8=", "typeIdentifier": "p\u00e9\ud83d\ude00"}}})"));
    const ClipboardImage& image = state.items[0].content().imageValue();
    EXPECT_EQ(image.data(), QByteArray::fromBase64("a/8="));
    EXPECT_EQ(image.typeIdentifier(), QString::fromUtf8("p\xC3\xA9\xF0\x9F\x98\x80"));
}

TEST(HistoryJsonCodec, InvalidValuesFailWithTheirLocation)
{
    const QByteArray id = R"("id": "6F1C2B1E-0D2A-4C7B-9E3A-1B2C3D4E5F60", "createdAt": 1, )";
    EXPECT_TRUE(decodeError(withItem(R"({"createdAt": 1, )" + minimalContent + "}")).contains("\"id\""));
    EXPECT_TRUE(decodeError(withItem("{" + id + R"("content": {"type": "file"}})")).contains("items[0].content.type"));
    EXPECT_TRUE(decodeError(withItem("{" + id + R"("content": {"type": "image"}})")).contains("\"image\""));
    EXPECT_TRUE(decodeError(withItem("{" + id + R"("content": {"type": "text", "text": 3}})")).contains("items[0].content.text"));
    EXPECT_FALSE(decodeError(withItem(R"({"id": "{6F1C2B1E-0D2A-4C7B-9E3A-1B2C3D4E5F60}", "createdAt": 1, )" + minimalContent + "}")).isEmpty());
    EXPECT_FALSE(decodeError(withItem(R"({"id": "6F1C2B1E-0D2A-4C7B-9E3A-1B2C3D4E5F60", "createdAt": "1", )" + minimalContent + "}")).isEmpty());
    EXPECT_FALSE(decodeError(withItem("{" + id + minimalContent + R"(, "isPinned": 1})")).isEmpty());
    EXPECT_FALSE(decodeError(withItem("{" + id + minimalContent + R"(, "pinboardIDs": ["nope"]})")).isEmpty());

    const auto image = [&](const QByteArray& fields) {
        return withItem("{" + id + R"("content": {"type": "image", "image": {)" + fields + "}}}");
    };
    EXPECT_TRUE(decodeError(image(R"("data": "AAE", "typeIdentifier": "p")")).contains("Base64"));
    EXPECT_TRUE(decodeError(image(R"("data": "AA=E", "typeIdentifier": "p")")).contains("Base64"));
    EXPECT_TRUE(decodeError(image(R"("data": "AAEC")")).contains("typeIdentifier"));
    EXPECT_FALSE(decodeError(image(R"("data": "AAEC", "typeIdentifier": "p", "pixelWidth": 1.5)")).isEmpty());
    EXPECT_FALSE(decodeError(image(R"("data": "AAEC", "typeIdentifier": "p", "pixelWidth": "1")")).isEmpty());

    const auto payload = [&](const QByteArray& fields) {
        return withItem("{" + id + minimalContent + R"(, "originalPayload": {)" + fields + "}}");
    };
    EXPECT_TRUE(decodeError(payload(R"("html": "")")).contains("Unsupported original clipboard payload"));
    EXPECT_TRUE(decodeError(payload(R"("html": "PGI+", "fileURLs": ["file:///a"])")).contains("Unsupported original clipboard payload"));
    EXPECT_TRUE(decodeError(payload(R"("fileURLs": ["file://server/x"])")).contains("Unsupported original clipboard payload"));
    EXPECT_TRUE(decodeError(payload(R"("fileURLs": ["file:///a b"])")).contains("fileURLs[0]"));
    EXPECT_NO_THROW(decode(payload(R"("html": "PGI+", "fileURLs": null)")));
    EXPECT_EQ(decode(payload(R"("fileURLs": ["file:///a%7e"])")).items[0].originalPayload()->fileURLs(),
              QStringList{QStringLiteral("file:///a%7e")});

    const QByteArray board = R"({"id": "6F1C2B1E-0D2A-4C7B-9E3A-1B2C3D4E5F60", "name": "n", "systemName": "s"})";
    EXPECT_TRUE(decodeError("{\"items\": [], \"pinboards\": [" + board + "]}").contains("createdAt"));
    EXPECT_TRUE(decodeError(R"({"items": []})").contains("pinboards"));
    EXPECT_FALSE(decodeError(R"({"items": [], "pinboards": []} trailing)").isEmpty());
    EXPECT_FALSE(decodeError(R"({"items": [], "pinboards": [})").isEmpty());
    EXPECT_FALSE(decodeError("{\"items\": [], \"pinboards\": [], \"x\": \"\xff\"}").isEmpty()); // not UTF-8
}

TEST(HistoryJsonCodec, DeepNestingNeitherRecursesNorCrashes)
{
    const QByteArray deep = QByteArray(200'000, '[') + QByteArray(200'000, ']');
    EXPECT_FALSE(decodeError(deep).isEmpty());
    // An unknown value is skipped without recursion, however deep it is.
    EXPECT_TRUE(decode("{\"x\": " + deep + ", \"items\": [], \"pinboards\": []}").items.isEmpty());
    const QByteArray unbalanced = QByteArray(200'000, '[') + QByteArray(199'999, ']');
    EXPECT_FALSE(decodeError("{\"x\": " + unbalanced + ", \"items\": [], \"pinboards\": []}").isEmpty());
    const QByteArray deepObjects = QByteArray("{\"a\":").repeated(100'000) + "1" + QByteArray(100'000, '}');
    EXPECT_FALSE(decodeError(withItem(deepObjects)).isEmpty());
}

TEST(HistoryJsonCodec, HistoryFileAcceptsTheOlderBareArray)
{
    const auto decoded = HistoryJsonCodec::decodeHistoryFile(JsonInput::copyOf("[" + minimalItem + "]"));
    EXPECT_EQ(decoded.form, HistoryJsonCodec::HistoryFileForm::legacyArray);
    EXPECT_EQ(decoded.state.items.size(), 1);
    EXPECT_EQ(decoded.state.pinboards, DefaultPinboards::all());

    const auto object = HistoryJsonCodec::decodeHistoryFile(JsonInput::copyOf(R"({"items": [], "pinboards": []})"));
    EXPECT_EQ(object.form, HistoryJsonCodec::HistoryFileForm::object);
    EXPECT_TRUE(object.state.pinboards.isEmpty());

    for (const QByteArray& bad : {QByteArray(), QByteArray("{}"), QByteArray("garbage"), QByteArray("\"items\""),
                                 QByteArray("[1]"), QByteArray("{\"items\": []}")}) {
        EXPECT_THROW(HistoryJsonCodec::decodeHistoryFile(JsonInput::copyOf(bad)), PersistenceError) << bad.constData();
    }
}

TEST(HistoryJsonCodec, ImpossiblePixelSizesReadAsAbsent)
{
    const auto sizesOf = [](const QByteArray& width, const QByteArray& height) {
        const QByteArray json = withItem(R"({"id": "6F1C2B1E-0D2A-4C7B-9E3A-1B2C3D4E5F60", "createdAt": 1,
            "content": {"type": "image", "image": {"data": "AAEC", "typeIdentifier": "public.png", "pixelWidth": )"
                                         + width + ", \"pixelHeight\": " + height + "}}}");
        const ClipboardImage image = decode(json).items[0].content().imageValue();
        return std::pair(image.pixelWidth(), image.pixelHeight());
    };
    const std::optional<qint64> none;
    for (const QByteArray& impossible : {QByteArray("-5"), QByteArray("0"), QByteArray("-0.0"), QByteArray("1000001"),
                                         QByteArray("9223372036854775807"), QByteArray("18446744073709551615"),
                                         QByteArray("1e300"), QByteArray("-9223372036854775808")}) {
        EXPECT_EQ(sizesOf(impossible, "7"), std::pair(none, std::optional<qint64>(7))) << impossible.constData();
        EXPECT_EQ(sizesOf("7", impossible), std::pair(std::optional<qint64>(7), none)) << impossible.constData();
    }
    EXPECT_EQ(sizesOf("1", "1000000"), std::pair(std::optional<qint64>(1), std::optional<qint64>(1'000'000)));
    EXPECT_EQ(sizesOf("1e3", "2.0"), std::pair(std::optional<qint64>(1000), std::optional<qint64>(2)));
    const ClipboardImage shown = decode(withItem(R"({"id": "6F1C2B1E-0D2A-4C7B-9E3A-1B2C3D4E5F60", "createdAt": 1,
        "content": {"type": "image", "image": {"data": "AAEC", "typeIdentifier": "public.png", "pixelWidth": -5,
        "pixelHeight": 9223372036854775807}}})")).items[0].content().imageValue();
    EXPECT_EQ(shown.pixelDescription(), QStringLiteral("Unknown size"));
}

TEST(HistoryJsonCodec, EachClipKeepsItsOwnApplicationAmongManyAlike)
{
    // More applications than are remembered from clip to clip, some alike but for their identifier
    // or its absence, and names that differ only once unescaped.
    const std::vector<std::pair<QString, std::optional<QString>>> apps{
        {QStringLiteral("Editor"), QStringLiteral("org.example.editor")},
        {QStringLiteral("Editor"), std::nullopt},
        {QStringLiteral("Editor"), QStringLiteral("org.example.other")},
        {QStringLiteral("Edi\"tor"), QStringLiteral("org.example.editor")},
        {QStringLiteral("Terminal"), QStringLiteral("org.example.editor")},
        {QString(), QString()},
    };
    ClipboardHistoryState state;
    QRandomGenerator random(5);
    for (int i = 0; i < 60; ++i) {
        const auto& [name, identifier] = apps[random.bounded(int(apps.size()))];
        state.items.append(ClipboardItem(QUuid::createUuid(), QStringLiteral("clip %1").arg(i), double(i), false, {},
                                         ClipboardSourceApp::fromStored(name, identifier)));
    }
    const ClipboardHistoryState decoded = decode(HistoryJsonCodec::encodeState(state));
    ASSERT_EQ(decoded.items.size(), state.items.size());
    for (qsizetype i = 0; i < state.items.size(); ++i) {
        ASSERT_TRUE(decoded.items[i].sourceApp()) << i;
        EXPECT_EQ(decoded.items[i].sourceApp()->name(), state.items[i].sourceApp()->name()) << i;
        EXPECT_EQ(decoded.items[i].sourceApp()->bundleIdentifier(), state.items[i].sourceApp()->bundleIdentifier())
            << i;
    }
}
