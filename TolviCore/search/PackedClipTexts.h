#pragma once

#include "TolviCore/model/ClipboardItem.h"
#include "TolviCore/search/ClipboardSearchTextCache.h"

#include <QByteArray>
#include <QList>
#include <QLocale>
#include <QString>

#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tolvi {

// What searching one clip list needs, in the list's order, made once for the list (meant for a
// background thread) and then searched by any number of threads at once. Each clip has a record
// of 16 bytes that says where its searchable text stands and how it is read, and a byte of facts
// about it; the search reads the records one after another.
// - An ASCII text is searched where it stands (as UTF-16, or as the ASCII bytes it is held as),
//   ASCII letters without regard to case (in Turkish and Azerbaijani, where "I" folds to a dotless
//   i, only an ASCII text without a capital I is).
// - So is any other text that folding changes in nothing but the case of ASCII letters ("Café",
//   "Zürich", a capital letter before "中文"), as UTF-16 or as the UTF-8 bytes it is held as.
// - Only a text that folding changes otherwise, and an image's search text, keeps a folded copy
//   (UTF-8, so that a substring test is a plain byte search), in blocks of `blockSize`.
// The source application's part of a clip's searchable text (its name and bundle identifier) is
// folded once per application. Whether a text clip looks like code or is a web address is worked
// out the first time a search asks, by whichever thread asks, and kept.
// A pack made from an earlier one takes over the records of the clips that are the same in both
// and shares the earlier pack's blocks; once more than half of what the blocks hold is not used
// any more, the folded copies still used are copied into new blocks.
// The pack holds a shared copy of its list, so the texts it reads in place stay alive, and is not
// changed once made (apart from the facts worked out on demand).
class PackedClipTexts {
public:
    using Query = ClipboardSearchTextCache::Query;

    // The pack of `items` in the current locale.
    static std::shared_ptr<const PackedClipTexts> pack(const QList<ClipboardItem>& items);
    // The pack of `items` in the current locale, made from `earlier`. With a `changeLimit`:
    // nullptr when more clips than that would have to be worked out anew.
    static std::shared_ptr<const PackedClipTexts> repack(const PackedClipTexts& earlier,
                                                         const QList<ClipboardItem>& items,
                                                         std::optional<qsizetype> changeLimit = std::nullopt);

    PackedClipTexts(const PackedClipTexts&) = delete;
    PackedClipTexts& operator=(const PackedClipTexts&) = delete;
    ~PackedClipTexts();

    const QList<ClipboardItem>& items() const { return items_; }
    qsizetype size() const { return items_.size(); }
    // The name of the locale the pack was folded in.
    const QString& localeName() const { return localeName_; }
    // Whether this is the pack of that very list (its storage, not only equal clips).
    bool isPackOf(const QList<ClipboardItem>& items) const
    {
        return items.constData() == items_.constData() && items.size() == items_.size();
    }
    // Where in the pack's list the clips of `list` stand, when `list` holds some of the pack's
    // clips in the pack's order (as an earlier search's result does); false when it does not.
    bool placesOf(const QList<ClipboardItem>& list, std::vector<quint32>& places) const;

    // Whether the searchable text of the clip at `place`, folded, contains the (non-empty) folded
    // query. `joint` is room to work in.
    bool contains(quint32 place, const Query& query, std::string& joint) const;
    bool isImage(quint32 place) const { return (records_[place].kind & imageBit) != 0; }
    bool looksLikeCode(quint32 place) const; // false for images
    bool isWebURL(quint32 place) const;      // false for images
    // Asks the processor for the start of the clip's text, ahead of searching it.
    void prefetch(quint32 place) const
    {
        const Record& record = records_[place];
        const char* text = static_cast<const char*>(record.text);
        __builtin_prefetch(text);
    }

    // For tests and measurements.
    qsizetype foldedCopyCount() const; // clips whose folded copy the pack holds
    qsizetype foldedBytes() const;     // the bytes of those copies
    qsizetype blockBytes() const;      // the bytes of the blocks held
    qsizetype blockCount() const { return qsizetype(blocks_.size()); }
    // How many clips were worked out for this pack rather than taken over from an earlier one.
    qsizetype workedOutCount() const { return workedOut_; }

    static constexpr size_t blockSize = 256 * 1024;

private:
    enum class Form : quint32 {
        ascii = 0,      // the clip's UTF-16 text, only ASCII
        inPlace = 1,    // the clip's UTF-16 text, folded by lower-casing its ASCII letters
        folded = 2,     // a folded copy in UTF-8
        plain = 3,      // worked out at every search (a text too long for a record, far too many apps)
        asciiBytes = 4, // the clip's text held as ASCII bytes
        utf8Bytes = 5,  // the clip's text held as UTF-8 bytes beyond ASCII, folded by lower-casing its ASCII letters
    };
    static constexpr quint32 formMask = 7;
    static constexpr quint32 imageBit = 8;
    static constexpr quint32 tailShift = 8; // the application's tail + 1 above, 0 for none
    static constexpr quint32 tailLimit = (1u << (32 - tailShift)) - 1;

    struct Record {
        const void* text = nullptr; // char16_t units, or the folded copy's or the ASCII text's bytes
        quint32 length = 0;         // units or bytes
        quint32 kind = 0;           // form, image bit, tail
    };
    static_assert(sizeof(Record) == 16);

    // The facts worked out on demand, a byte per clip.
    enum Fact : quint8 { codeKnown = 1, code = 2, linkKnown = 4, link = 8 };

    struct Block {
        std::unique_ptr<char[]> bytes;
        size_t size = 0;
    };

    class Builder;
    PackedClipTexts() = default;
    static Form form(const Record& record) { return Form(record.kind & formMask); }
    bool fact(quint32 place, Fact known, Fact value, bool (*workOut)(const QString&)) const;
    // Copies the folded copies still used out of blocks that hold too little that is used.
    void compact();
    // How many small blocks (of a few clips each) a pack keeps before it merges them.
    static constexpr size_t smallBlockLimit = 64;
    bool plainContains(quint32 place, const Query& query) const;

    QList<ClipboardItem> items_;
    std::vector<Record> records_;
    mutable std::vector<quint8> facts_; // written through std::atomic_ref
    std::vector<std::shared_ptr<const Block>> blocks_;
    // The folded " name bundle-identifier" of each application, and the application.
    std::vector<QByteArray> tails_;
    std::vector<ClipboardSourceApp> apps_;
    QLocale locale_;
    QString localeName_;
    qsizetype workedOut_ = 0;
};

} // namespace tolvi
