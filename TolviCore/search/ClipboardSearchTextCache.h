#pragma once

#include "TolviCore/model/ClipboardItem.h"

#include <QByteArray>
#include <QHash>
#include <QLocale>
#include <QMutex>
#include <QString>
#include <QUuid>

#include <array>
#include <optional>
#include <vector>

namespace tolvi {

// What search works out once per clip revision and keeps between keystrokes: the searchable text
// folded for caseless matching (as UTF-8, so that a substring test is a plain byte search), and
// whether a text clip looks like code or is a web address. Entries are keyed by clip id and
// checked against the clip on every use: a changed text, image, recognised text or source
// application builds the entry again. The text an entry was built from is held as a shared copy,
// so an unchanged clip is recognised by its string's identity without comparing characters.
// Entries of clips that no filter pass has looked at for a while are dropped.
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

    // A clip's folded searchable text. Long texts also keep the set of byte pairs they contain
    // (hashed into 8,192 bits), so that a query with a pair the text lacks is answered without
    // reading the text.
    struct FoldedText {
        QByteArray bytes;
        std::vector<quint64> pairBits; // empty for short texts

        static constexpr qsizetype pairSetThreshold = 1024;
        static quint16 pairHash(uchar first, uchar second) { return quint16(((first << 5) ^ second) & 8191); }

        // Whether the folded query (as byte-pair hashes and bytes) occurs in the text.
        bool contains(const QByteArray& query, const std::vector<quint16>& queryPairs) const;
    };

    // The byte-pair hashes of a folded query, for FoldedText::contains.
    static std::vector<quint16> pairHashes(const QByteArray& folded);

    // Holds the cache's lock for one filter pass.
    class Pass {
    public:
        explicit Pass(ClipboardSearchTextCache& cache);
        ~Pass();
        Pass(const Pass&) = delete;
        Pass& operator=(const Pass&) = delete;

        const FoldedText& foldedText(const ClipboardItem& item);
        bool looksLikeCode(const ClipboardItem& item); // for text clips
        bool isWebURL(const ClipboardItem& item);      // for text clips
        const QLocale& locale() const { return locale_; }

    private:
        ClipboardSearchTextCache& cache_;
        QLocale locale_;
    };

    qsizetype size() const;
    void clear();

    // Passes without a look at a clip after which its entry is dropped.
    static constexpr quint64 idlePassLimit = 64;

private:
    struct Entry {
        bool isImage = false;
        QString source; // the text, or the image's recognised text
        bool hasRecognizedText = false;
        QString fingerprint;
        std::optional<qint64> pixelWidth;
        std::optional<qint64> pixelHeight;
        std::optional<ClipboardSourceApp> sourceApp;
        std::optional<FoldedText> folded; // built on first use
        signed char looksLikeCode = -1; // unknown until asked
        signed char isWebURL = -1;
        quint64 lastPass = 0;
    };

    Entry& entryFor(const ClipboardItem& item);
    static bool describes(Entry& entry, const ClipboardItem& item);
    static Entry makeEntry(const ClipboardItem& item);
    void finishPass();

    mutable QMutex mutex_;
    QHash<QUuid, Entry> entries_;
    QString localeName_;
    quint64 pass_ = 0;
};

} // namespace tolvi
