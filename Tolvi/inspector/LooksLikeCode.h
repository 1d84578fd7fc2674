#pragma once

#include <QString>
#include <QStringView>

namespace tolvi {

// Whether a clip's text is shown in the monospaced design: the text as stored, untrimmed,
// contains (case-sensitively) one of "```", "func ", "let ", "const ", "=>", "{" or "</". The
// inspector's text preview and both text editors use this test; the kind detection and the
// search filter have code tests of their own.
bool looksLikeCode(QStringView text);

// The same test for a text that changes a little at a time, as an editor's text does: after the
// first look, a new version is searched only where it differs from the version before (a marker
// elsewhere was there before too, or was not), so typing into a long text costs no search of
// all of it. Gives what looksLikeCode gives.
class LooksLikeCodeTracker {
public:
    bool test(const QString& text);
    void reset();

private:
    QString m_text;
    // Where a marker was found in m_text, and its length; -1 when none is in it.
    qsizetype m_at = -1;
    qsizetype m_length = 0;
    bool m_known = false;
};

} // namespace tolvi
