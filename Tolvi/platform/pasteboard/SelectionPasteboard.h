#pragma once

#include "Tolvi/platform/pasteboard/Pasteboard.h"

namespace tolvi {

struct SelectionTargetView;

// A pasteboard over a clipboard selection that its owner offers as named targets (X11 selection
// targets or MIME types): the types, the items and their data follow from the targets through
// SelectionTargetView. The X11 clipboard and the Wayland data-control clipboard are both one;
// they say how the targets of the current selection are listed and read.
class SelectionPasteboard : public Pasteboard {
    Q_OBJECT
public:
    using Pasteboard::Pasteboard;

    std::optional<QStringList> types() final;
    int itemCount() final;
    QStringList itemTypes(int index) final;
    std::optional<QByteArray> itemData(int index, const QString& type) final;
    std::optional<QByteArray> data(const QString& type) final;

protected:
    // The offered targets of the current selection; nothing when they could not be read.
    virtual std::optional<QStringList> targets() = 0;
    // The raw bytes of one target, read at most once per change.
    virtual std::optional<QByteArray> target(const QString& name) = 0;
    // The file URIs the current selection offers, read at most once per change.
    virtual QList<QByteArray> fileUris() = 0;

private:
    SelectionTargetView view();
};

} // namespace tolvi
