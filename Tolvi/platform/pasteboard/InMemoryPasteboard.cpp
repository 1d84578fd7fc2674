#include "Tolvi/platform/pasteboard/InMemoryPasteboard.h"

#include "Tolvi/platform/pasteboard/PasteboardTypes.h"

namespace tolvi {

void InMemoryPasteboard::setItems(QList<PasteboardItem> items)
{
    items_ = std::move(items);
    if (announcesChanges_)
        emit changeNoticed();
    ++changeCount_;
    if (announcesChanges_)
        emit changed();
}

void InMemoryPasteboard::setString(const QString& text)
{
    PasteboardItem item;
    item.setString(PasteboardTypes::plainText, text);
    setItems({item});
}

void InMemoryPasteboard::clear()
{
    setItems({});
}

std::optional<QStringList> InMemoryPasteboard::types()
{
    if (!typesReadable_)
        return std::nullopt;
    QStringList result;
    for (const PasteboardItem& item : items_) {
        for (const QString& type : item.types()) {
            if (!result.contains(type))
                result.append(type);
        }
    }
    return result;
}

QStringList InMemoryPasteboard::itemTypes(int index)
{
    if (index < 0 || index >= items_.size())
        return {};
    return items_.at(index).types();
}

std::optional<QByteArray> InMemoryPasteboard::itemData(int index, const QString& type)
{
    if (index < 0 || index >= items_.size())
        return std::nullopt;
    std::optional<QByteArray> result = items_.at(index).data(type);
    noteRead(type);
    return result;
}

std::optional<QByteArray> InMemoryPasteboard::data(const QString& type)
{
    std::optional<QByteArray> result;
    for (const PasteboardItem& item : items_) {
        result = item.data(type);
        if (result)
            break;
    }
    noteRead(type);
    return result;
}

bool InMemoryPasteboard::writeItems(const QList<PasteboardItem>& items, WriteKind)
{
    ++writeCount_;
    if (!acceptsWrites_)
        return false;
    items_ = items;
    ownChange_ = ++changeCount_;
    return true;
}

void InMemoryPasteboard::noteRead(const QString& type)
{
    ++dataReadCount_;
    if (onDataRead_)
        onDataRead_(type);
}

} // namespace tolvi
