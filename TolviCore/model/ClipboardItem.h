#pragma once

#include "TolviCore/model/ClipboardContent.h"
#include "TolviCore/model/ClipboardOriginalPayload.h"
#include "TolviCore/model/ClipboardSourceApp.h"

#include <QList>
#include <QUuid>

#include <optional>

namespace tolvi {

// One clip of the history.
class ClipboardItem {
public:
    ClipboardItem(QUuid id, ClipboardContent content, double createdAt, bool isPinned = false,
                  QList<QUuid> pinboardIDs = {}, std::optional<ClipboardSourceApp> sourceApp = std::nullopt,
                  std::optional<ClipboardOriginalPayload> originalPayload = std::nullopt);
    ClipboardItem(QUuid id, QString text, double createdAt, bool isPinned = false, QList<QUuid> pinboardIDs = {},
                  std::optional<ClipboardSourceApp> sourceApp = std::nullopt,
                  std::optional<ClipboardOriginalPayload> originalPayload = std::nullopt);
    // A new text clip: a fresh id, the text exactly as given, created now, unpinned, on no board,
    // with no source application and no kept representations.
    explicit ClipboardItem(QString text);

    const QUuid& id() const { return id_; }
    const ClipboardContent& content() const { return content_; }
    ClipboardContent& content() { return content_; }
    void setContent(ClipboardContent content) { content_ = std::move(content); }
    double createdAt() const { return createdAt_; }
    void setCreatedAt(double createdAt) { createdAt_ = createdAt; }
    bool isPinned() const { return isPinned_; }
    void setPinned(bool pinned) { isPinned_ = pinned; }
    const QList<QUuid>& pinboardIDs() const { return pinboardIDs_; }
    QList<QUuid>& pinboardIDs() { return pinboardIDs_; }
    void setPinboardIDs(QList<QUuid> ids) { pinboardIDs_ = std::move(ids); }
    const std::optional<ClipboardSourceApp>& sourceApp() const { return sourceApp_; }
    void setSourceApp(std::optional<ClipboardSourceApp> app) { sourceApp_ = std::move(app); }
    const std::optional<ClipboardOriginalPayload>& originalPayload() const { return originalPayload_; }
    void setOriginalPayload(std::optional<ClipboardOriginalPayload> payload) { originalPayload_ = std::move(payload); }

    // The content key, or with kept representations
    // "original:<UTF-8 bytes of the content key>:<content key>:<payload fingerprint>".
    // Compare keys with UnicodeText::canonicallyEqual and hash them by UnicodeText::canonicalForm.
    QString dedupeKey() const;

    friend bool operator==(const ClipboardItem& a, const ClipboardItem& b);

private:
    QUuid id_;
    ClipboardContent content_;
    double createdAt_;
    bool isPinned_;
    QList<QUuid> pinboardIDs_;
    std::optional<ClipboardSourceApp> sourceApp_;
    std::optional<ClipboardOriginalPayload> originalPayload_;
};

} // namespace tolvi
