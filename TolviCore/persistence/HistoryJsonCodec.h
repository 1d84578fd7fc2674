#pragma once

#include "TolviCore/model/ClipboardHistoryState.h"
#include "TolviCore/persistence/JsonInput.h"
#include "TolviCore/persistence/JsonStreamWriter.h"
#include "TolviCore/persistence/LeftOutClip.h"

#include <QByteArray>

#include <memory>

namespace tolvi {

// The JSON forms of clips, boards and the history state, as the history file and history
// archives hold them: pretty-printed, keys sorted, dates as seconds since 2001-01-01 UTC in
// the shortest form that reads back exactly, bytes as Base64, UUIDs upper-case, absent optional
// values omitted. Writing streams through a JsonStreamWriter, so a caller can put the state
// inside an envelope of its own; reading accepts any layout, ignores unknown keys and reads
// null as absent for optional values. Every failure throws PersistenceError (encoding or
// decoding, with the location of the offending value).
namespace HistoryJsonCodec {

// A clip whose image can no longer be had as it was copied (see LeftOutClip) is left out of what
// is written, and added to `leftOut` when one is given; an image that turns out to be so only
// while it is written fails the write (PersistenceError::encoding). Never are other bytes written
// in its place.
void writeState(JsonStreamWriter& writer, const ClipboardHistoryState& state, QList<LeftOutClip>* leftOut = nullptr);
void writeItem(JsonStreamWriter& writer, const ClipboardItem& item);
void writeBoard(JsonStreamWriter& writer, const Pinboard& board);

// The state as a whole document.
void encodeState(const ClipboardHistoryState& state, OutputSink& sink, QList<LeftOutClip>* leftOut = nullptr);
QByteArray encodeState(const ClipboardHistoryState& state);

// {"items": [...], "pinboards": [...]}
ClipboardHistoryState decodeState(const JsonInput& input);
ClipboardHistoryState decodeState(QByteArrayView json);

// The history file: the object form, or the older bare array of clips, which reads with the
// default boards.
enum class HistoryFileForm { object, legacyArray };
struct DecodedHistoryFile {
    ClipboardHistoryState state;
    HistoryFileForm form;
};
DecodedHistoryFile decodeHistoryFile(const JsonInput& input);
// The same for a history file of the program's own: when it is a mapped file, its large images
// are left there until they are read (ClipboardImage::data()), holding the mapping till then.
DecodedHistoryFile decodeHistoryFile(const std::shared_ptr<const JsonInput>& input);

} // namespace HistoryJsonCodec
} // namespace tolvi
