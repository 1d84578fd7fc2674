#pragma once

// Reading the history's JSON forms from simdjson's on-demand values, for documents that wrap a
// history in an envelope of their own. Everything here throws PersistenceError::decoding.

#include "TolviCore/model/ClipboardHistoryState.h"

#include <simdjson.h>

#include <QString>

namespace tolvi::HistoryJsonReader {

// Where a value sits in the document, for error messages: a chain of keys and indices.
struct Path {
    const Path* parent = nullptr;
    const char* key = nullptr; // null for an array element
    qsizetype index = 0;

    Path child(const char* childKey) const { return Path{this, childKey, 0}; }
    Path element(qsizetype childIndex) const { return Path{this, nullptr, childIndex}; }
    QString toString() const;
};

[[noreturn]] void fail(const Path& path, const QString& message);
[[noreturn]] void fail(const Path& path, simdjson::error_code error);

ClipboardHistoryState readState(simdjson::ondemand::value value, const Path& path);
QList<ClipboardItem> readItems(simdjson::ondemand::value value, const Path& path);
ClipboardItem readItem(simdjson::ondemand::value value, const Path& path);
Pinboard readBoard(simdjson::ondemand::value value, const Path& path);

// Starts parsing a padded input; the parser must outlive the document.
simdjson::ondemand::document iterate(simdjson::ondemand::parser& parser, const char* data, std::size_t size,
                                     std::size_t capacity);
// Fails unless the whole document has been read.
void expectEnd(simdjson::ondemand::document& document);

} // namespace tolvi::HistoryJsonReader
