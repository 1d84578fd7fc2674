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
    switch (m_kind) {
    case Kind::text: return QStringLiteral("Text Clip");
    case Kind::link: return QStringLiteral("Link Clip");
    case Kind::json: return QStringLiteral("JSON Clip");
    case Kind::code: return QStringLiteral("Code Clip");
    case Kind::image: return QStringLiteral("Image Clip");
    case Kind::searchableScreenshot: return QStringLiteral("Searchable Screenshot");
    case Kind::fileReferences: return m_count == 1 ? QStringLiteral("File Reference") : QStringLiteral("File References");
    }
    return {};
}

QString ClipDetectedKind::badge() const
{
    switch (m_kind) {
    case Kind::text: return QStringLiteral("Text");
    case Kind::link: return QStringLiteral("Link");
    case Kind::json: return QStringLiteral("JSON");
    case Kind::code: return QStringLiteral("Code");
    case Kind::image: return QStringLiteral("Image");
    case Kind::searchableScreenshot: return QStringLiteral("OCR");
    case Kind::fileReferences:
        return m_count == 1 ? QStringLiteral("File") : QString::number(m_count) + QLatin1String(" Files");
    }
    return {};
}

QString ClipDetectedKind::systemImage() const
{
    switch (m_kind) {
    case Kind::text: return QStringLiteral("text.alignleft");
    case Kind::link: return QStringLiteral("link");
    case Kind::json: return QStringLiteral("curlybraces");
    case Kind::code: return QStringLiteral("chevron.left.forwardslash.chevron.right");
    case Kind::image: return QStringLiteral("photo");
    case Kind::searchableScreenshot: return QStringLiteral("text.viewfinder");
    case Kind::fileReferences: return m_count == 1 ? QStringLiteral("doc") : QStringLiteral("doc.on.doc");
    }
    return {};
}

TolviDesign::ColorToken ClipDetectedKind::tint() const
{
    switch (m_kind) {
    case Kind::text: return ColorToken::electricBlue;
    case Kind::link: return ColorToken::mint;
    case Kind::json: return ColorToken::amber;
    case Kind::code: return ColorToken::violet;
    case Kind::image: return ColorToken::violet;
    case Kind::searchableScreenshot: return ColorToken::mint;
    case Kind::fileReferences: return ColorToken::electricBlue;
    }
    return ColorToken::electricBlue;
}

} // namespace tolvi
