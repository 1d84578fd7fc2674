#include "TolviCore/model/ClipboardOriginalPayload.h"
#include "TolviCore/model/Sha256.h"

#include <gtest/gtest.h>

using namespace tolvi;

namespace {

QStringList fileURLs(int count)
{
    QStringList urls;
    for (int i = 0; i < count; ++i)
        urls.append(QStringLiteral("file:///home/u/file%1.txt").arg(i));
    return urls;
}

} // namespace

TEST(ClipboardOriginalPayload, RepresentationLimits)
{
    const QByteArray html("<b>x</b>");
    EXPECT_TRUE(ClipboardOriginalPayload::create(QByteArray(1'000'000, 'r'), std::nullopt, {}));
    EXPECT_FALSE(ClipboardOriginalPayload::create(QByteArray(1'000'001, 'r'), html, {}));
    EXPECT_FALSE(ClipboardOriginalPayload::create(QByteArray(), html, {}));
    EXPECT_FALSE(ClipboardOriginalPayload::create(std::nullopt, QByteArray(), {}));
    EXPECT_TRUE(ClipboardOriginalPayload::create(std::nullopt, html, {}));
    EXPECT_FALSE(ClipboardOriginalPayload::create(std::nullopt, std::nullopt, {}));
    EXPECT_FALSE(ClipboardOriginalPayload::create(std::nullopt, html, fileURLs(1)));
    EXPECT_TRUE(ClipboardOriginalPayload::create(std::nullopt, std::nullopt, fileURLs(100)));
    EXPECT_FALSE(ClipboardOriginalPayload::create(std::nullopt, std::nullopt, fileURLs(101)));
}

TEST(ClipboardOriginalPayload, SupportedFileURLs)
{
    EXPECT_TRUE(ClipboardOriginalPayload::isSupportedFileURL(QStringLiteral("file://localhost/Users/a/b.txt")));
    EXPECT_TRUE(ClipboardOriginalPayload::isSupportedFileURL(QStringLiteral("file:///Users/a/b.txt")));
    EXPECT_TRUE(ClipboardOriginalPayload::isSupportedFileURL(QStringLiteral("file:///tmp/a%20b.txt")));
    EXPECT_FALSE(ClipboardOriginalPayload::isSupportedFileURL(QStringLiteral("file://server/share/x")));
    EXPECT_FALSE(ClipboardOriginalPayload::isSupportedFileURL(QStringLiteral("file://LOCALHOST/x")));
    EXPECT_FALSE(ClipboardOriginalPayload::isSupportedFileURL(QStringLiteral("https://example.com/x")));
    EXPECT_FALSE(ClipboardOriginalPayload::isSupportedFileURL(QStringLiteral("file:relative/x")));
    EXPECT_FALSE(ClipboardOriginalPayload::isSupportedFileURL(QStringLiteral("/home/u/x")));

    // 8,192 bytes of UTF-8 pass, 8,193 do not; "é" counts two bytes.
    const QString prefix = QStringLiteral("file:///");
    const QString exact = prefix + QString(8192 - prefix.size(), QLatin1Char('a'));
    EXPECT_TRUE(ClipboardOriginalPayload::isSupportedFileURL(exact));
    EXPECT_FALSE(ClipboardOriginalPayload::isSupportedFileURL(exact + QLatin1Char('a')));
    const QString multiByte = prefix + QString(8192 - prefix.size() - 2, QLatin1Char('a')) + QString::fromUtf8("\xC3\xA9");
    EXPECT_TRUE(ClipboardOriginalPayload::isSupportedFileURL(multiByte));
    EXPECT_FALSE(ClipboardOriginalPayload::isSupportedFileURL(multiByte + QLatin1Char('a')));
}

TEST(ClipboardOriginalPayload, FingerprintOfTheLengthPrefixedLayout)
{
    const auto rtfOnly = ClipboardOriginalPayload::create(QByteArray("{\\rtf"), std::nullopt, {});
    ASSERT_TRUE(rtfOnly);
    EXPECT_EQ(rtfOnly->fingerprint(), Sha256::hexDigest("5:{\\rtf0:"));

    const auto oneFile = ClipboardOriginalPayload::create(std::nullopt, std::nullopt, {QStringLiteral("file:///a")});
    ASSERT_TRUE(oneFile);
    EXPECT_EQ(oneFile->fingerprint(), Sha256::hexDigest("0:0:9:file:///a"));

    const auto htmlOnly = ClipboardOriginalPayload::create(std::nullopt, QByteArray("<p>"), {});
    const auto both = ClipboardOriginalPayload::create(QByteArray("r"), QByteArray("<p>"), {});
    EXPECT_NE(htmlOnly->fingerprint(), both->fingerprint());
    EXPECT_NE(*htmlOnly, *both);

    const auto split1 = ClipboardOriginalPayload::create(QByteArray("abcd"), QByteArray("ef"), {});
    const auto split2 = ClipboardOriginalPayload::create(QByteArray("abc"), QByteArray("def"), {});
    EXPECT_NE(split1->fingerprint(), split2->fingerprint());
}

TEST(ClipboardCapturePolicy, MarkersMatchExactly)
{
    EXPECT_FALSE(ClipboardCapturePolicy::shouldCapture(
        {QStringLiteral("public.utf8-plain-text"), QStringLiteral("org.nspasteboard.ConcealedType")}));
    EXPECT_TRUE(ClipboardCapturePolicy::shouldCapture(
        {QStringLiteral("public.utf8-plain-text"), QStringLiteral("org.nspasteboard.concealedtype")}));
    EXPECT_FALSE(ClipboardCapturePolicy::shouldCapture({QStringLiteral("Pasteboard generator type")}));
    EXPECT_TRUE(ClipboardCapturePolicy::shouldCapture({QStringLiteral("Pasteboard generator")}));
    EXPECT_FALSE(ClipboardCapturePolicy::shouldCapture({QStringLiteral("x-kde-passwordManagerHint")}));
    EXPECT_TRUE(ClipboardCapturePolicy::shouldCapture({}));
}
