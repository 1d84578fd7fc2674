#include "Tolvi/platform/pasteboard/SelectionPasteboard.h"

#include "Tolvi/platform/pasteboard/SelectionTargetView.h"

namespace tolvi {

SelectionTargetView SelectionPasteboard::view()
{
    return {[this] { return targets(); }, [this](const QString& name) { return target(name); },
            [this] { return fileUris(); }};
}

std::optional<QStringList> SelectionPasteboard::types()
{
    return view().types();
}

int SelectionPasteboard::itemCount()
{
    return view().itemCount();
}

QStringList SelectionPasteboard::itemTypes(int index)
{
    return view().itemTypes(index);
}

std::optional<QByteArray> SelectionPasteboard::itemData(int index, const QString& type)
{
    return view().itemData(index, type);
}

std::optional<QByteArray> SelectionPasteboard::data(const QString& type)
{
    return view().data(type);
}

} // namespace tolvi
