#pragma once

#include <QString>

namespace tolvi {

// What an editor does after its text changed programmatically.
struct ClipboardTextDraftMutation {
    bool shouldSaveAutomatically = false;
    bool shouldPasteAutomatically = false;

    // Only the edit buffer changed: nothing is saved or pasted by itself.
    static constexpr ClipboardTextDraftMutation editBufferOnly() { return {false, false}; }

    friend bool operator==(const ClipboardTextDraftMutation&, const ClipboardTextDraftMutation&) = default;
};

// The text an editor started from and the text being edited.
struct ClipboardTextDraft {
    QString originalText;
    QString editedText;

    explicit ClipboardTextDraft(const QString& text = QString()) : originalText(text), editedText(text) {}

    // True when the edited text is not empty after trimming white space and line breaks.
    bool canUseEditedText() const;
    bool hasUnsavedChanges() const;
    // "N chars", or "N chars, +D" / "N chars, -D" once the text differs from the saved one.
    QString characterStatus() const;

    ClipboardTextDraftMutation applyAIResult(const QString& text);
    ClipboardTextDraftMutation applyAIRewrite(const QString& text);
    void markSaved();

    friend bool operator==(const ClipboardTextDraft& a, const ClipboardTextDraft& b);
};

} // namespace tolvi
