#pragma once

#include <QString>

#include <exception>

namespace tolvi {

// The sentence a window shows for an error: the message our own error types carry, else
// the text of the exception.
QString errorDescription(const std::exception& error);

} // namespace tolvi
