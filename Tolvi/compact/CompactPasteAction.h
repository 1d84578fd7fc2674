#pragma once

#include "TolviCore/ai/AIAction.h"
#include "TolviCore/model/ClipboardItem.h"
#include "TolviCore/text/TextTransform.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace tolvi {

// One thing the compact panel offers to do with a clip: paste it, paste a text made from it,
// open it in the editor or the preview, or start an AI rewrite of it.
struct CompactPasteAction {
    enum class Kind { pasteItem, pasteText, editItem, previewItem, aiText };

    QString id;
    QString title;
    QString subtitle;
    QString systemImage;
    Kind kind = Kind::pasteItem;
    // The clip the action concerns.
    ClipboardItem item;
    // pasteText: the text pasted, before `transform`; aiText: the text the rewrite starts from.
    QString text;
    // pasteText through a transform: applied when the action runs, so building a catalogue
    // never transforms a long text.
    std::optional<TextTransform> transform;
    // aiText: the action to run.
    std::optional<AIAction> aiAction;

    // The text a pasteText action pastes (the transform applied now); empty for other kinds.
    QString pastedText() const;
};

// A titled group of the catalogue.
struct CompactPasteActionSection {
    QString id;
    std::optional<QString> title;
    bool isRecommended = false;
    QList<CompactPasteAction> actions;

    // The whole catalogue for a clip: "Recommended" then "Other Actions". Pure: the same clip and
    // switch give the same catalogue.
    static QList<CompactPasteActionSection> sections(const ClipboardItem& clip, bool showsAIControls);

    static QList<CompactPasteAction> aiTextActions(const ClipboardItem& clip, const QString& text);
    static QList<CompactPasteAction> recommendedTextActions(const ClipboardItem& clip, const QString& text,
                                                            bool showsAIControls);
    static QList<CompactPasteAction> otherTextActions(const ClipboardItem& clip, const QString& text,
                                                      const CompactPasteAction& paste, bool showsAIControls);
    static QList<CompactPasteAction> recommendedImageActions(const ClipboardItem& clip, const ClipboardImage& image);
    static QList<CompactPasteAction> otherImageActions(const ClipboardItem& clip, const ClipboardImage& image,
                                                       const CompactPasteAction& paste, const QStringList& excludedIDs);
};

// The compact panel's short title of a transform ("Unique Lines" for deduplicateLines) and its icon.
QString compactShortTitle(TextTransform transform);
QString compactSystemImage(TextTransform transform);

} // namespace tolvi
