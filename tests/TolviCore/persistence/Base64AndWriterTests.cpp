#include "TolviCore/persistence/Base64.h"
#include "TolviCore/persistence/JsonStreamWriter.h"
#include "TolviCore/persistence/PersistenceError.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>

#include <limits>

using namespace tolvi;

TEST(Base64, MatchesTheStandardEncodingBothWays)
{
    auto* random = QRandomGenerator::global();
    for (int size = 0; size < 300; ++size) {
        QByteArray bytes(size, Qt::Uninitialized);
        for (char& c : bytes)
            c = static_cast<char>(random->bounded(256));
        const QByteArray encoded = Base64::encode(bytes);
        ASSERT_EQ(encoded, bytes.toBase64()) << size;
        const auto decoded = Base64::decode(std::string_view(encoded.constData(), encoded.size()));
        ASSERT_TRUE(decoded.has_value()) << size;
        ASSERT_EQ(*decoded, bytes) << size;
    }
}

TEST(Base64, DecodingIsStrict)
{
    for (const char* bad : {"A", "AB", "ABC", "AB=", "A===", "====", "AB=C", "A=BC", "AB C", "AB\nC", "ABC-", "ABC_",
                            "QR==", "QUJ=", "ABCDE===", "=ABC"}) {
        EXPECT_FALSE(Base64::decode(bad).has_value()) << bad;
    }
    EXPECT_EQ(*Base64::decode("QQ=="), QByteArray("A"));
    EXPECT_EQ(*Base64::decode("QUI="), QByteArray("AB"));
    EXPECT_EQ(*Base64::decode(""), QByteArray());
}

// The checks without decoding answer as decoding does, across the widths the check reads at once,
// for every kind of flaw at every place; and a range decodes to that part of the whole.
TEST(Base64, CheckingAndDecodingARangeAgreeWithDecodingTheWhole)
{
    QRandomGenerator random(11);
    for (int size = 0; size < 140; ++size) {
        QByteArray bytes(size, Qt::Uninitialized);
        for (char& c : bytes)
            c = static_cast<char>(random.bounded(256));
        const QByteArray good = Base64::encode(bytes);
        const std::string_view text(good.constData(), static_cast<std::size_t>(good.size()));
        ASSERT_TRUE(Base64::isValid(text)) << size;
        ASSERT_EQ(Base64::decodedLength(text), static_cast<std::size_t>(size));
        for (int at = 0; at < good.size(); ++at) {
            for (const char flaw : {'*', '=', ' ', '\x80', '\xff', '\0', '-', '@', '[', '`', '{', ':'}) {
                QByteArray bad = good;
                bad[at] = flaw;
                const std::string_view badText(bad.constData(), static_cast<std::size_t>(bad.size()));
                ASSERT_EQ(Base64::isValid(badText), Base64::decode(badText).has_value()) << size << " " << at << " " << int(flaw);
            }
        }
        for (int i = 0; i < 20 && size > 0; ++i) {
            const int offset = random.bounded(size);
            const int length = random.bounded(size - offset + 1);
            ASSERT_EQ(Base64::decodeRange(text, std::size_t(offset), std::size_t(length)), bytes.mid(offset, length))
                << size << " " << offset << " " << length;
        }
    }
    // Padding that leaves bits over, and lengths that are not whole groups.
    for (const char* bad : {"QR==", "QUJ=", "A", "ABCDE===", "AB=C"})
        EXPECT_FALSE(Base64::isValid(bad)) << bad;
}

TEST(JsonStreamWriter, ProducesValidJsonThroughASmallBuffer)
{
    ByteArraySink sink;
    QString text = QString::fromUtf8("\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80 \"q\" \\ \b\f\n\r\t");
    text.append(QChar(0));
    text.append(QChar(0x1F));
    text.append(QChar(0xD800)); // lone surrogate
    text.append(QStringLiteral("end"));
    QString longText;
    for (int i = 0; i < 500; ++i)
        longText += text;
    QByteArray bytes(10'000, Qt::Uninitialized);
    for (int i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<char>(i * 31);
    {
        JsonStreamWriter writer(sink, 64);
        writer.beginObject();
        writer.key("a");
        writer.string(longText);
        writer.key("b");
        writer.base64(bytes);
        writer.key("c");
        writer.beginArray();
        writer.number(0.5);
        writer.integer(-42);
        writer.boolean(true);
        writer.null();
        writer.beginObject();
        writer.endObject();
        writer.beginArray();
        writer.endArray();
        writer.endArray();
        writer.endObject();
        writer.flush();
        EXPECT_EQ(writer.bytesWritten(), static_cast<std::size_t>(sink.bytes().size()));
    }
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(sink.bytes(), &error);
    ASSERT_EQ(error.error, QJsonParseError::NoError) << error.errorString().toStdString();
    QString expected = longText;
    expected.replace(QChar(0xD800), QChar(QChar::ReplacementCharacter));
    EXPECT_EQ(document.object().value("a").toString(), expected);
    EXPECT_EQ(QByteArray::fromBase64(document.object().value("b").toString().toLatin1()), bytes);
    const QJsonArray array = document.object().value("c").toArray();
    EXPECT_EQ(array.at(0).toDouble(), 0.5);
    EXPECT_EQ(array.at(1).toInt(), -42);
    EXPECT_TRUE(array.at(3).isNull());
    EXPECT_TRUE(sink.bytes().contains("[]"));
    EXPECT_TRUE(sink.bytes().contains("{}"));
}

// A string given as UTF-8 or as Latin-1 is written as the same QString is.
TEST(JsonStreamWriter, WritesAStringTheSameWhateverFormItIsGivenIn)
{
    const auto written = [](const auto& value) {
        ByteArraySink sink;
        {
            JsonStreamWriter writer(sink, 64);
            writer.string(value);
        }
        return sink.bytes();
    };
    QString every;
    for (char16_t c = 0; c < 0x100; ++c)
        every += QChar(c);
    for (QString text : {every, QString::fromUtf8("caf\u00e9 \u4e2d\u6587 \U0001F44D \"\\\n\u2028")}) {
        text = text.repeated(40); // across the writer's buffer
        EXPECT_EQ(written(QUtf8StringView(text.toUtf8())), written(text));
        if (text == every.repeated(40))
            EXPECT_EQ(written(QLatin1StringView(text.toLatin1())), written(text));
    }
}

TEST(JsonStreamWriter, RefusesNonFiniteNumbers)
{
    ByteArraySink sink;
    JsonStreamWriter writer(sink);
    writer.beginArray();
    EXPECT_THROW(writer.number(std::numeric_limits<double>::quiet_NaN()), PersistenceError);
    EXPECT_THROW(writer.number(std::numeric_limits<double>::infinity()), PersistenceError);
}
