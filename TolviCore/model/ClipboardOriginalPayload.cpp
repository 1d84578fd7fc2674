#include "TolviCore/model/ClipboardOriginalPayload.h"

#include "TolviCore/model/Sha256.h"
#include "TolviCore/model/UnicodeText.h"

#include <QUrl>

namespace tolvi {

namespace {

bool isValidRepresentation(const std::optional<QByteArray>& bytes)
{
    return !bytes || (!bytes->isEmpty() && bytes->size() <= ClipboardOriginalPayload::maximumRepresentationBytes);
}

void addEntry(Sha256& hash, QByteArrayView body)
{
    hash.add(QByteArray::number(body.size()));
    hash.add(":");
    hash.add(body);
}

} // namespace

bool ClipboardOriginalPayload::isSupportedFileURL(const QString& url)
{
    if (UnicodeText::utf8Length(url) > maximumFileURLBytes)
        return false;
    // Scheme: case-insensitive, as URL schemes are.
    if (url.size() < 5 || url.left(5).compare(QLatin1String("file:"), Qt::CaseInsensitive) != 0)
        return false;
    QStringView rest = QStringView(url).mid(5);
    if (rest.startsWith(QLatin1String("//"))) {
        rest = rest.mid(2);
        const qsizetype slash = rest.indexOf(QLatin1Char('/'));
        const QStringView host = slash < 0 ? rest : rest.left(slash);
        if (!host.isEmpty() && host != QLatin1String("localhost"))
            return false;
        rest = slash < 0 ? QStringView() : rest.mid(slash);
    }
    if (!rest.startsWith(QLatin1Char('/')))
        return false;
    // The whole string must be a well-formed URL (no blanks or other characters that need
    // escaping).
    return QUrl(url, QUrl::StrictMode).isValid();
}

std::optional<ClipboardOriginalPayload> ClipboardOriginalPayload::create(std::optional<QByteArray> rtf,
                                                                         std::optional<QByteArray> html,
                                                                         QStringList fileURLs)
{
    if (fileURLs.size() > maximumFileCount)
        return std::nullopt;
    for (const QString& url : fileURLs) {
        if (!isSupportedFileURL(url))
            return std::nullopt;
    }
    if (!isValidRepresentation(rtf) || !isValidRepresentation(html))
        return std::nullopt;
    if (!fileURLs.isEmpty() && (rtf || html))
        return std::nullopt;
    if (fileURLs.isEmpty() && !rtf && !html)
        return std::nullopt;

    ClipboardOriginalPayload payload;
    payload.rtf_ = std::move(rtf);
    payload.html_ = std::move(html);
    payload.fileURLs_ = std::move(fileURLs);

    Sha256 hash;
    addEntry(hash, payload.rtf_ ? QByteArrayView(*payload.rtf_) : QByteArrayView());
    addEntry(hash, payload.html_ ? QByteArrayView(*payload.html_) : QByteArrayView());
    for (const QString& url : payload.fileURLs_)
        addEntry(hash, url.toUtf8());
    payload.fingerprint_ = hash.finishHex();
    return payload;
}

bool operator==(const ClipboardOriginalPayload& a, const ClipboardOriginalPayload& b)
{
    return a.fingerprint_ == b.fingerprint_ && a.rtf_ == b.rtf_ && a.html_ == b.html_ && a.fileURLs_ == b.fileURLs_;
}

} // namespace tolvi
