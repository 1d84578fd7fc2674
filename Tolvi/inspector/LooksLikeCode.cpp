#include "Tolvi/inspector/LooksLikeCode.h"

#include "Tolvi/inspector/TextChange.h"

#include <algorithm>

namespace tolvi {

namespace {

constexpr QStringView markers[] = {u"```", u"func ", u"let ", u"const ", u"=>", u"{", u"</"};
constexpr qsizetype longestMarker = 6;

// The first marker in `text` (the earliest place; any marker will do for the test): its place
// and length, or -1. One pass over the text: only the characters a marker starts with are looked
// at further.
std::pair<qsizetype, qsizetype> findMarker(QStringView text)
{
    const char16_t* s = text.utf16();
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        switch (s[i]) {
        case u'`':
        case u'f':
        case u'l':
        case u'c':
        case u'=':
        case u'{':
        case u'<':
            for (QStringView marker : markers) {
                if (marker.front() == s[i] && text.sliced(i).startsWith(marker))
                    return {i, marker.size()};
            }
            break;
        default:
            break;
        }
    }
    return {-1, 0};
}

} // namespace

bool looksLikeCode(QStringView text)
{
    return findMarker(text).first >= 0;
}

bool LooksLikeCodeTracker::test(const QString& text)
{
    auto searchWhole = [this, &text] {
        const auto [at, length] = findMarker(text);
        m_at = at;
        m_length = length;
        m_known = true;
        m_text = text;
        return m_at >= 0;
    };
    if (!m_known)
        return searchWhole();
    const TextChange change = TextChange::between(m_text, text);
    if (change.isNone(m_text, text)) {
        m_text = text;
        return m_at >= 0;
    }
    const qsizetype prefix = change.prefix;
    const qsizetype suffix = change.suffix;
    const qsizetype oldChangeEnd = m_text.size() - suffix;
    const qsizetype shift = text.size() - m_text.size();
    if (m_at >= 0) {
        // The marker found before is still there when the change left it alone.
        if (m_at + m_length <= prefix) {
            m_text = text;
            return true;
        }
        if (m_at >= oldChangeEnd) {
            m_at += shift;
            m_text = text;
            return true;
        }
        return searchWhole();
    }
    // No marker before: a new one must reach into the changed stretch.
    const qsizetype from = std::max<qsizetype>(0, prefix - (longestMarker - 1));
    const qsizetype to = std::min(text.size(), text.size() - suffix + (longestMarker - 1));
    const auto [at, length] = findMarker(QStringView(text).mid(from, to - from));
    m_text = text;
    if (at < 0)
        return false;
    // Any marker will do for later edits; the test's answer is the same.
    m_at = from + at;
    m_length = length;
    return true;
}

void LooksLikeCodeTracker::reset()
{
    m_text.clear();
    m_at = -1;
    m_length = 0;
    m_known = false;
}

} // namespace tolvi
