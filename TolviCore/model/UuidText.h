#pragma once

#include <QString>
#include <QStringView>
#include <QUuid>

#include <optional>

namespace tolvi::UuidText {

// The stored form: 36 characters, upper-case hexadecimal, 8-4-4-4-12.
QString format(const QUuid& uuid);

// Reads exactly 8-4-4-4-12 hexadecimal digits of either case (no braces, no other forms);
// the all-zero UUID is valid.
std::optional<QUuid> parse(QStringView text);
std::optional<QUuid> parse(std::string_view latin1);

} // namespace tolvi::UuidText
