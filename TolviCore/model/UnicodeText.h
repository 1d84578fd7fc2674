#pragma once

#include <QString>

namespace tolvi {

// Text comparisons in the model follow Unicode canonical equivalence: two strings are equal when
// they are equal code unit for code unit, or when their NFC forms are.
namespace UnicodeText {

bool canonicallyEqual(const QString& a, const QString& b);

// The NFC form, for hashing strings that are compared canonically.
QString canonicalForm(const QString& text);

// Replaces every unpaired UTF-16 surrogate by U+FFFD; text that enters the model passes here,
// so everything the model holds has a well-formed UTF-8 form.
QString replacingLoneSurrogates(const QString& text);
bool hasLoneSurrogates(const QString& text);

// Number of bytes of the UTF-8 form (a lone surrogate counts as U+FFFD, three bytes).
qsizetype utf8Length(const QString& text);

// Number of UTF-16 code units of well-formed UTF-8 text.
qsizetype utf16Length(QByteArrayView utf8);

// Whether well-formed UTF-8 text is its own NFC form.
bool isCanonical(QByteArrayView utf8);

// Number of user-perceived characters (extended grapheme clusters).
qsizetype characterCount(const QString& text);

} // namespace UnicodeText
} // namespace tolvi
