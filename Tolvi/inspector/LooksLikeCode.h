#pragma once

#include <QStringView>

namespace tolvi {

// Whether a clip's text is shown in the monospaced design: the text as stored, untrimmed,
// contains (case-sensitively) one of "```", "func ", "let ", "const ", "=>", "{" or "</". The
// inspector's text preview and both text editors use this test; the kind detection and the
// search filter have code tests of their own.
bool looksLikeCode(QStringView text);

} // namespace tolvi
