#pragma once

#include "TolviCore/model/ClipboardContent.h"
#include "TolviCore/model/ClipboardImage.h"

#include <QList>
#include <QString>

namespace tolvi {

// What a multi-clip selection is, for pasting: plain texts are pasted at once as one joined
// text; a selection with images is pasted one clip at a time.
class ClipboardBatchPayload {
public:
    enum class Kind { text, images, mixed, empty };

    static ClipboardBatchPayload text(QString joined) { return ClipboardBatchPayload(Kind::text, std::move(joined), {}, {}); }
    static ClipboardBatchPayload images(QList<ClipboardImage> images)
    {
        return ClipboardBatchPayload(Kind::images, {}, std::move(images), {});
    }
    static ClipboardBatchPayload mixed(QList<ClipboardContent> contents)
    {
        return ClipboardBatchPayload(Kind::mixed, {}, {}, std::move(contents));
    }
    static ClipboardBatchPayload empty() { return ClipboardBatchPayload(Kind::empty, {}, {}, {}); }

    Kind kind() const { return kind_; }
    // Valid for the matching kind only; empty otherwise.
    const QString& joinedText() const { return text_; }
    const QList<ClipboardImage>& imageList() const { return images_; }
    const QList<ClipboardContent>& contents() const { return contents_; }

    friend bool operator==(const ClipboardBatchPayload& a, const ClipboardBatchPayload& b)
    {
        return a.kind_ == b.kind_ && a.text_ == b.text_ && a.images_ == b.images_ && a.contents_ == b.contents_;
    }

private:
    ClipboardBatchPayload(Kind kind, QString text, QList<ClipboardImage> images, QList<ClipboardContent> contents)
        : kind_(kind), text_(std::move(text)), images_(std::move(images)), contents_(std::move(contents))
    {
    }

    Kind kind_;
    QString text_;
    QList<ClipboardImage> images_;
    QList<ClipboardContent> contents_;
};

} // namespace tolvi
