#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

namespace tolvi {

// A clipboard selection offered as named targets (X11 selection targets or MIME types), seen as
// a pasteboard: its type identifiers, and its items, a list of file URIs standing for one item
// per file. The X11 and the Wayland clipboard both answer through it.
struct SelectionTargetView {
    // The offered target names; nothing when they could not be read.
    std::function<std::optional<QStringList>()> targets;
    // The bytes of one target, read at most once per change by the caller's side.
    std::function<std::optional<QByteArray>(const QString& target)> read;
    // The URIs of the offered URI list when it names files; empty otherwise.
    std::function<QList<QByteArray>()> fileUris;

    std::optional<QStringList> types() const;
    int itemCount() const;
    QStringList itemTypes(int index) const;
    std::optional<QByteArray> itemData(int index, const QString& type) const;
    std::optional<QByteArray> data(const QString& type) const;

    // The file URIs a selection offers, read through `read`: its URI list, or else a file
    // manager's own list (GNOME's "copy"/"cut" list); empty unless one of them names a file.
    static QList<QByteArray> offeredFileUris(const std::function<std::optional<QByteArray>(const QString&)>& read);
};

} // namespace tolvi
