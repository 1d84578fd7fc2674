// Recording a copy: the checks, the de-duplication against the clips already there, and the
// trims that follow.

#include "TolviCore/store/ClipboardStore.h"

#include "TolviCore/archive/TextLimits.h"
#include "TolviCore/model/UnicodeText.h"
#include "TolviCore/store/ClipboardStoreList.h"

#include <cmath>

namespace tolvi {

// MARK: - Recording

bool ClipboardStore::record(const QString& text, double createdAt, std::optional<ClipboardSourceApp> sourceApp,
                            std::optional<ClipboardOriginalPayload> originalPayload)
{
    if (TextLimits::isBlank(text))
        return false;
    return record(ClipboardContent::text(text), createdAt, std::move(sourceApp), std::move(originalPayload));
}

bool ClipboardStore::record(const ClipboardContent& content, double createdAt,
                            std::optional<ClipboardSourceApp> sourceApp,
                            std::optional<ClipboardOriginalPayload> originalPayload)
{
    if (storageIssue_ == StorageIssue::loadFailed)
        return false;
    // A time that is not a number would break the list order and could never be written out.
    if (!std::isfinite(createdAt))
        return false;
    if (const ClipboardImage* image = content.imageIf()) {
        if (image->byteCount() == 0 || image->byteCount() > configuration_.maxImageBytes)
            return false;
    } else {
        const QString& text = content.textValue();
        if (TextLimits::exceedsCharacterLimit(text, configuration_.maxCharactersPerItem)) {
            setLastCaptureIssue(QStringLiteral("This text exceeds the %1-character limit and was not saved. "
                                               "The original clipboard is unchanged.")
                                    .arg(configuration_.maxCharactersPerItem));
            publishChanges();
            return false;
        }
        if (TextLimits::isBlank(text))
            return false;
    }

    setLastCaptureIssue(std::nullopt);

    ClipboardItem fresh(QUuid::createUuid(), content, createdAt, false, {}, std::move(sourceApp),
                        std::move(originalPayload));
    // The key itself (for an image, its fingerprint) is only worked out when a clip has its hash.
    const size_t keyHash = keyHashOf(fresh);
    QString key;
    if (index_->byKey.contains(keyHash))
        key = UnicodeText::canonicalForm(fresh.dedupeKey());
    if (const Entry* donor = key.isNull() ? nullptr : firstWithKey(keyHash, key)) {
        const ClipboardItem& old = items_.at(static_cast<qsizetype>(positionOf(donor)));
        fresh.setPinned(old.isPinned());
        fresh.setPinboardIDs(old.pinboardIDs());
        if (!fresh.sourceApp())
            fresh.setSourceApp(old.sourceApp());
        if (ClipboardImage* image = fresh.content().imageIf()) {
            const auto& ownText = image->recognizedText();
            const bool ownTextUsable = ownText && !TextLimits::isBlank(*ownText);
            const ClipboardImage* oldImage = old.content().imageIf();
            if (!ownTextUsable && oldImage && oldImage->recognizedText())
                image->setRecognizedText(oldImage->recognizedText());
        }
    }

    isBatchingMutation_ = true;
    // Every clip with the key goes, not only the donor.
    while (const Entry* equal = key.isNull() ? nullptr : firstWithKey(keyHash, key))
        eraseAt(positionOf(equal));
    insertItem(std::move(fresh), false);
    itemsChangedBy();
    trimToLimit();
    trimToStorageLimit();
    isBatchingMutation_ = false;
    persist();
    publishChanges();
    return true;
}

} // namespace tolvi
