#pragma once

#include "Tolvi/design/DesignTokens.h"
#include "TolviCore/model/ClipboardContent.h"
#include "TolviCore/model/ClipboardItem.h"

#include <QString>

namespace tolvi {

// The display kind of a clip in the inspector and the full-size preview: plain text, link,
// JSON, code, image, searchable screenshot or file references. Never stored; derived when shown.
class ClipDetectedKind {
public:
    enum class Kind { text, link, json, code, image, searchableScreenshot, fileReferences };

    // Classifies a content; never gives fileReferences.
    explicit ClipDetectedKind(const ClipboardContent& content);
    static ClipDetectedKind fileReferences(int count) { return ClipDetectedKind(Kind::fileReferences, count); }
    // The kind of a clip: its file references when it has any, else its content's kind.
    static ClipDetectedKind of(const ClipboardItem& item);

    Kind kind() const { return m_kind; }
    int fileCount() const { return m_count; }

    QString title() const;
    QString badge() const;
    QString systemImage() const;
    TolviDesign::ColorToken tint() const;

    friend bool operator==(const ClipDetectedKind&, const ClipDetectedKind&) = default;

private:
    ClipDetectedKind(Kind kind, int count) : m_kind(kind), m_count(count) {}
    Kind m_kind = Kind::text;
    int m_count = 0;
};

} // namespace tolvi
