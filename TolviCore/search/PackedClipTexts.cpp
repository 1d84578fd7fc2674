#include "TolviCore/search/PackedClipTexts.h"

#include "TolviCore/search/ByteSearch.h"
#include "TolviCore/search/ClipboardSearch.h"
#include "TolviCore/text/TextCharacters.h"
#include "TolviCore/text/TextTransform.h"

#include <QHash>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <limits>

namespace tolvi {

namespace {

const char16_t* unitsOf(const QString& text)
{
    return reinterpret_cast<const char16_t*>(text.constData());
}

// Whether `folded`, the text folded, is the text with its ASCII letters lower-cased.
bool isAsciiLowerCased(const QString& text, const QString& folded)
{
    if (folded.size() != text.size())
        return false;
    const char16_t* from = unitsOf(text);
    const char16_t* to = unitsOf(folded);
    for (qsizetype i = 0; i < text.size(); ++i) {
        const char16_t u = from[i];
        if (to[i] != (u >= u'A' && u <= u'Z' ? char16_t(u | 0x20) : u))
            return false;
    }
    return true;
}

// Whether two contents are texts held in the same storage, whose records are alike.
bool sameTextStorage(const ClipboardContent& a, const ClipboardContent& b)
{
    const std::optional<QByteArrayView> bytesA = a.utf8TextIf();
    const std::optional<QByteArrayView> bytesB = b.utf8TextIf();
    if (bytesA || bytesB)
        return bytesA && bytesB && bytesA->constData() == bytesB->constData() && bytesA->size() == bytesB->size();
    const QString* text = a.textIf();
    const QString* other = b.textIf();
    return text && other && text->constData() == other->constData() && text->size() == other->size();
}

// How far ahead in either list a repack looks for where the two lists meet again before it looks
// the clip up among all the earlier ones.
constexpr qsizetype resyncReach = 16;

} // namespace

// Works out records for a pack: the clips' forms, their folded copies kept in the pack's blocks,
// their applications' tails.
class PackedClipTexts::Builder {
public:
    explicit Builder(PackedClipTexts& pack)
        : pack_(pack), asciiFoldsToLowerCase_(ClipboardSearchTextCache::foldsAsciiToLowerCase(pack.locale_))
    {
    }

    Record workOut(const ClipboardItem& item)
    {
        Record record;
        const ClipboardContent& content = item.content();
        if (const std::optional<QByteArrayView> ascii = content.asciiTextIf()) {
            const size_t length = size_t(ascii->size());
            if (length > std::numeric_limits<quint32>::max())
                record = {nullptr, 0, quint32(Form::plain)};
            else if (asciiFoldsToLowerCase_ || !ascii->contains('I'))
                record = {ascii->constData(), quint32(length), quint32(Form::asciiBytes)};
            else // not turned into a QString for good: this form is made once
                record = foldedRecord(
                    ClipboardSearchTextCache::foldedForMatching(QString::fromLatin1(*ascii), pack_.locale_), 0);
        } else if (const std::optional<QByteArrayView> utf8 = content.utf8TextIf()) {
            // Not turned into a QString for good either: only a text that may change beyond ASCII
            // when folded is looked at as one, for the moment.
            const size_t length = size_t(utf8->size());
            const Record inPlace = {utf8->constData(), quint32(length), quint32(Form::utf8Bytes)};
            if (length > std::numeric_limits<quint32>::max()) {
                record = {nullptr, 0, quint32(Form::plain)};
            } else if ((asciiFoldsToLowerCase_ || !utf8->contains('I'))
                       && TextCharacters::foldsToItselfBeyondAscii(std::string_view(utf8->data(), length))) {
                record = inPlace;
            } else {
                const QString text = content.transientText();
                const QString folded =
                    TextCharacters::caseFolded(text, pack_.locale_).normalized(QString::NormalizationForm_C);
                record = isAsciiLowerCased(text, folded) ? inPlace : foldedRecord(folded.toUtf8(), 0);
            }
        } else if (const QString* text = content.textIf()) {
            const char16_t* units = unitsOf(*text);
            const size_t length = size_t(text->size());
            if (ByteSearch::isAscii16(units, length)
                && (asciiFoldsToLowerCase_ || !text->contains(QLatin1Char('I')))) {
                record = {units, quint32(length), quint32(Form::ascii)};
            } else {
                const QString folded =
                    TextCharacters::caseFolded(*text, pack_.locale_).normalized(QString::NormalizationForm_C);
                if (QStringView(*text).isValidUtf16() && isAsciiLowerCased(*text, folded))
                    record = {units, quint32(length), quint32(Form::inPlace)};
                else
                    record = foldedRecord(folded.toUtf8(), 0);
            }
            if (length > std::numeric_limits<quint32>::max())
                record = {nullptr, 0, quint32(Form::plain)};
        } else {
            record = foldedRecord(ClipboardSearchTextCache::foldedForMatching(content.searchText(), pack_.locale_),
                                  imageBit);
        }
        return withTail(record, item.sourceApp());
    }

