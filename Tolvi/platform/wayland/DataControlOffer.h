#pragma once

#include <QByteArray>
#include <QList>

#include <utility>

namespace tolvi {

// One offer of the seat's clipboard selection as data control hands it over: the MIME types its
// owner announced (all known when the selection event arrives, before anything is read) and a way
// to have the owner write one of them into a pipe.
class DataControlOffer {
public:
    virtual ~DataControlOffer();
    virtual QList<QByteArray> mimeTypes() const = 0;
    // Asks the owner to write the representation into fd (the write end of a pipe) and close it.
    // The callee does not take fd: the caller closes its own copy afterwards. False when the offer
    // can no longer be read.
    virtual bool receive(const QByteArray& mimeType, int fd) = 0;
};

// Representations to offer as the new clipboard selection, each a MIME type with its bytes.
using SelectionRepresentations = QList<std::pair<QByteArray, QByteArray>>;

// Sets the seat's clipboard selection through a data-control source of ours.
class DataControlSelectionOwner {
public:
    virtual ~DataControlSelectionOwner();
    // True when the compositor made the source the selection.
    virtual bool setSelection(const SelectionRepresentations& representations) = 0;
};

} // namespace tolvi
