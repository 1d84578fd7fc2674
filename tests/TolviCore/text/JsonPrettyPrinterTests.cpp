#include "TolviCore/text/JsonPrettyPrinter.h"

#include <gtest/gtest.h>

#include <ostream>

// Readable failure messages for Qt strings.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace tolvi {
namespace {

std::optional<QString> pretty(const char* json)
{
    return JsonPrettyPrinter::prettyPrinted(QString::fromUtf8(json));
}

TEST(JsonPrettyPrinter, WritesTwoSpaceIndentsSortedKeysAndSpacedColons)
{
    EXPECT_EQ(pretty(R"({"b":[1,true,null],"a":{"y":"s","x":false}})"),
              QStringLiteral("{\n"
                             "  \"a\" : {\n"
                             "    \"x\" : false,\n"
                             "    \"y\" : \"s\"\n"
                             "  },\n"
                             "  \"b\" : [\n"
                             "    1,\n"
                             "    true,\n"
                             "    null\n"
                             "  ]\n"
                             "}"));
    EXPECT_EQ(pretty(" [ {}, [] ] \n"), QStringLiteral("[\n  {},\n  []\n]"));
}

TEST(JsonPrettyPrinter, KeepsEveryNumberExactlyAsWritten)
{
    // Beyond 64 bits, beyond double precision, and exponents: nothing is rounded or rewritten.
    EXPECT_EQ(pretty("[123456789012345678901234567890, 0.10000000000000000000001, -1E+400, 9007199254740993]"),
              QStringLiteral("[\n  123456789012345678901234567890,\n  0.10000000000000000000001,\n  -1E+400,\n"
                             "  9007199254740993\n]"));
}

TEST(JsonPrettyPrinter, DecodesEscapesAndWritesOnlyTheNecessaryOnes)
{
    EXPECT_EQ(pretty(R"(["\u00e9\/\"\\\n\u0001", "\ud83d\ude00"])"),
              QString::fromUtf8("[\n  \"é/\\\"\\\\\\n\\u0001\",\n  \"😀\"\n]"));
}

TEST(JsonPrettyPrinter, SortsKeysByCodePoint)
{
    // "\uFB01" sorts before the emoji by code point although UTF-16 order says otherwise.
    EXPECT_EQ(pretty("{\"\xF0\x9F\x98\x80\":1,\"\xEF\xAC\x81\":2,\"B\":3,\"a\":4}"),
              QString::fromUtf8("{\n  \"B\" : 3,\n  \"a\" : 4,\n  \"ﬁ\" : 2,\n  \"😀\" : 1\n}"));
}

TEST(JsonPrettyPrinter, RefusesWhatIsNotStrictJSONObjectOrArray)
{
    const char* refused[] = {
        "42", "\"text\"", "true", "null", "", "   ",                  // fragments and nothing
        "{\"a\":1,}", "[1,]", "[01]", "[1.]", "[.5]", "[+1]", "[1e]",   // malformed numbers and commas
        "{'a':1}", "{a:1}", "[\"\\x\"]", "[\"\\ud800\"]", "[\"\\udc00x\"]", // bad keys and escapes
        "[\"tab\there\"]", "[1] [2]", "[1] x", "[NaN]", "[Infinity]",
        "{\"a\":1,\"a\":2}", // a repeated key would lose a value
    };
    for (const char* text : refused)
        EXPECT_FALSE(pretty(text).has_value()) << text;
    EXPECT_FALSE(JsonPrettyPrinter::isObjectOrArray(QString(QChar(0xFEFF)) + QStringLiteral("[1]")));
    EXPECT_FALSE(JsonPrettyPrinter::isObjectOrArray(QString(QChar(0xD800)) + QStringLiteral("[]")));
    EXPECT_FALSE(JsonPrettyPrinter::isObjectOrArray(QStringLiteral("[\"") + QChar(0xDC00) + QStringLiteral("\"]")));
}

TEST(JsonPrettyPrinter, RefusesDeepNestingWithoutOverflowingTheStack)
{
    const QString deep = QString(100000, QChar(u'[')) + QString(100000, QChar(u']'));
    EXPECT_FALSE(JsonPrettyPrinter::isObjectOrArray(deep));
    const int limit = JsonPrettyPrinter::maximumDepth;
    const QString deepest = QString(limit, QChar(u'[')) + QString(limit, QChar(u']'));
    EXPECT_TRUE(JsonPrettyPrinter::isObjectOrArray(deepest));
    const QString tooDeep = QString(limit + 1, QChar(u'[')) + QString(limit + 1, QChar(u']'));
    EXPECT_FALSE(JsonPrettyPrinter::isObjectOrArray(tooDeep));
}

} // namespace
} // namespace tolvi
