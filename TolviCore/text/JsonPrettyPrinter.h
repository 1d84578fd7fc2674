#pragma once

#include <QString>
#include <QStringView>

#include <optional>

namespace tolvi {

// A strict JSON reader and pretty printer of our own. QJsonDocument would round numbers beyond
// 64 bits and cannot write "key" : value with two-space indents, so numbers are carried as the
// exact text they were written with.
//
// Reading follows RFC 8259 to the letter: the top level must be an object or an array, only
// JSON white space may surround it, numbers and escapes must be well formed, and strings may not
// hold raw control characters or unpaired surrogates. An object with a repeated key is refused
// too, since writing it back would silently drop one of the values. Nesting deeper than 512
// levels is refused.
namespace JsonPrettyPrinter {

inline constexpr int maximumDepth = 512;

// Two-space indentation, one member or element per line, `"key" : value`, object keys in
// ascending Unicode code point order at every level, numbers exactly as written, strings with
// only the escapes JSON requires. Nothing when the text is not a JSON object or array.
std::optional<QString> prettyPrinted(QStringView text);

// Whether prettyPrinted() gives a result, without writing anything.
bool isObjectOrArray(QStringView text);

} // namespace JsonPrettyPrinter
} // namespace tolvi
