#pragma once

#include <QByteArray>
#include <QByteArrayView>

#include <cstddef>
#include <optional>
#include <string_view>

namespace tolvi::Base64 {

// Standard alphabet with padding.
constexpr std::size_t encodedLength(std::size_t byteCount)
{
    return (byteCount + 2) / 3 * 4;
}

// Writes encodedLength(size) characters to out.
void encode(const unsigned char* data, std::size_t size, char* out);
QByteArray encode(QByteArrayView data);

// Strict decoding: the length is a multiple of four, every character is of the standard
// alphabet, "=" appears only as one or two final padding characters, and the bits that padding
// leaves over are zero. Returns nothing otherwise.
std::optional<QByteArray> decode(std::string_view text);

// Whether decode(text) would succeed, without decoding it.
bool isValid(std::string_view text);

// Whether every character of `text` is of the alphabet ("=" is not).
bool isAlphabet(std::string_view text);

// How many bytes valid Base64 text decodes to.
std::size_t decodedLength(std::string_view text);

// The bytes [offset, offset + length) of what valid Base64 text decodes to; the range lies
// within decodedLength(text).
QByteArray decodeRange(std::string_view text, std::size_t offset, std::size_t length);

} // namespace tolvi::Base64
