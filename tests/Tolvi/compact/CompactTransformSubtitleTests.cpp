#include "Tolvi/compact/CompactTransformSubtitle.h"

#include <QSet>

#include <gtest/gtest.h>

namespace tolvi {
namespace {

TEST(CompactTransformSubtitle, EveryTransformHasItsOwnSubtitle)
{
    QSet<QString> seen;
    for (TextTransform transform : TextTransform::allCases()) {
        const QString subtitle = compactSubtitle(transform);
        EXPECT_FALSE(subtitle.isEmpty()) << qPrintable(transform.rawValue());
        EXPECT_FALSE(seen.contains(subtitle)) << qPrintable(subtitle);
        seen.insert(subtitle);
    }
    EXPECT_EQ(compactSubtitle(TextTransform::deduplicateLines), QStringLiteral("Remove repeated lines"));
    EXPECT_EQ(compactSubtitle(TextTransform::markdownLink), QStringLiteral("Paste as a Markdown link"));
    EXPECT_EQ(compactSubtitle(TextTransform::trimWhitespace), QStringLiteral("Trim leading and trailing space"));
}

} // namespace
} // namespace tolvi
