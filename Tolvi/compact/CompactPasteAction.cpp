#include "Tolvi/compact/CompactPasteAction.h"

#include "Tolvi/clipviews/PasteAsMenu.h"

#include "Tolvi/compact/CompactTransformSubtitle.h"

#include <QSet>

namespace tolvi {

namespace {

using Kind = CompactPasteAction::Kind;

CompactPasteAction make(QString id, QString title, QString subtitle, QString systemImage, Kind kind,
                        const ClipboardItem& clip, QString text = {})
{
    return CompactPasteAction{std::move(id), std::move(title), std::move(subtitle), std::move(systemImage), kind,
                              clip, std::move(text), std::nullopt, std::nullopt};
}

CompactPasteAction pasteAction(const ClipboardItem& clip)
{
    return make(QStringLiteral("paste"), QStringLiteral("Paste"), QStringLiteral("Original clip"),
                clip.content().isImage() ? QStringLiteral("photo") : QStringLiteral("arrow.down.doc"), Kind::pasteItem,
                clip);
}

CompactPasteAction previewAction(const ClipboardItem& clip)
{
    return make(QStringLiteral("preview"), QStringLiteral("Preview"), QStringLiteral("Spacebar Quick Look"),
                QStringLiteral("rectangle.expand.vertical"), Kind::previewItem, clip);
}

CompactPasteAction plainTextAction(const ClipboardItem& clip, const QString& text)
{
    return make(QStringLiteral("plain-text"), QStringLiteral("Plain Text"), QStringLiteral("Strip rich formatting"),
                QStringLiteral("doc.plaintext"), Kind::pasteText, clip, text);
}

CompactPasteAction editAction(const ClipboardItem& clip)
{
    return make(QStringLiteral("edit-text"), QStringLiteral("Edit Text"), QStringLiteral("Modify before paste"),
                QStringLiteral("pencil.line"), Kind::editItem, clip);
}

CompactPasteAction recognisedTextAction(const ClipboardItem& clip, const QString& recognised)
{
    return make(QStringLiteral("ocr-text"), QStringLiteral("OCR Text"), QStringLiteral("Paste extracted screenshot text"),
                QStringLiteral("text.viewfinder"), Kind::pasteText, clip, recognised);
}

CompactPasteAction imageSizeAction(const ClipboardItem& clip, const ClipboardImage& image)
{
    const QString size = image.pixelDescription();
    return make(QStringLiteral("image-size"), QStringLiteral("Paste Image Size"), size, QStringLiteral("ruler"),
                Kind::pasteText, clip, QStringLiteral("Image ") + size);
}

// A transform of the clip's text ("text-") or of an image's recognised text ("ocr-").
CompactPasteAction transformAction(const ClipboardItem& clip, const QString& source, TextTransform transform,
                                   bool recognised)
{
    const QString prefix = recognised ? QStringLiteral("ocr-") : QStringLiteral("text-");
    const QString title = recognised ? QStringLiteral("OCR ") + compactShortTitle(transform) : compactShortTitle(transform);
    CompactPasteAction action = make(prefix + transform.rawValue(), title, compactSubtitle(transform),
                                     PasteAsMenu::systemImage(transform), Kind::pasteText, clip, source);
    action.transform = transform;
    return action;
}

QList<TextTransform> preferredTextTransforms(const QList<TextTransform>& available)
{
    QList<TextTransform> preferred;
    if (available.contains(TextTransform::cleanURL))
        preferred = {TextTransform::cleanURL, TextTransform::markdownLink};
    else if (available.contains(TextTransform::prettyJSON))
        preferred = {TextTransform::prettyJSON};
    else
        preferred = {TextTransform::emailDraft, TextTransform::checklist};
    QList<TextTransform> kept;
    for (TextTransform transform : preferred) {
        if (available.contains(transform))
            kept.append(transform);
    }
    return kept;
}

QList<CompactPasteAction> recommendedText(const ClipboardItem& clip, const QString& text,
                                          const QList<TextTransform>& available, bool showsAIControls)
{
    QList<CompactPasteAction> actions;
    if (showsAIControls)
        actions = CompactPasteActionSection::aiTextActions(clip, text);
    actions.append(editAction(clip));
    for (TextTransform transform : preferredTextTransforms(available))
        actions.append(transformAction(clip, text, transform, false));
    return actions;
}

QList<CompactPasteAction> otherText(const ClipboardItem& clip, const QString& text, const QList<TextTransform>& available,
                                    const CompactPasteAction& paste, const QSet<QString>& excluded)
{
    static const QList<TextTransform> order{
        TextTransform::cleanURL,     TextTransform::markdownLink, TextTransform::prettyJSON, TextTransform::emailDraft,
        TextTransform::checklist,    TextTransform::bulletList,   TextTransform::numberedList, TextTransform::codeBlock,
        TextTransform::trimWhitespace, TextTransform::collapseSpaces, TextTransform::slugify,
    };
    QList<CompactPasteAction> actions{paste, previewAction(clip), plainTextAction(clip, text)};
    for (TextTransform transform : order) {
        if (!available.contains(transform))
            continue;
        CompactPasteAction action = transformAction(clip, text, transform, false);
        if (!excluded.contains(action.id))
            actions.append(std::move(action));
    }
    return actions;
}

QSet<QString> idsOf(const QList<CompactPasteAction>& actions)
{
    QSet<QString> ids;
    for (const CompactPasteAction& action : actions)
        ids.insert(action.id);
    return ids;
}

// The recognised text when there is some; an empty text counts as none (blanks do not).
std::optional<QString> recognisedText(const ClipboardImage& image)
{
    const std::optional<QString>& text = image.recognizedText();
    if (!text || text->isEmpty())
        return std::nullopt;
    return text;
}

CompactPasteActionSection recommendedSection(QList<CompactPasteAction> actions)
{
    return {QStringLiteral("recommended"), QStringLiteral("Recommended"), true, std::move(actions)};
}

CompactPasteActionSection otherSection(QList<CompactPasteAction> actions)
{
    return {QStringLiteral("other"), QStringLiteral("Other Actions"), false, std::move(actions)};
}

} // namespace

QString CompactPasteAction::pastedText() const
{
    if (kind != Kind::pasteText)
        return {};
    return transform ? transform->apply(text) : text;
}

QString compactShortTitle(TextTransform transform)
{
    // The panel's rows are narrower than the menu: two results go by a shorter name.
    switch (transform.value()) {
    case TextTransform::prettyJSON: return QStringLiteral("JSON");
    case TextTransform::markdownLink: return QStringLiteral("Markdown");
    default: return transform.resultTitle();
    }
}

QList<CompactPasteActionSection> CompactPasteActionSection::sections(const ClipboardItem& clip, bool showsAIControls)
{
    const CompactPasteAction paste = pasteAction(clip);
    if (const QString* text = clip.content().textIf()) {
        // Which transforms fit is worked out once for both sections.
        const QList<TextTransform> available = TextTransform::available(*text);
        QList<CompactPasteAction> recommended = recommendedText(clip, *text, available, showsAIControls);
        QList<CompactPasteAction> other = otherText(clip, *text, available, paste, idsOf(recommended));
        return {recommendedSection(std::move(recommended)), otherSection(std::move(other))};
    }
    const ClipboardImage& image = clip.content().imageValue();
    QList<CompactPasteAction> recommended = recommendedImageActions(clip, image);
    QStringList excluded;
    if (recommended.isEmpty()) {
        recommended = {paste, previewAction(clip)};
        excluded = {QStringLiteral("paste"), QStringLiteral("preview")};
    } else {
        for (const CompactPasteAction& action : std::as_const(recommended))
            excluded.append(action.id);
    }
    QList<CompactPasteAction> other = otherImageActions(clip, image, paste, excluded);
    return {recommendedSection(std::move(recommended)), otherSection(std::move(other))};
}

QList<CompactPasteAction> CompactPasteActionSection::aiTextActions(const ClipboardItem& clip, const QString& text)
{
    QList<CompactPasteAction> actions;
    for (const AIAction& ai : AIAction::textActions()) {
        QString subtitle = QStringLiteral("Review the result before pasting");
        QString symbol = QStringLiteral("sparkles");
        if (ai.id == AIAction::fixWriting().id) {
            subtitle = QStringLiteral("Fix spelling and punctuation");
            symbol = QStringLiteral("checkmark.circle");
        } else if (ai.id == AIAction::draftReply().id) {
            subtitle = QStringLiteral("Draft a response in Quick Edit");
            symbol = QStringLiteral("envelope");
        }
        CompactPasteAction action =
            make(QStringLiteral("ai-") + ai.id, ai.title, subtitle, symbol, Kind::aiText, clip, text);
        action.aiAction = ai;
        actions.append(std::move(action));
    }
    return actions;
}

QList<CompactPasteAction> CompactPasteActionSection::recommendedTextActions(const ClipboardItem& clip,
                                                                            const QString& text, bool showsAIControls)
{
    return recommendedText(clip, text, TextTransform::available(text), showsAIControls);
}

QList<CompactPasteAction> CompactPasteActionSection::otherTextActions(const ClipboardItem& clip, const QString& text,
                                                                      const CompactPasteAction& paste,
                                                                      bool showsAIControls)
{
    const QList<TextTransform> available = TextTransform::available(text);
    return otherText(clip, text, available, paste, idsOf(recommendedText(clip, text, available, showsAIControls)));
}

QList<CompactPasteAction> CompactPasteActionSection::recommendedImageActions(const ClipboardItem& clip,
                                                                             const ClipboardImage& image)
{
    const std::optional<QString> recognised = recognisedText(image);
    if (!recognised)
        return {};
    QList<CompactPasteAction> actions{previewAction(clip), recognisedTextAction(clip, *recognised)};
    if (TextTransform::available(*recognised).contains(TextTransform::emailDraft))
        actions.append(transformAction(clip, *recognised, TextTransform::emailDraft, true));
    return actions;
}

QList<CompactPasteAction> CompactPasteActionSection::otherImageActions(const ClipboardItem& clip,
                                                                       const ClipboardImage& image,
                                                                       const CompactPasteAction& paste,
                                                                       const QStringList& excludedIDs)
{
    const QSet<QString> excluded(excludedIDs.cbegin(), excludedIDs.cend());
    QList<CompactPasteAction> actions;
    if (!excluded.contains(paste.id))
        actions.append(paste);
    if (!excluded.contains(QStringLiteral("preview")))
        actions.append(previewAction(clip));
    actions.append(imageSizeAction(clip, image));
    if (const std::optional<QString> recognised = recognisedText(image)) {
        static const QList<TextTransform> order{TextTransform::emailDraft, TextTransform::checklist,
                                                TextTransform::bulletList, TextTransform::codeBlock,
                                                TextTransform::trimWhitespace, TextTransform::collapseSpaces};
        const QList<TextTransform> available = TextTransform::available(*recognised);
        for (TextTransform transform : order) {
            if (!available.contains(transform))
                continue;
            CompactPasteAction action = transformAction(clip, *recognised, transform, true);
            if (!excluded.contains(action.id))
                actions.append(std::move(action));
        }
    }
    return actions;
}

} // namespace tolvi
