#include "TolviCore/search/ClipboardSearchTextCache.h"

#include "TolviCore/search/ByteSearch.h"
#include "TolviCore/search/ClipboardSearch.h"
#include "TolviCore/text/TextCharacters.h"
#include "TolviCore/text/TextTransform.h"

#include <algorithm>

namespace tolvi {

namespace {

// Equal strings, recognised by identity first. When only the characters are equal, the entry
// takes the clip's copy so that the next check is an identity check again.
bool sameString(QString& held, const QString& current)
{
    if (held.constData() == current.constData() && held.size() == current.size())
        return true;
    if (held != current)
        return false;
    held = current;
    return true;
}

const char16_t* units(const QString& text)
{
    return reinterpret_cast<const char16_t*>(text.constData());
}

// A source application's part of a clip's searchable text, as it follows the content.
QString searchableTail(const ClipboardSourceApp& app)
{
    QString tail = QLatin1Char(' ') + app.name();
    if (app.bundleIdentifier())
        tail += QLatin1Char(' ') + *app.bundleIdentifier();
    return tail;
}

constexpr qsizetype prepareBatch = 256;
constexpr qsizetype tailLimit = 1024;

} // namespace

bool ClipboardSearchTextCache::foldsAsciiToLowerCase(const QLocale& locale)
{
    return TextCharacters::caseFolded(u"I", locale) == QLatin1String("i");
}

QByteArray ClipboardSearchTextCache::foldedApplication(const ClipboardSourceApp& app, const QLocale& locale)
{
    return foldedForMatching(searchableTail(app), locale);
}

namespace {

// Whether the query stands in `contentEnd` (the content's last bytes, ASCII capitals lower-cased
// first when `lowerAscii`) followed by the tail.
bool findAcrossJoint(const ClipboardSearchTextCache::Query& query, std::string_view contentEnd, bool lowerAscii,
                     const QByteArray& tail, std::string& joint)
{
    joint.assign(contentEnd);
    if (lowerAscii) {
        std::transform(joint.begin(), joint.end(), joint.begin(),
                       [](char c) { return c >= 'A' && c <= 'Z' ? char(c | 0x20) : c; });
    }
    joint.append(tail.constData(), size_t(tail.size()));
    return ByteSearch::find(joint.data(), joint.size(), query.folded.constData(), size_t(query.folded.size()));
}

// The last bytes of `content` a match across the joint can start in: it holds the space that
// begins the tail.
std::string_view jointReach(const ClipboardSearchTextCache::Query& query, const char* content, qsizetype size)
{
    const qsizetype reach = std::min(query.folded.size() - 1, size);
    return std::string_view(content + size - reach, size_t(reach));
}

} // namespace

bool ClipboardSearchTextCache::containsAcrossJoint(const Query& query, QByteArrayView foldedContent,
                                                   const QByteArray& tail, std::string& joint)
{
    return findAcrossJoint(query, jointReach(query, foldedContent.data(), foldedContent.size()), false, tail, joint);
}

bool ClipboardSearchTextCache::containsAcrossJoint(const Query& query, QStringView content, const QByteArray& tail,
                                                   std::string& joint)
{
    // A unit is a byte at least in UTF-8: as many units as the query has bytes reach far enough.
    qsizetype from = std::max<qsizetype>(0, content.size() - (query.folded.size() - 1));
    if (from > 0 && content.at(from).isLowSurrogate())
        --from;
    const QByteArray suffix = content.mid(from).toUtf8();
    return findAcrossJoint(query, std::string_view(suffix.constData(), size_t(suffix.size())), true, tail, joint);
}

bool ClipboardSearchTextCache::containsAcrossJoint(const Query& query, QLatin1StringView asciiContent,
                                                   const QByteArray& tail, std::string& joint)
{
    return findAcrossJoint(query, jointReach(query, asciiContent.data(), asciiContent.size()), true, tail, joint);
}

ClipboardSearchTextCache::ClipKey::ClipKey(const QUuid& id)
    : high((quint64(id.data1) << 32) | (quint64(id.data2) << 16) | id.data3)
{
    for (uchar byte : id.data4)
        low = (low << 8) | byte;
}

ClipboardSearchTextCache& ClipboardSearchTextCache::shared()
{
    static ClipboardSearchTextCache cache;
    return cache;
}

QByteArray ClipboardSearchTextCache::foldedForMatching(QStringView text, const QLocale& locale)
{
    return TextCharacters::caseFolded(text, locale).normalized(QString::NormalizationForm_C).toUtf8();
}

ClipboardSearchTextCache::Query::Query(QStringView trimmedQuery, const QLocale& locale)
    : folded(foldedForMatching(trimmedQuery, locale))
{
    const QString text = QString::fromUtf8(folded);
    units.assign(reinterpret_cast<const char16_t*>(text.constData()), size_t(text.size()));
    exactMasks.assign(units.size(), u'\0');
    caseMasks.reserve(units.size());
    for (char16_t u : units)
        caseMasks.push_back(u >= u'a' && u <= u'z' ? char16_t(0x20) : char16_t(0));
    if (std::all_of(units.cbegin(), units.cend(), [](char16_t u) { return u < 0x80; })) {
        asciiMasks = caseMasks;
        asciiByteMasks.assign(asciiMasks.cbegin(), asciiMasks.cend());
    }
    caseByteMasks.reserve(size_t(folded.size()));
    for (const char c : folded)
        caseByteMasks.push_back(c >= 'a' && c <= 'z' ? char(0x20) : char(0));
    hasSpace = folded.contains(' ');
}

qsizetype ClipboardSearchTextCache::size() const
{
    QMutexLocker lock(&mutex_);
    return qsizetype(slots_.size());
}

quint32 ClipboardSearchTextCache::find(const ClipKey& key, quint32 hint) const
{
    if (hint < slots_.size() && slots_[hint].key == key)
        return hint;
    if (table_.empty())
        return noSlot;
    const size_t mask = table_.size() - 1;
    for (size_t i = qHash(key) & mask;; i = (i + 1) & mask) {
        const quint32 held = table_[i];
        if (held == 0)
            return noSlot;
        if (slots_[held - 1].key == key)
            return held - 1;
    }
}

void ClipboardSearchTextCache::index(quint32 slot)
{
    if (slots_.size() * 2 > table_.size()) {
        reindex();
        return;
    }
    const size_t mask = table_.size() - 1;
    size_t i = qHash(slots_[slot].key) & mask;
    while (table_[i] != 0)
        i = (i + 1) & mask;
    table_[i] = slot + 1;
}

void ClipboardSearchTextCache::reindex()
{
    size_t length = 16;
    while (length < slots_.size() * 2)
        length *= 2;
    table_.assign(length, 0);
    const size_t mask = length - 1;
    for (quint32 slot = 0; slot < slots_.size(); ++slot) {
        size_t i = qHash(slots_[slot].key) & mask;
        while (table_[i] != 0)
            i = (i + 1) & mask;
        table_[i] = slot + 1;
    }
}

qsizetype ClipboardSearchTextCache::foldedBytes() const
{
    QMutexLocker lock(&mutex_);
    qsizetype bytes = 0;
    for (const Details& details : details_)
        bytes += details.folded.size();
    return bytes;
}

void ClipboardSearchTextCache::clear()
{
    QMutexLocker lock(&mutex_);
    slots_ = {};
    table_ = {};
    details_.clear();
    tails_.clear();
}

void ClipboardSearchTextCache::useLocale(const QString& name)
{
    if (name == localeName_)
        return;
    slots_ = {};
    table_ = {};
    details_.clear();
    tails_.clear();
    localeName_ = name;
}

bool ClipboardSearchTextCache::describes(Entry& entry, const ClipboardItem& item)
{
    const ClipboardContent& content = item.content();
    if (const QString* text = content.textIf())
        return !entry.isImage && sameString(entry.source, *text);
    if (!entry.isImage)
        return false;
    const ClipboardImage& image = content.imageValue();
    const auto& recognized = image.recognizedText();
    auto details = details_.find(ClipKey(item.id()));
    if (details == details_.end() || details->hasRecognizedText != recognized.has_value()
        || details->pixelWidth != image.pixelWidth() || details->pixelHeight != image.pixelHeight()
        || details->byteCount != image.byteCount() || (recognized && !sameString(entry.source, *recognized)))
        return false;
    // The folded text depends on nothing else: other bytes of the same count are described as
    // well, and the entry follows them from now on.
    std::shared_ptr<const void> bytes = image.bytesIdentity();
    if (details->image.lock() != bytes)
        details->image = bytes;
    return true;
}

ClipboardSearchTextCache::Built ClipboardSearchTextCache::build(const ClipboardItem& item, const QLocale& locale,
                                                               bool asciiFoldsToLowerCase)
{
    Built built;
    built.id = ClipKey(item.id());
    const ClipboardContent& content = item.content();
    if (const QString* text = content.textIf()) {
        built.entry.source = *text;
        if (ByteSearch::isAscii16(units(*text), size_t(text->size()))
            && (asciiFoldsToLowerCase || !text->contains(QLatin1Char('I')))) {
            built.entry.form = Form::ascii;
            return built;
        }
        const QString folded = TextCharacters::caseFolded(*text, locale).normalized(QString::NormalizationForm_C);
        if (folded == *text && QStringView(*text).isValidUtf16()) {
            built.entry.form = Form::unchanged;
            return built;
        }
        built.entry.form = Form::folded;
        QByteArray& copy = built.details.emplace().folded;
        copy = folded.toUtf8();
        copy.squeeze(); // the conversion leaves room for three bytes a character
        return built;
    }
    const ClipboardImage& image = content.imageValue();
    built.entry.isImage = true;
    built.entry.form = Form::folded;
    built.entry.source = image.recognizedText().value_or(QString());
    Details& details = built.details.emplace();
    details.folded = foldedForMatching(content.searchText(), locale);
    details.folded.squeeze();
    details.image = image.bytesIdentity();
    details.byteCount = image.byteCount();
    details.pixelWidth = image.pixelWidth();
    details.pixelHeight = image.pixelHeight();
    details.hasRecognizedText = image.recognizedText().has_value();
    return built;
}

quint32 ClipboardSearchTextCache::store(Built&& built, quint32 hint)
{
    if (built.details)
        details_.insert(built.id, std::move(*built.details));
    else
        details_.remove(built.id);
    quint32 slot = find(built.id, hint);
    if (slot != noSlot) {
        slots_[slot].entry = std::move(built.entry);
        return slot;
    }
    slot = quint32(slots_.size());
    slots_.push_back({built.id, std::move(built.entry)});
    index(slot);
    return slot;
}

ClipboardSearchTextCache::Entry& ClipboardSearchTextCache::entryFor(const ClipboardItem& item, const QLocale& locale,
                                                                   bool asciiFoldsToLowerCase, quint32& next)
{
    const ClipKey key(item.id());
    quint32 slot = find(key, next);
    if (slot == noSlot || !describes(slots_[slot].entry, item))
        slot = store(build(item, locale, asciiFoldsToLowerCase), slot == noSlot ? next : slot);
    next = slot + 1;
    return slots_[slot].entry;
}

const QByteArray& ClipboardSearchTextCache::foldedTail(const ClipboardSourceApp& app, const QLocale& locale)
{
    auto named = tails_.find(app.name());
    if (named == tails_.end()) {
        if (tails_.size() >= tailLimit)
            tails_.clear();
        named = tails_.insert(app.name(), {});
    }
    for (const auto& [bundle, folded] : *named) {
        if (bundle == app.bundleIdentifier())
            return folded;
    }
    named->emplace_back(app.bundleIdentifier(), foldedApplication(app, locale));
    return named->back().second;
}

void ClipboardSearchTextCache::prepare(const QList<ClipboardItem>& items, const std::vector<qsizetype>& positions)
{
    const QLocale locale;
    const QString localeName = locale.name();
    const bool asciiFoldsToLowerCase = foldsAsciiToLowerCase(locale);
    std::vector<qsizetype> needed;
    std::vector<Built> built;
    quint32 next = 0;
    for (size_t start = 0; start < positions.size(); start += size_t(prepareBatch)) {
        const size_t end = std::min(positions.size(), start + size_t(prepareBatch));
        needed.clear();
        {
            QMutexLocker lock(&mutex_);
            useLocale(localeName);
            if (start == 0)
                slots_.reserve(slots_.size() + positions.size());
            for (size_t i = start; i < end; ++i) {
                const ClipboardItem& item = items.at(positions[i]);
                const quint32 slot = find(ClipKey(item.id()), next);
                if (slot == noSlot || !describes(slots_[slot].entry, item))
                    needed.push_back(positions[i]);
                else
                    next = slot + 1;
            }
        }
        if (needed.empty())
            continue;
        built.clear();
        for (const qsizetype position : needed)
            built.push_back(build(items.at(position), locale, asciiFoldsToLowerCase));
        QMutexLocker lock(&mutex_);
        if (localeName_ != localeName)
            return; // a search in another locale started over meanwhile
        for (size_t i = 0; i < built.size(); ++i) {
            const ClipboardItem& item = items.at(needed[i]);
            const quint32 slot = find(built[i].id, noSlot);
            if (slot == noSlot || !describes(slots_[slot].entry, item))
                store(std::move(built[i]), slot);
        }
    }
}

void ClipboardSearchTextCache::finishPass()
{
    ++pass_;
    if (pass_ % sweepInterval != 0)
        return;
    // An entry whose text or image only the entry still holds belongs to a clip that is gone or
    // changed; it is dropped (a changed clip builds it again when it is searched).
    const size_t before = slots_.size();
    auto gone = [this](const Slot& slot) {
        if (!slot.entry.isImage)
            return slot.entry.source.isDetached();
        auto details = details_.find(slot.key);
        return details == details_.end() || details->image.expired();
    };
    for (const Slot& slot : slots_) {
        if (gone(slot))
            details_.remove(slot.key);
    }
    slots_.erase(std::remove_if(slots_.begin(), slots_.end(), gone), slots_.end());
    if (slots_.size() != before)
        reindex();
}

ClipboardSearchTextCache::Pass::Pass(ClipboardSearchTextCache& cache)
    : cache_(cache), asciiFoldsToLowerCase_(foldsAsciiToLowerCase(locale_))
{
    cache_.mutex_.lock();
    cache_.useLocale(locale_.name());
}

ClipboardSearchTextCache::Pass::~Pass()
{
    cache_.finishPass();
    cache_.mutex_.unlock();
}

void ClipboardSearchTextCache::Pass::prefetch(const ClipboardItem& item)
{
    __builtin_prefetch(&item.id());
    __builtin_prefetch(&item.content());
}

void ClipboardSearchTextCache::Pass::prefetchText(const ClipboardItem& item)
{
    if (const QString* text = item.content().textIf())
        __builtin_prefetch(text->constData());
}

bool ClipboardSearchTextCache::Pass::contains(const ClipboardItem& item, const Query& query)
{
    Entry& entry = cache_.entryFor(item, locale_, asciiFoldsToLowerCase_, next_);
    const QString* text = item.content().textIf();
    const QByteArray* folded = nullptr;
    switch (entry.form) {
    case Form::ascii:
        if (!query.asciiMasks.empty()
            && ByteSearch::findMasked16(units(*text), size_t(text->size()), query.units.data(),
                                        query.asciiMasks.data(), query.units.size()))
            return true;
        break;
    case Form::unchanged:
        if (ByteSearch::findMasked16(units(*text), size_t(text->size()), query.units.data(), query.exactMasks.data(),
                                     query.units.size()))
            return true;
        break;
    case Form::folded:
        folded = &cache_.details_.find(ClipKey(item.id()))->folded;
        if (ByteSearch::find(folded->constData(), size_t(folded->size()), query.folded.constData(),
                             size_t(query.folded.size())))
            return true;
        break;
    }

    const auto& app = item.sourceApp();
    if (!app)
        return false;
    const QByteArray& tail = cache_.foldedTail(*app, locale_);
    if (ByteSearch::find(tail.constData(), size_t(tail.size()), query.folded.constData(), size_t(query.folded.size())))
        return true;
    if (!query.hasSpace)
        return false;
    // An unchanged text has no capital ASCII letter to lower-case.
    return folded ? containsAcrossJoint(query, QByteArrayView(*folded), tail, joint_)
                  : containsAcrossJoint(query, QStringView(*text), tail, joint_);
}

bool ClipboardSearchTextCache::Pass::looksLikeCode(const ClipboardItem& item)
{
    const QString* text = item.content().textIf();
    if (!text)
        return false;
    Entry& entry = cache_.entryFor(item, locale_, asciiFoldsToLowerCase_, next_);
    if (entry.looksLikeCode < 0)
        entry.looksLikeCode = ClipboardSearch::looksLikeCode(*text) ? 1 : 0;
    return entry.looksLikeCode == 1;
}

bool ClipboardSearchTextCache::Pass::isWebURL(const ClipboardItem& item)
{
    const QString* text = item.content().textIf();
    if (!text)
        return false;
    Entry& entry = cache_.entryFor(item, locale_, asciiFoldsToLowerCase_, next_);
    if (entry.isWebURL < 0)
        entry.isWebURL = TextTransform::isWebURL(*text) ? 1 : 0;
    return entry.isWebURL == 1;
}

} // namespace tolvi
