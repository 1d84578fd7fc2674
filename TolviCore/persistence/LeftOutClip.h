#pragma once

#include <QList>
#include <QUuid>

#include <memory>

namespace tolvi {

// A clip that a save left out because its image could no longer be had as it was copied: its
// bytes were kept in the history file they were loaded from, and that file changed under the
// program before they were read. `bytes` is the image's bytesIdentity(), so that the store drops
// the clip only while it still holds those bytes.
struct LeftOutClip {
    QUuid id;
    std::shared_ptr<const void> bytes;

    friend bool operator==(const LeftOutClip&, const LeftOutClip&) = default;
};

} // namespace tolvi
