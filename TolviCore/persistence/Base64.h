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

} // namespace tolvi::Base64
