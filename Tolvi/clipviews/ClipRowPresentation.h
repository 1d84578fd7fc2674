#pragma once

#include "Tolvi/design/DesignTokens.h"
#include "TolviCore/model/ClipboardItem.h"
#include "TolviCore/store/ClipboardStore.h"

#include <QString>

#include <optional>

namespace tolvi {

// Where text recognition stands for a clip, as the store keeps it: whether it is running and
// the stored outcome. Neither for a text clip.
struct ClipRecognitionState {
    bool isRecognizingText = false;
    std::optional<ClipboardStore::OCRStatus> ocrStatus;

    static ClipRecognitionState of(const ClipboardStore& store, const ClipboardItem& item);
};

// What one history row shows besides the clip itself: its quick-paste digit and the states that
// change its look. Filled by the list for every painted row.
struct ClipRowInput {
    std::optional<int> shortcutNumber;
    bool isFocused = false;
    bool isSelectedForBatch = false;
    bool isRecognizingText = false;
    std::optional<ClipboardStore::OCRStatus> ocrStatus;
};

// The texts, symbols and tints of one clip's row. A clip with file references in its kept
// representations is shown as those files, whatever its content.
struct ClipRowPresentation {
    QString title;
    QString contentKind;
    QString contentSystemImage;
    TolviDesign::ColorToken contentTint = TolviDesign::ColorToken::electricBlue;
    // A one-line preview of an image's recognised text (present and not empty).
    std::optional<QString> ocrPreview;
    QString metadata;
    // "1 board", "3 boards"; nothing when the clip is on no board.
    std::optional<QString> boardCount;

    // `now`: seconds since 2001-01-01 UTC.
    static ClipRowPresentation make(const ClipboardItem& item, double now);
};

namespace ClipRowText {
// The clip's kept representations list at least one file URL.
bool hasFileReferences(const ClipboardItem& item);
// A file URL's display name: its last path component, or the whole path when that is empty.
QString displayName(const QString& fileURL);
// What assistive technologies read for a row: its label, and the value (metadata, board count,
// text recognition, multi-paste choice, joined with ", ").
QString accessibilityLabel(const ClipboardItem& item);
QString accessibilityValue(const ClipboardItem& item, double now, bool isQueued, bool isRecognizingText,
                           const std::optional<ClipboardStore::OCRStatus>& ocrStatus);
// The text-recognition phrase of an image row's value; nothing for text clips and when nothing applies.
std::optional<QString> ocrPhrase(const ClipboardItem& item, bool isRecognizingText,
                                 const std::optional<ClipboardStore::OCRStatus>& ocrStatus);
// What assistive technologies read for a row's quick-paste digit.
QString shortcutLabel(int number);
// A tooltip that shows a line exactly as it stands (escaped, wrapped where the screen ends).
QString plainToolTip(const QString& line);
inline const QString accessibilityHint =
    QStringLiteral("Select to inspect. Press Return or choose Paste to insert this clip.");
inline const QString toolTip = QStringLiteral("Select clip to inspect. Press Return or choose Paste to insert it.");
} // namespace ClipRowText

} // namespace tolvi
