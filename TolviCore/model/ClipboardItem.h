#pragma once

#include "TolviCore/model/ClipboardContent.h"
#include "TolviCore/model/ClipboardOriginalPayload.h"
#include "TolviCore/model/ClipboardSourceApp.h"

#include <QList>
#include <QSharedData>
#include <QSharedDataPointer>
#include <QUuid>

#include <optional>

namespace tolvi {

// One clip of the history. Copies share their data until one of them is changed, so the
// history list moves one pointer a clip when clips are inserted or reordered.
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

    const QUuid& id() const { return d->id; }
    const ClipboardContent& content() const { return d->content; }
    ClipboardContent& content() { return d->content; }
    void setContent(ClipboardContent content) { d->content = std::move(content); }
    double createdAt() const { return d->createdAt; }
    void setCreatedAt(double createdAt) { d->createdAt = createdAt; }
    bool isPinned() const { return d->isPinned; }
    void setPinned(bool pinned) { d->isPinned = pinned; }
    const QList<QUuid>& pinboardIDs() const { return d->pinboardIDs; }
    QList<QUuid>& pinboardIDs() { return d->pinboardIDs; }
    void setPinboardIDs(QList<QUuid> ids) { d->pinboardIDs = std::move(ids); }
    const std::optional<ClipboardSourceApp>& sourceApp() const { return d->sourceApp; }
    void setSourceApp(std::optional<ClipboardSourceApp> app) { d->sourceApp = std::move(app); }
    const std::optional<ClipboardOriginalPayload>& originalPayload() const { return d->originalPayload; }
    void setOriginalPayload(std::optional<ClipboardOriginalPayload> payload) { d->originalPayload = std::move(payload); }

    // The content key, or with kept representations
    // "original:<UTF-8 bytes of the content key>:<content key>:<payload fingerprint>".
    // Compare keys with UnicodeText::canonicallyEqual and hash them by UnicodeText::canonicalForm.
    QString dedupeKey() const;

    // Both are copies of one record (so equal), told without reading it.
    bool sharesDataWith(const ClipboardItem& other) const { return d == other.d; }

    friend bool operator==(const ClipboardItem& a, const ClipboardItem& b);

private:
    struct Data : QSharedData {
        Data(QUuid id, ClipboardContent content, double createdAt, bool isPinned, QList<QUuid> pinboardIDs,
             std::optional<ClipboardSourceApp> sourceApp, std::optional<ClipboardOriginalPayload> originalPayload)
            : id(id),
              content(std::move(content)),
              createdAt(createdAt),
              isPinned(isPinned),
              pinboardIDs(std::move(pinboardIDs)),
              sourceApp(std::move(sourceApp)),
              originalPayload(std::move(originalPayload))
        {
        }
        QUuid id;
        ClipboardContent content;
        double createdAt;
        bool isPinned;
        QList<QUuid> pinboardIDs;
        std::optional<ClipboardSourceApp> sourceApp;
        std::optional<ClipboardOriginalPayload> originalPayload;
    };
    QSharedDataPointer<Data> d;
};

} // namespace tolvi

Q_DECLARE_TYPEINFO(tolvi::ClipboardItem, Q_RELOCATABLE_TYPE);
