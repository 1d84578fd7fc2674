#include "Tolvi/platform/pasteboard/SelectionTargetView.h"

#include "Tolvi/platform/pasteboard/PasteboardTypes.h"

namespace tolvi {

namespace {
const QString uriListTarget = QStringLiteral("text/uri-list");
} // namespace

std::optional<QStringList> SelectionTargetView::types() const
{
    const std::optional<QStringList> listed = targets();
    if (!listed)
        return std::nullopt;
    QStringList result;
    for (const QString& name : *listed) {
        std::optional<QString> identifier;
        if (name == uriListTarget || name == PasteboardTypes::gnomeCopiedFilesTarget)
            identifier = fileUris().isEmpty() ? name : PasteboardTypes::fileURL;
        else
            identifier = PasteboardTypes::typeIdentifierForTarget(name);
        if (identifier && !result.contains(*identifier))
            result.append(*identifier);
    }
    return result;
}

int SelectionTargetView::itemCount() const
{
    const std::optional<QStringList> listed = targets();
    if (!listed || listed->isEmpty())
        return 0;
    const QList<QByteArray> uris = fileUris();
    return uris.isEmpty() ? 1 : int(uris.size());
}

QStringList SelectionTargetView::itemTypes(int index) const
{
    if (index < 0 || index >= itemCount())
        return {};
    if (!fileUris().isEmpty())
        return {PasteboardTypes::fileURL};
    return types().value_or(QStringList());
}

std::optional<QByteArray> SelectionTargetView::itemData(int index, const QString& type) const
{
    if (index < 0 || index >= itemCount())
        return std::nullopt;
    const QList<QByteArray> uris = fileUris();
    if (!uris.isEmpty()) {
        if (type == PasteboardTypes::fileURL)
            return uris.at(index);
        return std::nullopt;
    }
    return data(type);
}

std::optional<QByteArray> SelectionTargetView::data(const QString& type) const
{
    if (type == PasteboardTypes::fileURL) {
        const QList<QByteArray> uris = fileUris();
        if (uris.isEmpty())
            return std::nullopt;
        return uris.constFirst();
    }
    for (const QString& name : PasteboardTypes::targetsForTypeIdentifier(type)) {
        std::optional<QByteArray> bytes = read(name);
        if (!bytes)
            continue;
        // STRING is Latin-1 by definition.
        if (name == QLatin1String("STRING"))
            return QString::fromLatin1(*bytes).toUtf8();
        return bytes;
    }
    return std::nullopt;
}

QList<QByteArray> SelectionTargetView::offeredFileUris(
    const std::function<std::optional<QByteArray>(const QString&)>& read)
{
    QList<QByteArray> uris;
    if (std::optional<QByteArray> list = read(uriListTarget))
        uris = PasteboardTypes::parseUriList(*list);
    if (uris.isEmpty()) {
        if (std::optional<QByteArray> list = read(PasteboardTypes::gnomeCopiedFilesTarget))
            uris = PasteboardTypes::parseGnomeCopiedFiles(*list);
    }
    for (const QByteArray& uri : uris) {
        if (PasteboardTypes::isFileUri(uri))
            return uris;
    }
    return {};
}

} // namespace tolvi
