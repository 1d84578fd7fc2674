#include "Tolvi/compact/CompactTransformSubtitle.h"

namespace tolvi {

QString compactSubtitle(TextTransform transform)
{
    switch (transform.value()) {
    case TextTransform::trimWhitespace: return QStringLiteral("Trim leading and trailing space");
    case TextTransform::collapseSpaces: return QStringLiteral("Normalize repeated spaces");
    case TextTransform::sentenceCase: return QStringLiteral("Normalize sentence casing");
    case TextTransform::titleCase: return QStringLiteral("Capitalize each word");
    case TextTransform::uppercase: return QStringLiteral("Paste uppercase");
    case TextTransform::lowercase: return QStringLiteral("Paste lowercase");
    case TextTransform::bulletList: return QStringLiteral("Turn lines into bullets");
    case TextTransform::numberedList: return QStringLiteral("Turn lines into steps");
    case TextTransform::checklist: return QStringLiteral("Turn lines into tasks");
    case TextTransform::emailDraft: return QStringLiteral("Wrap as an editable email");
    case TextTransform::sortLines: return QStringLiteral("Sort lines alphabetically");
    case TextTransform::deduplicateLines: return QStringLiteral("Remove repeated lines");
    case TextTransform::quoteLines: return QStringLiteral("Prefix lines as quotes");
    case TextTransform::codeBlock: return QStringLiteral("Wrap in fenced Markdown");
    case TextTransform::slugify: return QStringLiteral("Make URL-safe text");
    case TextTransform::prettyJSON: return QStringLiteral("Format and sort keys");
    case TextTransform::cleanURL: return QStringLiteral("Remove tracking parameters");
    case TextTransform::markdownLink: return QStringLiteral("Paste as a Markdown link");
    }
    return QString();
}

} // namespace tolvi
