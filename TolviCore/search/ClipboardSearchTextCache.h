#pragma once

#include "TolviCore/model/ClipboardItem.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QLocale>
#include <QMutex>
#include <QString>
#include <QUuid>

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tolvi {

// What search works out once per clip revision and keeps between keystrokes, kept small: a text
// is searched where it stands whenever caseless matching can read it there, and only a text that
// folding changes keeps a folded copy.
// - A text of ASCII characters only is searched in place, ASCII letters matched without regard
//   to case (in Turkish and Azerbaijani, where "I" folds to a dotless i, only ASCII texts without
//   a capital I are).
// - A text that folding leaves as it is is searched in place for the folded query.
// - Any other text, and an image's search text, keeps its folded copy (as UTF-8, so that a
//   substring test is a plain byte search).
// The source application's part of a clip's searchable text (its name and bundle identifier) is
// folded once per application. Whether a text clip looks like code or is a web address is kept
// too, once asked.
// Entries are keyed by clip id and checked against the clip on every use: a changed text, image
// or recognised text builds the entry again. The text an entry describes is held as a shared
// copy, so an unchanged clip is recognised by its string's identity without comparing
// characters; the entry of a clip that nothing else holds any more is dropped now and then.
class ClipboardSearchTextCache {
public:
    ClipboardSearchTextCache() = default;
    ClipboardSearchTextCache(const ClipboardSearchTextCache&) = delete;
    ClipboardSearchTextCache& operator=(const ClipboardSearchTextCache&) = delete;

    // The cache that ClipboardSearch uses.
    static ClipboardSearchTextCache& shared();

    // The searchable text folded for caseless matching in the locale's rules: full case folding
    // (so "ß" matches "SS"), then canonical composition. Diacritics are kept.
    static QByteArray foldedForMatching(QStringView text, const QLocale& locale);

    // A query folded for matching, in the forms the clips are searched in.
    struct Query {
        QByteArray folded;          // UTF-8; empty for no query
        std::u16string units;       // the same as UTF-16
        std::u16string asciiMasks;  // for ASCII texts: 0x20 under lower-case letters; empty when the query is not ASCII
        std::u16string exactMasks;  // all 0
        std::u16string caseMasks;   // 0x20 under the ASCII lower-case letters, 0 elsewhere
        std::string asciiByteMasks; // asciiMasks for the bytes of `folded` (empty as asciiMasks is)
        std::string caseByteMasks;  // 0x20 under the ASCII lower-case letters of `folded`, 0 elsewhere
        bool hasSpace = false;

        Query() = default;
        Query(QStringView trimmedQuery, const QLocale& locale);
        bool isEmpty() const { return folded.isEmpty(); }
    };

    // Whether folding in the locale turns ASCII into its lower case and nothing else (all but the
    // Turkic languages, where a capital I folds to a dotless i).
    static bool foldsAsciiToLowerCase(const QLocale& locale);
    // A source application's part of a clip's searchable text, " name bundle-identifier", folded.
    static QByteArray foldedApplication(const ClipboardSourceApp& app, const QLocale& locale);
    // Whether the query, which holds a space, stands across the joint of a clip's content and its
    // folded application part `tail` (which begins with a space): the content given by its
    // folded UTF-8, or by UTF-16 text that folds to itself with its ASCII letters lower-cased.
    static bool containsAcrossJoint(const Query& query, QByteArrayView foldedContent, const QByteArray& tail,
                                    std::string& joint);
    static bool containsAcrossJoint(const Query& query, QStringView content, const QByteArray& tail,
                                    std::string& joint);
    // The same for content given by its ASCII bytes.
    static bool containsAcrossJoint(const Query& query, QLatin1StringView asciiContent, const QByteArray& tail,
                                    std::string& joint);

    // Holds the cache's lock for one filter pass.
    class Pass {
    public:
        explicit Pass(ClipboardSearchTextCache& cache);
        ~Pass();
        Pass(const Pass&) = delete;
        Pass& operator=(const Pass&) = delete;

        // Whether the clip's searchable text, folded, contains the (non-empty) folded query.
        bool contains(const ClipboardItem& item, const Query& query);
        bool looksLikeCode(const ClipboardItem& item); // for text clips
        bool isWebURL(const ClipboardItem& item);      // for text clips
        const QLocale& locale() const { return locale_; }
        // Ask the processor for what looking at the clip will read, ahead of looking at it: the
        // clip's record, and once that has arrived, the start of its text.
        static void prefetch(const ClipboardItem& item);
        static void prefetchText(const ClipboardItem& item);

    private:
        ClipboardSearchTextCache& cache_;
        QLocale locale_;
        bool asciiFoldsToLowerCase_;
        quint32 next_ = 0; // where the next clip's entry is likely to stand
        std::string joint_;
    };

    // Works out what searching the clips at `positions` of `items` needs, so that a search on
    // another thread finds it ready. Meant for a background thread: the work is done outside the
    // lock, which is taken only briefly, a few hundred clips at a time.
    void prepare(const QList<ClipboardItem>& items, const std::vector<qsizetype>& positions);

    qsizetype size() const;
    // The bytes of the folded copies kept (for tests and measurements).
    qsizetype foldedBytes() const;
    void clear();

    // Passes after which entries of clips nothing else holds are looked for and dropped.
    static constexpr quint64 sweepInterval = 64;

private:
    enum class Form : quint8 { ascii, unchanged, folded };

    struct Entry {
        QString source; // the text, or the image's recognised text
        Form form = Form::ascii;
        bool isImage = false;
        signed char looksLikeCode = -1; // unknown until asked
        signed char isWebURL = -1;
    };

    // What images and texts that folding changes keep besides.
    struct Details {
        QByteArray folded; // the folded content search text
        // The image's bytes (ClipboardImage::bytesIdentity), without keeping them: tells whether
        // a clip still holds them. Its byte count, which the folded text spells out.
        std::weak_ptr<const void> image;
        qint64 byteCount = 0;
        std::optional<qint64> pixelWidth;
        std::optional<qint64> pixelHeight;
        bool hasRecognizedText = false;
    };

    // A clip id as a key that hashes cheaply: the ids are random already, so mixing their two
    // halves spreads them (QUuid's own hash runs a general byte hash, several times slower).
    struct ClipKey {
        quint64 high = 0;
        quint64 low = 0;
        explicit ClipKey(const QUuid& id);
        ClipKey() = default;
        friend bool operator==(const ClipKey&, const ClipKey&) = default;
        friend size_t qHash(const ClipKey& key, size_t seed = 0) noexcept
        {
            quint64 x = key.high ^ (key.low * 0x9E3779B97F4A7C15ull);
            x ^= x >> 31;
            x *= 0xBF58476D1CE4E5B9ull;
            x ^= x >> 29;
            return size_t(x) ^ seed;
        }
    };

    struct Built {
        ClipKey id;
        Entry entry;
        std::optional<Details> details;
    };

    // Entries stand in the order they were made (for a prepared history, the list's order), so a
    // pass over the list reads them one after another; `table_` finds one by its key otherwise.
    struct Slot {
        ClipKey key;
        Entry entry;
    };
    static constexpr quint32 noSlot = ~quint32(0);
    quint32 find(const ClipKey& key, quint32 hint) const;
    void index(quint32 slot);
    void reindex();

    Entry& entryFor(const ClipboardItem& item, const QLocale& locale, bool asciiFoldsToLowerCase, quint32& next);
    bool describes(Entry& entry, const ClipboardItem& item);
    quint32 store(Built&& built, quint32 hint);
    static Built build(const ClipboardItem& item, const QLocale& locale, bool asciiFoldsToLowerCase);
    const QByteArray& foldedTail(const ClipboardSourceApp& app, const QLocale& locale);
    void finishPass();
    void useLocale(const QString& name);

    mutable QMutex mutex_;
    std::vector<Slot> slots_;
    std::vector<quint32> table_; // open addressing: slot number + 1, 0 for none; a power of two long
    QHash<ClipKey, Details> details_;
    // The folded " name bundle-identifier" of source applications, by name.
    QHash<QString, std::vector<std::pair<std::optional<QString>, QByteArray>>> tails_;
    QString localeName_;
    quint64 pass_ = 0;
};

} // namespace tolvi