    // The record with the tail of the application given.
    Record withTail(Record record, const std::optional<ClipboardSourceApp>& app)
    {
        record.kind &= (1u << tailShift) - 1;
        if (!app)
            return record;
        const quint32 tail = tailOf(*app);
        if (tail > tailLimit) {
            record.kind = (record.kind & imageBit) | quint32(Form::plain);
            record.text = nullptr;
            record.length = 0;
            return record;
        }
        record.kind |= tail << tailShift;
        return record;
    }

    // A copy of the bytes in the pack's blocks (nullptr for none).
    const char* keep(const char* bytes, size_t size)
    {
        if (size == 0)
            return nullptr;
        if (size >= blockSize / 4) {
            // A long text has a block of its own, so no block is left mostly empty for it.
            auto block = std::make_shared<Block>();
            block->bytes = std::make_unique_for_overwrite<char[]>(size);
            block->size = size;
            std::memcpy(block->bytes.get(), bytes, size);
            pack_.blocks_.push_back(block);
            return block->bytes.get();
        }
        if (!current_ || used_ + size > current_->size) {
            finishBlock();
            current_ = std::make_shared<Block>();
            current_->bytes = std::make_unique_for_overwrite<char[]>(blockSize);
            current_->size = blockSize;
            used_ = 0;
            pack_.blocks_.push_back(current_);
        }
        char* at = current_->bytes.get() + used_;
        std::memcpy(at, bytes, size);
        used_ += size;
        return at;
    }

    // Gives the block being filled back what it does not use.
    void finishBlock()
    {
        if (!current_ || used_ == current_->size) {
            current_.reset();
            return;
        }
        auto exact = std::make_shared<Block>();
        exact->bytes = std::make_unique_for_overwrite<char[]>(std::max<size_t>(used_, 1));
        exact->size = used_;
        std::memcpy(exact->bytes.get(), current_->bytes.get(), used_);
        const char* from = current_->bytes.get();
        for (Record& record : pack_.records_) {
            const char* text = static_cast<const char*>(record.text);
            if (form(record) == Form::folded && text >= from && text < from + used_)
                record.text = exact->bytes.get() + (text - from);
        }
        std::replace(pack_.blocks_.begin(), pack_.blocks_.end(), std::shared_ptr<const Block>(current_),
                     std::shared_ptr<const Block>(exact));
        current_.reset();
    }

private:
    Record foldedRecord(const QByteArray& folded, quint32 flags)
    {
        if (size_t(folded.size()) > std::numeric_limits<quint32>::max())
            return {nullptr, 0, quint32(Form::plain) | flags};
        return {keep(folded.constData(), size_t(folded.size())), quint32(folded.size()), quint32(Form::folded) | flags};
    }

    // The number of the application's tail plus one, made when the pack has none yet.
    quint32 tailOf(const ClipboardSourceApp& app)
    {
        // Clips from one application tend to come together.
        if (last_ != 0 && pack_.apps_[last_ - 1] == app)
            return last_;
        if (!indexed_) {
            for (quint32 i = 0; i < pack_.apps_.size(); ++i)
                byName_[pack_.apps_[i].name()].push_back(i + 1);
            indexed_ = true;
        }
        std::vector<quint32>& named = byName_[app.name()];
        for (const quint32 tail : named) {
            if (pack_.apps_[tail - 1] == app)
                return last_ = tail;
        }
        pack_.apps_.push_back(app);
        pack_.tails_.push_back(ClipboardSearchTextCache::foldedApplication(app, pack_.locale_));
        named.push_back(quint32(pack_.apps_.size()));
        return last_ = quint32(pack_.apps_.size());
    }

