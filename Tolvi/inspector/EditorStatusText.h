#pragma once

#include <QString>

namespace tolvi::EditorStatusText {

// "N chars": the character count of a text, with no singular form.
QString characterCount(qsizetype count);
// The editor's status as ClipboardTextDraft::characterStatus words it, from counts kept by the
// editor: "N chars" while nothing is unsaved, else "N chars, +D" (or "-D") against the saved
// text's count.
QString characterStatus(qsizetype editedCount, qsizetype savedCount, bool hasUnsavedChanges);

} // namespace tolvi::EditorStatusText
