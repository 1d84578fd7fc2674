// OCR bookkeeping: the requests in flight, the status of every image and its recognized text.

#include "TolviCore/store/ClipboardStore.h"

#include "TolviCore/archive/TextLimits.h"
#include "TolviCore/store/ClipboardStoreList.h"

#include <type_traits>
#include <utility>

namespace tolvi {

// MARK: - OCR bookkeeping

// The fingerprints of the clips' images are worked out when the bookkeeping first needs them,
// not when the history is loaded. The index's `imageCounts` counts those worked out so far; an
// image clip whose fingerprint is not counted yet may still carry any fingerprint, so a question
// about a fingerprint not counted works out the ones that could match: those of the images with
// its quick key when that is known, otherwise every one still missing (once).

bool ClipboardStore::isLiveImage(const QString& fingerprint)
{
    if (index_->imageCounts.contains(fingerprint))
        return true;
    if (index_->uncountedImages == 0)
        return false;
    if (auto vanished = vanishedFingerprints_.constFind(fingerprint); vanished != vanishedFingerprints_.cend())
        countFingerprintsWithQuickKey(vanished.value());
    else
        countAllFingerprints();
    return index_->imageCounts.contains(fingerprint);
}

const QString& ClipboardStore::fingerprintOf(Entry* entry)
{
    if (!entry->fingerprintCounted)
        countFingerprint(entry);
    return entry->image->fingerprint();
}

bool ClipboardStore::carriesImage(Entry* entry, const QString& fingerprint)
{
    return entry->image && fingerprintOf(entry) == fingerprint;
}

// Counts an attached image clip's fingerprint, working it out if need be.
void ClipboardStore::countFingerprint(Entry* entry)
{
    index_->count(entry);
    vanishedFingerprints_.remove(entry->image->fingerprint());
}

void ClipboardStore::countFingerprintsWithQuickKey(size_t quickKey)
{
    const QMultiHash<size_t, Entry*>& images = index_->imagesByQuickKey;
    for (auto it = images.constFind(quickKey); it != images.cend() && it.key() == quickKey; ++it) {
        if (!it.value()->fingerprintCounted)
            countFingerprint(it.value());
    }
}

void ClipboardStore::countAllFingerprints()
{
    const QMultiHash<size_t, Entry*>& images = index_->imagesByQuickKey;
    for (auto it = images.cbegin(); it != images.cend() && index_->uncountedImages > 0; ++it) {
        if (!it.value()->fingerprintCounted)
            countFingerprint(it.value());
    }
}

// Whether one of the fingerprints (keys of the OCR state) may be the image's. Every such
// fingerprint was counted when its state was set, with its quick key; one counted no longer
// remembers its quick key among the vanished ones. Only a fingerprint with the image's quick key
// (or none known) can be its own, so an image whose fingerprint is not worked out yet needs it
// only then.
template <typename Fingerprints>
bool ClipboardStore::mayHoldStateOf(const Fingerprints& fingerprints, const ClipboardImage& image) const
{
    if (fingerprints.isEmpty())
        return false;
    if (image.hasFingerprint())
        return true;
    const size_t quickKey = image.quickKey();
    for (auto it = fingerprints.cbegin(); it != fingerprints.cend(); ++it) {
        const QString& fingerprint = [&]() -> const QString& {
            if constexpr (std::is_same_v<Fingerprints, QSet<QString>>)
                return *it;
            else
                return it.key();
        }();
        if (const auto count = index_->imageCounts.constFind(fingerprint); count != index_->imageCounts.cend()) {
            if (count->quickKey == quickKey)
                return true;
        } else if (const auto vanished = vanishedFingerprints_.constFind(fingerprint);
                   vanished == vanishedFingerprints_.cend() || vanished.value() == quickKey) {
            return true;
        }
    }
    return false;
}

std::optional<ClipboardStore::OCRStatus> ClipboardStore::ocrStatusOf(const ClipboardImage& image) const
{
    if (!mayHoldStateOf(ocrStatuses_, image))
        return std::nullopt;
    if (const auto status = ocrStatuses_.constFind(image.fingerprint()); status != ocrStatuses_.cend())
        return status.value();
    return std::nullopt;
}

bool ClipboardStore::isRecognizing(const ClipboardImage& image) const
{
    return mayHoldStateOf(ocrInProgress_, image) && ocrInProgress_.contains(image.fingerprint());
}

void ClipboardStore::setOCRStatus(std::optional<OCRStatus> status, const QString& fingerprint)
{
    applyOCRStatus(status, fingerprint);
    publishChanges();
}

void ClipboardStore::applyOCRStatus(std::optional<OCRStatus> status, const QString& fingerprint)
{
    if (!isLiveImage(fingerprint))
        return;
    if (status) {
        auto it = ocrStatuses_.find(fingerprint);
        if (it == ocrStatuses_.end() || it.value() != *status) {
            ocrStatuses_.insert(fingerprint, *status);
            ocrStatusesDirty_ = true;
        }
    } else if (ocrStatuses_.remove(fingerprint)) {
        ocrStatusesDirty_ = true;
    }
    if (status == OCRStatus::processing) {
        if (!ocrInProgress_.contains(fingerprint)) {
            ocrInProgress_.insert(fingerprint);
            ocrInProgressDirty_ = true;
        }
    } else if (ocrInProgress_.remove(fingerprint)) {
        ocrInProgressDirty_ = true;
    }
}

std::optional<QUuid> ClipboardStore::beginOCR(const QUuid& itemID)
{
    if (storageIssue_ == StorageIssue::loadFailed)
        return std::nullopt;
    Entry* entry = firstWithId(itemID);
    if (!entry || !entry->image)
        return std::nullopt;
    const QString fingerprint = fingerprintOf(entry);
    if (ocrInProgress_.contains(fingerprint))
        return std::nullopt;
    const QUuid token = QUuid::createUuid();
    ocrRequests_.insert(fingerprint, OCRRequest{token, itemID});
    applyOCRStatus(OCRStatus::processing, fingerprint);
    publishChanges();
    return token;
}

void ClipboardStore::finishOCR(const QUuid& token, const QString& fingerprint, std::optional<OCRStatus> status,
                               const std::optional<QString>& recognizedText)
{
    auto request = ocrRequests_.constFind(fingerprint);
    if (request == ocrRequests_.cend() || request->token != token)
        return;
    const QUuid itemID = request->itemID;
    bool found = false;
    for (auto it = index_->byId.constFind(itemID); it != index_->byId.cend() && it.key() == itemID; ++it) {
        if (carriesImage(it.value(), fingerprint)) {
            found = true;
            break;
        }
    }
    if (!found)
        return;
    // The text goes in before the status is set; both are announced together.
    if (recognizedText)
        applyRecognizedText(*recognizedText, fingerprint, itemID);
    applyOCRStatus(status, fingerprint);
    ocrRequests_.remove(fingerprint);
    publishChanges();
}

void ClipboardStore::setOCRProcessing(bool processing, const QString& fingerprint)
{
    if (processing) {
        setOCRStatus(OCRStatus::processing, fingerprint);
        return;
    }
    auto it = ocrStatuses_.constFind(fingerprint);
    if (it != ocrStatuses_.cend() && it.value() == OCRStatus::processing) {
        setOCRStatus(std::nullopt, fingerprint);
        return;
    }
    if (ocrInProgress_.remove(fingerprint))
        ocrInProgressDirty_ = true;
    publishChanges();
}

void ClipboardStore::updateRecognizedText(const QString& text, const QString& fingerprint,
                                          const std::optional<QUuid>& itemID)
{
    applyRecognizedText(text, fingerprint, itemID);
    publishChanges();
}

void ClipboardStore::applyRecognizedText(const QString& text, const QString& fingerprint,
                                         const std::optional<QUuid>& itemID)
{
    if (storageIssue_ == StorageIssue::loadFailed)
        return;
    if (TextLimits::isBlank(text))
        return;
    Entry* target = nullptr;
    if (itemID) {
        // The first clip with that id that carries this image.
        size_t best = index_->order.size();
        for (auto it = index_->byId.constFind(*itemID); it != index_->byId.cend() && it.key() == *itemID; ++it) {
            if (!carriesImage(it.value(), fingerprint))
                continue;
            const size_t position = positionOf(it.value());
            if (!target || position < best) {
                target = it.value();
                best = position;
            }
        }
    } else if (isLiveImage(fingerprint)) {
        // The first clip in the list with this image: only images with its quick key can be.
        const size_t quickKey = index_->imageCounts.value(fingerprint).quickKey;
        countFingerprintsWithQuickKey(quickKey);
        size_t best = index_->order.size();
        const QMultiHash<size_t, Entry*>& images = index_->imagesByQuickKey;
        for (auto it = images.constFind(quickKey); it != images.cend() && it.key() == quickKey; ++it) {
            if (!carriesImage(it.value(), fingerprint))
                continue;
            const size_t position = positionOf(it.value());
            if (!target || position < best) {
                target = it.value();
                best = position;
            }
        }
    }
    if (!target)
        return;
    isBatchingMutation_ = true;
    const size_t position = positionOf(target);
    ClipboardItem updated = items_.at(static_cast<qsizetype>(position));
    updated.content().imageValue().setRecognizedText(text);
    replaceItemInPlace(position, std::move(updated));
    itemsChangedBy();
    isBatchingMutation_ = false;
    persist();
}

// Drops the requests whose clip is gone (or no longer carries the image it asked about), and the
// statuses and in-progress marks of images no clip carries any more.
void ClipboardStore::pruneOCRState()
{
    for (auto it = ocrRequests_.begin(); it != ocrRequests_.end();) {
        const QString& fingerprint = it.key();
        const QUuid itemID = it->itemID;
        bool alive = false;
        for (auto e = index_->byId.constFind(itemID); e != index_->byId.cend() && e.key() == itemID; ++e) {
            if (carriesImage(e.value(), fingerprint)) {
                alive = true;
                break;
            }
        }
        if (alive) {
            ++it;
            continue;
        }
        if (ocrStatuses_.remove(fingerprint))
            ocrStatusesDirty_ = true;
        if (ocrInProgress_.remove(fingerprint))
            ocrInProgressDirty_ = true;
        it = ocrRequests_.erase(it);
    }
    // (isLiveImage may count fingerprints, which takes them off the vanished list: go over a copy.)
    const QList<QString> vanished = vanishedFingerprints_.keys();
    for (const QString& fingerprint : vanished) {
        if (isLiveImage(fingerprint))
            continue;
        if (ocrStatuses_.remove(fingerprint))
            ocrStatusesDirty_ = true;
        if (ocrInProgress_.remove(fingerprint))
            ocrInProgressDirty_ = true;
    }
    vanishedFingerprints_.clear();
}

} // namespace tolvi