    PackedClipTexts& pack_;
    const bool asciiFoldsToLowerCase_;
    std::shared_ptr<Block> current_;
    size_t used_ = 0;
    QHash<QString, std::vector<quint32>> byName_;
    bool indexed_ = false;
    quint32 last_ = 0;
};

PackedClipTexts::~PackedClipTexts() = default;

std::shared_ptr<const PackedClipTexts> PackedClipTexts::pack(const QList<ClipboardItem>& items)
{
    std::shared_ptr<PackedClipTexts> pack(new PackedClipTexts);
    pack->items_ = items;
    pack->localeName_ = pack->locale_.name();
    pack->records_.resize(size_t(items.size()));
    pack->facts_.assign(size_t(items.size()), 0);
    Builder builder(*pack);
    for (qsizetype i = 0; i < items.size(); ++i) {
        if (i + 8 < items.size())
            __builtin_prefetch(&items.at(i + 8).content());
        pack->records_[size_t(i)] = builder.workOut(items.at(i));
    }
    builder.finishBlock();
    pack->workedOut_ = items.size();
    return pack;
}

std::shared_ptr<const PackedClipTexts> PackedClipTexts::repack(const PackedClipTexts& earlier,
                                                               const QList<ClipboardItem>& items,
                                                               std::optional<qsizetype> changeLimit)
{
    if (earlier.localeName_ != QLocale().name()) {
        if (changeLimit && items.size() > *changeLimit)
            return nullptr;
        return pack(items);
    }
    std::shared_ptr<PackedClipTexts> pack(new PackedClipTexts);
    pack->items_ = items;
    pack->locale_ = earlier.locale_;
    pack->localeName_ = earlier.localeName_;
    pack->tails_ = earlier.tails_;
    pack->apps_ = earlier.apps_;
    pack->blocks_ = earlier.blocks_;
    const size_t count = size_t(items.size());
    pack->records_.resize(count);
    pack->facts_.assign(count, 0);
    Builder builder(*pack);

    const QList<ClipboardItem>& before = earlier.items_;
    const size_t beforeCount = size_t(before.size());
    auto takeOver = [&](size_t i, size_t j) {
        pack->records_[i] = earlier.records_[j];
        pack->facts_[i] = std::atomic_ref<quint8>(earlier.facts_[j]).load(std::memory_order_relaxed);
    };
    qsizetype workedOut = 0;
    auto workOut = [&](size_t i) {
        pack->records_[i] = builder.workOut(items.at(qsizetype(i)));
        ++workedOut;
    };
    // Both lists are walked side by side. A clip that is the same record in both is taken over.
    // Where they part, the clip of the new list is looked for a little further on in the earlier
    // list (clips taken out before it, or it moved up a little). A clip changed in place (the same
    // id, a new record) keeps its form, folded copy and facts when its text is the same one. A clip
    // put in before the earlier list's next one is worked out. Otherwise the earlier clips are
    // looked up by their records (an index made only then): a clip found there is taken over and
    // the walk goes on after it, any other is worked out.
    auto earlierAt = [&](size_t k) -> const ClipboardItem& { return before.at(qsizetype(k)); };
    auto nowAt = [&](size_t k) -> const ClipboardItem& { return items.at(qsizetype(k)); };
    QHash<const QUuid*, quint32> earlierPlaces; // a clip's record by where its id stands
    auto earlierPlace = [&](const ClipboardItem& item) -> std::optional<size_t> {
        if (earlierPlaces.isEmpty()) {
            earlierPlaces.reserve(qsizetype(beforeCount));
            for (size_t k = 0; k < beforeCount; ++k)
                earlierPlaces.insert(&earlierAt(k).id(), quint32(k));
        }
        const auto found = earlierPlaces.constFind(&item.id());
        return found == earlierPlaces.cend() ? std::nullopt : std::optional<size_t>(*found);
    };
    size_t i = 0;
    size_t j = 0;
    while (i < count) {
        if (changeLimit && workedOut > *changeLimit)
            return nullptr;
        const ClipboardItem& item = nowAt(i);
        if (j < beforeCount && item.sharesDataWith(earlierAt(j))) {
            takeOver(i++, j++);
            continue;
        }
        if (j < beforeCount) {
            const size_t reach = std::min(beforeCount, j + 1 + size_t(resyncReach));
            size_t further = j + 1;
            while (further < reach && !item.sharesDataWith(earlierAt(further)))
                ++further;
            if (further < reach) {
                takeOver(i, further);
                // Clips were taken out when the next clip follows it in both lists; else it moved up.
                if (i + 1 < count && further + 1 < beforeCount
                    && nowAt(i + 1).sharesDataWith(earlierAt(further + 1)))
                    j = further + 1;
                ++i;
                continue;
            }
            const ClipboardItem& earlierItem = earlierAt(j);
            if (item.id() == earlierItem.id()) {
                if (sameTextStorage(item.content(), earlierItem.content())) {
                    takeOver(i, j);
                    pack->records_[i] = builder.withTail(pack->records_[i], item.sourceApp());
                } else {
                    workOut(i);
                }
                ++i;
                ++j;
                continue;
            }
            const size_t ahead = std::min(count, i + 1 + size_t(resyncReach));
            size_t later = i + 1;
            while (later < ahead && !nowAt(later).sharesDataWith(earlierItem))
                ++later;
            if (later < ahead) {
                workOut(i++);
                continue;
            }
        }
        if (const std::optional<size_t> place = earlierPlace(item)) {
            takeOver(i++, *place);
            j = std::max(j, *place + 1);
        } else {
            workOut(i++);
        }
    }
    if (changeLimit && workedOut > *changeLimit)
        return nullptr;
    builder.finishBlock();
    pack->workedOut_ = workedOut;

    pack->compact();
    return pack;
}

void PackedClipTexts::compact()
{
    // Blocks more than half unused: every copy still used moves to new blocks.
    if (foldedBytes() * 2 < blockBytes()) {
        const std::vector<std::shared_ptr<const Block>> old = std::exchange(blocks_, {});
        Builder compactor(*this);
        for (Record& record : records_) {
            if (form(record) == Form::folded)
                record.text = compactor.keep(static_cast<const char*>(record.text), record.length);
        }
        compactor.finishBlock();
        return;
    }
    // Each pack made from an earlier one may add a small block of its own: once there are many,
    // their copies move to full blocks (the blocks of long texts stay as they are).
    std::vector<std::pair<const char*, const char*>> small; // the small blocks' bytes, by address
    for (const auto& block : blocks_) {
        if (block->size < blockSize / 4)
            small.emplace_back(block->bytes.get(), block->bytes.get() + block->size);
    }
    if (small.size() <= smallBlockLimit)
        return;
    std::sort(small.begin(), small.end());
    std::vector<std::shared_ptr<const Block>> merged; // held until their copies are made
    std::erase_if(blocks_, [&merged](const auto& block) {
        if (block->size >= blockSize / 4)
            return false;
        merged.push_back(block);
        return true;
    });
    Builder compactor(*this);
    for (Record& record : records_) {
        const char* text = static_cast<const char*>(record.text);
        if (form(record) != Form::folded || !text)
            continue;
        auto block = std::upper_bound(small.cbegin(), small.cend(), text,
                                      [](const char* at, const auto& range) { return at < range.first; });
        if (block != small.cbegin() && text < std::prev(block)->second)
            record.text = compactor.keep(text, record.length);
    }
    compactor.finishBlock();
}

bool PackedClipTexts::placesOf(const QList<ClipboardItem>& list, std::vector<quint32>& places) const
{
    places.clear();
    if (list.size() > items_.size())
        return false;
    places.reserve(size_t(list.size()));
    const ClipboardItem* all = items_.constData();
    const qsizetype count = items_.size();
    const qsizetype listCount = list.size();
    qsizetype at = 0;
    for (qsizetype k = 0; k < listCount; ++k) {
        // The clips after this one still have to fit in what is left of the pack.
        const qsizetype last = count - (listCount - k);
        const ClipboardItem& item = list.at(k);
        while (at <= last && !all[at].sharesDataWith(item))
            ++at;
        if (at > last)
            return false;
        places.push_back(quint32(at++));
    }
    return true;
}

bool PackedClipTexts::contains(quint32 place, const Query& query, std::string& joint) const
{
    const Record& record = records_[place];
    const Form recordForm = form(record);
    switch (recordForm) {
    case Form::ascii:
        if (!query.asciiMasks.empty()
            && ByteSearch::findMasked16(static_cast<const char16_t*>(record.text), record.length, query.units.data(),
                                        query.asciiMasks.data(), query.units.size()))
            return true;
        break;
    case Form::inPlace:
        if (ByteSearch::findMasked16(static_cast<const char16_t*>(record.text), record.length, query.units.data(),
                                     query.caseMasks.data(), query.units.size()))
            return true;
        break;
    case Form::folded:
        if (ByteSearch::find(static_cast<const char*>(record.text), record.length, query.folded.constData(),
                             size_t(query.folded.size())))
            return true;
        break;
    case Form::asciiBytes:
        if (!query.asciiByteMasks.empty()
            && ByteSearch::findMasked8(static_cast<const char*>(record.text), record.length, query.folded.constData(),
                                       query.asciiByteMasks.data(), query.asciiByteMasks.size()))
            return true;
        break;
    case Form::utf8Bytes:
        if (ByteSearch::findMasked8(static_cast<const char*>(record.text), record.length, query.folded.constData(),
                                    query.caseByteMasks.data(), query.caseByteMasks.size()))
            return true;
        break;
    case Form::plain:
        return plainContains(place, query);
    }
    const quint32 tail = record.kind >> tailShift;
    if (tail == 0)
        return false;
    const QByteArray& folded = tails_[tail - 1];
    if (ByteSearch::find(folded.constData(), size_t(folded.size()), query.folded.constData(),
                         size_t(query.folded.size())))
        return true;
    if (!query.hasSpace)
        return false;
    if (recordForm == Form::folded) {
        return ClipboardSearchTextCache::containsAcrossJoint(
            query, QByteArrayView(static_cast<const char*>(record.text), qsizetype(record.length)), folded, joint);
    }
    if (recordForm == Form::asciiBytes || recordForm == Form::utf8Bytes) {
        return ClipboardSearchTextCache::containsAcrossJoint(
            query, QLatin1StringView(static_cast<const char*>(record.text), qsizetype(record.length)), folded, joint);
    }
    return ClipboardSearchTextCache::containsAcrossJoint(
        query, QStringView(static_cast<const char16_t*>(record.text), qsizetype(record.length)), folded, joint);
}

bool PackedClipTexts::plainContains(quint32 place, const Query& query) const
{
    const ClipboardItem& item = items_.at(place);
    QByteArray folded = ClipboardSearchTextCache::foldedForMatching(item.content().searchText(), locale_);
    if (const auto& app = item.sourceApp())
        folded += ClipboardSearchTextCache::foldedApplication(*app, locale_);
    return ByteSearch::find(folded.constData(), size_t(folded.size()), query.folded.constData(),
                            size_t(query.folded.size()));
}

bool PackedClipTexts::fact(quint32 place, Fact known, Fact value, bool (*workOut)(const QString&)) const
{
    if (isImage(place))
        return false;
    std::atomic_ref<quint8> facts(facts_[place]);
    const quint8 held = facts.load(std::memory_order_relaxed);
    if (held & known)
        return (held & value) != 0;
    // A text held as bytes is not turned into a QString for good for this.
    const bool yes = workOut(items_.at(place).content().transientText());
    facts.fetch_or(quint8(known | (yes ? value : 0)), std::memory_order_relaxed);
    return yes;
}

bool PackedClipTexts::looksLikeCode(quint32 place) const
{
    return fact(place, codeKnown, code, [](const QString& text) { return ClipboardSearch::looksLikeCode(text); });
}

bool PackedClipTexts::isWebURL(quint32 place) const
{
    return fact(place, linkKnown, link, [](const QString& text) { return TextTransform::isWebURL(text); });
}

qsizetype PackedClipTexts::foldedCopyCount() const
{
    return std::count_if(records_.cbegin(), records_.cend(), [](const Record& r) { return form(r) == Form::folded; });
}

qsizetype PackedClipTexts::foldedBytes() const
{
    qsizetype bytes = 0;
    for (const Record& record : records_)
        bytes += form(record) == Form::folded ? qsizetype(record.length) : 0;
    return bytes;
}

qsizetype PackedClipTexts::blockBytes() const
{
    qsizetype bytes = 0;
    for (const auto& block : blocks_)
        bytes += qsizetype(block->size);
    return bytes;
}

} // namespace tolvi
