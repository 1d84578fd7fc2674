#include "TolviCore/search/ClipboardSearchTextCache.h"

#include "TolviCore/search/ByteSearch.h"
#include "TolviCore/search/ClipboardSearch.h"
#include "TolviCore/text/TextCharacters.h"
#include "TolviCore/text/TextTransform.h"


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

QString searchableText(const ClipboardItem& item)
{
    QString text = item.content().searchText();
    if (const auto& app = item.sourceApp()) {
        text += QLatin1Char(' ') + app->name();
        if (app->bundleIdentifier())
            text += QLatin1Char(' ') + *app->bundleIdentifier();
    }
    return text;
}

} // namespace

ClipboardSearchTextCache& ClipboardSearchTextCache::shared()
{
    static ClipboardSearchTextCache cache;
    return cache;
}

QByteArray ClipboardSearchTextCache::foldedForMatching(QStringView text, const QLocale& locale)
{
    return TextCharacters::caseFolded(text, locale).normalized(QString::NormalizationForm_C).toUtf8();
}

std::vector<quint16> ClipboardSearchTextCache::pairHashes(const QByteArray& folded)
{
    std::vector<quint16> hashes;
    const uchar* b = reinterpret_cast<const uchar*>(folded.constData());
    for (qsizetype i = 0; i + 1 < folded.size(); ++i)
        hashes.push_back(FoldedText::pairHash(b[i], b[i + 1]));
    return hashes;
}

bool ClipboardSearchTextCache::FoldedText::contains(const QByteArray& query, const std::vector<quint16>& queryPairs) const
{
    if (query.isEmpty())
        return true;
    if (!pairBits.empty()) {
        for (quint16 h : queryPairs) {
            if (!(pairBits[h >> 6] & (quint64(1) << (h & 63))))
                return false;
        }
    }
    return ByteSearch::find(bytes.constData(), std::size_t(bytes.size()), query.constData(), std::size_t(query.size()))
           != nullptr;
}

qsizetype ClipboardSearchTextCache::size() const
{
    QMutexLocker lock(&mutex_);
    return entries_.size();
}

void ClipboardSearchTextCache::clear()
{
    QMutexLocker lock(&mutex_);
    entries_.clear();
}

bool ClipboardSearchTextCache::describes(Entry& entry, const ClipboardItem& item)
{
    const ClipboardContent& content = item.content();
    if (const QString* text = content.textIf()) {
        if (entry.isImage || !sameString(entry.source, *text))
            return false;
    } else {
        const ClipboardImage& image = content.imageValue();
        const auto& recognized = image.recognizedText();
        if (!entry.isImage || entry.hasRecognizedText != recognized.has_value()
            || entry.pixelWidth != image.pixelWidth() || entry.pixelHeight != image.pixelHeight()
            || !sameString(entry.fingerprint, image.fingerprint())
            || (recognized && !sameString(entry.source, *recognized)))
            return false;
    }
    return entry.sourceApp == item.sourceApp();
}

ClipboardSearchTextCache::Entry ClipboardSearchTextCache::makeEntry(const ClipboardItem& item)
{
    Entry entry;
    const ClipboardContent& content = item.content();
    if (const QString* text = content.textIf()) {
        entry.source = *text;
    } else {
        const ClipboardImage& image = content.imageValue();
        entry.isImage = true;
        entry.hasRecognizedText = image.recognizedText().has_value();
        entry.source = image.recognizedText().value_or(QString());
        entry.fingerprint = image.fingerprint();
        entry.pixelWidth = image.pixelWidth();
        entry.pixelHeight = image.pixelHeight();
    }
    entry.sourceApp = item.sourceApp();
    return entry;
}

ClipboardSearchTextCache::Entry& ClipboardSearchTextCache::entryFor(const ClipboardItem& item)
{
    auto it = entries_.find(item.id());
    if (it == entries_.end())
        it = entries_.insert(item.id(), makeEntry(item));
    else if (!describes(*it, item))
        *it = makeEntry(item);
    it->lastPass = pass_;
    return *it;
}

void ClipboardSearchTextCache::finishPass()
{
    ++pass_;
    if (pass_ % idlePassLimit != 0)
        return;
    for (auto it = entries_.begin(); it != entries_.end();) {
        if (pass_ - it->lastPass > idlePassLimit)
            it = entries_.erase(it);
        else
            ++it;
    }
}

ClipboardSearchTextCache::Pass::Pass(ClipboardSearchTextCache& cache) : cache_(cache)
{
    cache_.mutex_.lock();
    const QString name = locale_.name();
    if (name != cache_.localeName_) {
        cache_.entries_.clear();
        cache_.localeName_ = name;
    }
}

ClipboardSearchTextCache::Pass::~Pass()
{
    cache_.finishPass();
    cache_.mutex_.unlock();
}

const ClipboardSearchTextCache::FoldedText& ClipboardSearchTextCache::Pass::foldedText(const ClipboardItem& item)
{
    Entry& entry = cache_.entryFor(item);
    if (!entry.folded) {
        FoldedText folded;
        folded.bytes = foldedForMatching(searchableText(item), locale_);
        const qsizetype n = folded.bytes.size();
        if (n >= FoldedText::pairSetThreshold) {
            folded.pairBits.assign(8192 / 64, 0);
            const uchar* b = reinterpret_cast<const uchar*>(folded.bytes.constData());
            for (qsizetype i = 0; i + 1 < n; ++i) {
                const quint16 h = FoldedText::pairHash(b[i], b[i + 1]);
                folded.pairBits[h >> 6] |= quint64(1) << (h & 63);
            }
        }
        entry.folded = std::move(folded);
    }
    return *entry.folded;
}

bool ClipboardSearchTextCache::Pass::looksLikeCode(const ClipboardItem& item)
{
    const QString* text = item.content().textIf();
    if (!text)
        return false;
    Entry& entry = cache_.entryFor(item);
    if (entry.looksLikeCode < 0)
        entry.looksLikeCode = ClipboardSearch::looksLikeCode(*text) ? 1 : 0;
    return entry.looksLikeCode == 1;
}

bool ClipboardSearchTextCache::Pass::isWebURL(const ClipboardItem& item)
{
    const QString* text = item.content().textIf();
    if (!text)
        return false;
    Entry& entry = cache_.entryFor(item);
    if (entry.isWebURL < 0)
        entry.isWebURL = TextTransform::isWebURL(*text) ? 1 : 0;
    return entry.isWebURL == 1;
}

} // namespace tolvi
