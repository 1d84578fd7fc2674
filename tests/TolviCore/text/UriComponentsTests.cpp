#include "TolviCore/text/UriComponents.h"

#include <gtest/gtest.h>

#include <ostream>

// Readable failure messages for Qt strings.
inline void PrintTo(const QString& text, std::ostream* out)
{
    *out << '"' << text.toStdString() << '"';
}

namespace tolvi {
namespace {

TEST(UriComponents, SplitsIntoRawComponentsAndJoinsBackUnchanged)
{
    const QString text = QStringLiteral("HTTPS://User:Pw@Example.COM:8443/a%7eb/c?x=%41&y#Frag%20");
    const auto c = UriComponents::parse(text);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->scheme, QStringLiteral("HTTPS"));
    EXPECT_EQ(c->userInfo, QStringLiteral("User:Pw"));
    EXPECT_EQ(c->host, QStringLiteral("Example.COM"));
    EXPECT_EQ(c->port, QStringLiteral("8443"));
    EXPECT_EQ(c->path, QStringLiteral("/a%7eb/c"));
    EXPECT_EQ(c->query, QStringLiteral("x=%41&y"));
    EXPECT_EQ(c->fragment, QStringLiteral("Frag%20"));
    EXPECT_EQ(c->toString(), text);
}

TEST(UriComponents, TellsAbsentFromEmptyComponents)
{
    const auto c = UriComponents::parse(u"https://?#");
    ASSERT_TRUE(c);
    EXPECT_EQ(c->host, QString());
    EXPECT_EQ(c->query, QString());
    EXPECT_EQ(c->fragment, QString());
    EXPECT_EQ(c->toString(), QStringLiteral("https://?#"));

    const auto noAuthority = UriComponents::parse(u"mailto:a@b.c");
    ASSERT_TRUE(noAuthority);
    EXPECT_FALSE(noAuthority->host);
    EXPECT_EQ(noAuthority->path, QStringLiteral("a@b.c"));
    EXPECT_FALSE(noAuthority->query);
}

TEST(UriComponents, AcceptsIPLiterals)
{
    for (const char* text : {"http://[::1]/", "http://[2001:db8::7]:80", "http://[::ffff:192.0.2.1]/",
                             "http://[1:2:3:4:5:6:7:8]", "http://[v7.x:y]/", "http://192.0.2.1/"})
        EXPECT_TRUE(UriComponents::parse(QString::fromLatin1(text))) << text;
    EXPECT_EQ(UriComponents::parse(u"http://[::1]:8080/x")->host, QStringLiteral("[::1]"));
}

TEST(UriComponents, RefusesCharactersOutsideTheGrammar)
{
    const char* refused[] = {
        "https://exa mple.com", "https://example.com/a b", "https://example.com/%zz", "https://example.com/%4",
        "https://example.com/<x>", "https://exa\"mple.com", "https://[::1/", "https://[1:2:3:4:5:6:7:8:9]",
        "https://[1::2::3]", "https://[::1]x", "https://example.com:80a", "1http://x", "ht tp://x",
        "https://example.com/{}", "https://example.com/a\\b",
    };
    for (const char* text : refused)
        EXPECT_FALSE(UriComponents::parse(QString::fromLatin1(text))) << text;
    EXPECT_FALSE(UriComponents::parse(QString::fromUtf8("https://müller.de/")));
}

TEST(UriComponents, PercentDecodesOnlyWellFormedUTF8)
{
    EXPECT_EQ(UriComponents::percentDecoded(u"utm%5Fsource"), QStringLiteral("utm_source"));
    EXPECT_EQ(UriComponents::percentDecoded(u"caf%C3%A9"), QString::fromUtf8("café"));
    EXPECT_EQ(UriComponents::percentDecoded(u"plain"), QStringLiteral("plain"));
    EXPECT_FALSE(UriComponents::percentDecoded(u"%FF"));
    EXPECT_FALSE(UriComponents::percentDecoded(u"%4"));
}

} // namespace
} // namespace tolvi
