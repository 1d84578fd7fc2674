#pragma once

#include <QString>
#include <QUrl>

namespace tolvi {

// True when the text holds a control character (C0 including tab, DEL, or C1). Qt writes header
// values verbatim, so such a value could end the header line and smuggle in headers of its own.
bool containsControlCharacter(const QString& text);

// True for an absolute https URL with a host: the only places AI requests go (never plain
// http, which would carry the user's text in clear).
bool isSendableEndpoint(const QUrl& url);

} // namespace tolvi
