#include "Tolvi/inspector/ClipDetectedKind.h"

#include "Tolvi/inspector/ShownText.h"

#include "TolviCore/text/TextTransform.h"

#include <array>

namespace tolvi {

using TolviDesign::ColorToken;

namespace {

ClipDetectedKind::Kind classifyText(const QString& text)
{
    using Kind = ClipDetectedKind::Kind;
    const QList<TextTransform> offered = TextTransform::available(text);
    if (offered.contains(TextTransform::prettyJSON))
        return Kind::json;
    if (offered.contains(TextTransform::cleanURL))
        return Kind::link;
    // Case-sensitive; the markers with a blank need that blank inside the trimmed text.
    static const std::array<QLatin1String, 6> codeMarkers{
        QLatin1String("```"), QLatin1String("func "), QLatin1String("let "),
        QLatin1String("const "), QLatin1String("=>"), QLatin1String("{"),
    };
    const QStringView trimmed = QStringView(text).trimmed();
    for (const QLatin1String& marker : codeMarkers) {
        if (trimmed.contains(marker))
            return Kind::code;
    }
    return Kind::text;
}

// How each kind shows; the file references' texts depend on their count.
struct KindFacts {
    ClipDetectedKind::Kind kind;
    const char* title;
    const char* badge;
    const char* systemImage;
    ColorToken tint;
};

constexpr std::array<KindFacts, 7> kindFacts{{
    {ClipDetectedKind::Kind::text, "Text Clip", "Text", "text.alignleft", ColorToken::electricBlue},
    {ClipDetectedKind::Kind::link, "Link Clip", "Link", "link", ColorToken::mint},
    {ClipDetectedKind::Kind::json, "JSON Clip", "JSON", "curlybraces", ColorToken::amber},
    {ClipDetectedKind::Kind::code, "Code Clip", "Code", "chevron.left.forwardslash.chevron.right", ColorToken::violet},
    {ClipDetectedKind::Kind::image, "Image Clip", "Image", "photo", ColorToken::violet},
    {ClipDetectedKind::Kind::searchableScreenshot, "Searchable Screenshot", "OCR", "text.viewfinder", ColorToken::mint},
    {ClipDetectedKind::Kind::fileReferences, nullptr, nullptr, nullptr, ColorToken::electricBlue},
}};
static_assert(kindFacts.size() == std::size_t(ClipDetectedKind::Kind::fileReferences) + 1, "one row for every kind");

const KindFacts& factsOf(ClipDetectedKind::Kind kind)
{
    for (const KindFacts& facts : kindFacts) {
        if (facts.kind == kind)
            return facts;
    }
    return kindFacts.front();
}

} // namespace

ClipDetectedKind::ClipDetectedKind(const ClipboardContent& content)
{
    if (const ClipboardImage* image = content.imageIf()) {
        // Untrimmed: recognised text of only blanks still makes a searchable screenshot.
        const auto& recognized = image->recognizedText();
        m_kind = recognized && !recognized->isEmpty() ? Kind::searchableScreenshot : Kind::image;
    } else {
        // A text too long to show whole is judged by the part the views show, read in place
        // (the judgement keeps nothing of it).
        const QString& text = content.textValue();
        m_kind = classifyText(ShownText::isCut(text)
                                  ? QString::fromRawData(text.constData(), ShownText::shownLength(text))
                                  : text);
    }
}

ClipDetectedKind ClipDetectedKind::of(const ClipboardItem& item)
{
    if (const auto& payload = item.originalPayload(); payload && !payload->fileURLs().isEmpty())
        return fileReferences(int(payload->fileURLs().size()));
    return ClipDetectedKind(item.content());
}

QString ClipDetectedKind::title() const
{
    if (m_kind == Kind::fileReferences)
        return m_count == 1 ? QStringLiteral("File Reference") : QStringLiteral("File References");
    return QString::fromLatin1(factsOf(m_kind).title);
}

QString ClipDetectedKind::badge() const
{
    if (m_kind == Kind::fileReferences)
        return m_count == 1 ? QStringLiteral("File") : QString::number(m_count) + QLatin1String(" Files");
    return QString::fromLatin1(factsOf(m_kind).badge);
}

QString ClipDetectedKind::systemImage() const
{
    if (m_kind == Kind::fileReferences)
        return m_count == 1 ? QStringLiteral("doc") : QStringLiteral("doc.on.doc");
    return QString::fromLatin1(factsOf(m_kind).systemImage);
}

TolviDesign::ColorToken ClipDetectedKind::tint() const
{
    return factsOf(m_kind).tint;
}

} // namespace tolvi
