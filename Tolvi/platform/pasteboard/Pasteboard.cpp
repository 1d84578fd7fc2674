#include "Tolvi/platform/pasteboard/Pasteboard.h"

namespace tolvi {

void PasteboardItem::setData(const QString& type, QByteArray data)
{
    for (auto& entry : entries_) {
        if (entry.first == type) {
            entry.second = std::move(data);
            return;
        }
    }
    entries_.append({type, std::move(data)});
}

QStringList PasteboardItem::types() const
{
    QStringList result;
    for (const auto& entry : entries_)
        result.append(entry.first);
    return result;
}

std::optional<QByteArray> PasteboardItem::data(const QString& type) const
{
    for (const auto& entry : entries_) {
        if (entry.first == type)
            return entry.second;
    }
    return std::nullopt;
}

Pasteboard::~Pasteboard() = default;

bool Pasteboard::write(const QList<PasteboardItem>& items, WriteKind kind)
{
    const bool written = writeItems(items, kind);
    // Taken only now: until the write has counted itself, the current change is the one before.
    lastWriteIsCopy_ = written && kind == WriteKind::copy;
    if (lastWriteIsCopy_)
        emit copyWritten();
    return written;
}

std::optional<QString> Pasteboard::string(const QString& type)
{
    const std::optional<QByteArray> bytes = data(type);
    if (!bytes)
        return std::nullopt;
    return QString::fromUtf8(*bytes);
}

} // namespace tolvi
