#include "Tolvi/inspector/EditorTextBuffer.h"

#include "Tolvi/inspector/IncrementalCharacterCount.h"
#include "TolviCore/text/TextCharacters.h"

#include <algorithm>

namespace tolvi {

namespace {

constexpr char16_t paragraphSeparator = 0x2029;

bool becomesSeparator(char16_t c)
{
    // What a text document turns into a paragraph separator (CR and LF are handled apart).
    return c == paragraphSeparator || c == 0xFDD0 || c == 0xFDD1;
}

// Where to cut a long line near `target` (never before `from`, never at `end` or after): after a
// space where one lies a little before the target, else at the nearest definite character
// boundary after it. A stretch with no such boundary (one character of thousands of combining
// marks or joined emoji) is cut all the same, between two code points, in short pieces: shaping
// such a piece costs far more a character than ordinary text, and every emoji in it is a
// picture measured anew (TextCharacters::characterPieceEnd); -1 when there is no room left.
constexpr qsizetype clusterPieceLength = 400;

// The end of a short piece of one character that starts at `from` - 1, before `end`; -1 when
// none is.
qsizetype cutInsideCharacter(QStringView line, qsizetype from, qsizetype end)
{
    const qsizetype cut =
        TextCharacters::characterPieceEnd(line, from - 1, clusterPieceLength, TextCharacters::shownPiecePictographs);
    return cut >= from && cut < end ? cut : -1;
}

// A stretch of a line found to hold no definite character boundary. One character of many
// thousands of code points is cut every few hundred units, and each cut looks ahead further
// than that: what an earlier cut searched is not searched again.
struct BoundaryFreeStretch {
    qsizetype from = 0;
    qsizetype to = 0;
};

// The first definite character boundary in [from, to), or -1.
qsizetype firstDefiniteBoundary(QStringView line, qsizetype from, qsizetype to, BoundaryFreeStretch& known)
{
    qsizetype at = from >= known.from && from < known.to ? known.to : from;
    for (; at < to; ++at) {
        if (isDefiniteCharacterBoundary(line, at))
            return at;
    }
    if (from >= known.from && from <= known.to)
        known.to = std::max(known.to, to);
    else
        known = {from, to};
    return -1;
}

qsizetype cutNear(QStringView line, qsizetype from, qsizetype target, qsizetype end, BoundaryFreeStretch& known)
{
    constexpr qsizetype lookBack = 240;
    for (qsizetype at = target; at > std::max(from + 1, target - lookBack); --at) {
        if (line[at - 1] == u' ' && isDefiniteCharacterBoundary(line, at))
            return at;
    }
    const qsizetype lookAhead = std::min(end, target + EditorTextBuffer::pieceLength / 2);
    const qsizetype boundary = firstDefiniteBoundary(line, target, lookAhead, known);
    return boundary >= 0 ? boundary : cutInsideCharacter(line, from, end);
}

// Where to cut the last part of a long line (too short for another whole piece): nowhere when
// it holds an ordinary character boundary near its start (a few thousand characters of text lay
// out quickly), or when what is left is one short piece of a character; else inside the
// character, as its start was.
qsizetype cutRest(QStringView line, qsizetype from, qsizetype end, BoundaryFreeStretch& known)
{
    const qsizetype target = from - 1 + clusterPieceLength;
    const qsizetype lookAhead = std::min(end, target + EditorTextBuffer::pieceLength / 2);
    if (firstDefiniteBoundary(line, target, lookAhead, known) >= 0)
        return -1;
    if (TextCharacters::characterPieceEnd(line, from - 1, clusterPieceLength + clusterPieceLength / 2,
                                          TextCharacters::shownPiecePictographs)
        >= end)
        return -1;
    return cutInsideCharacter(line, from, end);
}

} // namespace

EditorTextBuffer::EditorTextBuffer(const QString& stored)
{
    load(stored);
}

void EditorTextBuffer::load(const QString& stored)
{
    m_base = stored;
    m_coverage = m_nextCoverage;
    m_points.clear();
    m_shiftAfter.clear();

    // One pass over the stored text: its line breaks, the CR LF pairs among them and the cuts of
    // its long lines, in the order they come in the display. Within a line the display shows
    // the stored characters one for one, so a line's cuts are found in the stored text itself.
    const char16_t* s = reinterpret_cast<const char16_t*>(stored.utf16());
    const qsizetype n = stored.size();
    const QStringView text(stored);
    bool crlf = false, cr = false, lf = false, separator = false;
    qsizetype shift = 0; // stored position minus display position
    qsizetype separators = 0;
    auto cutLine = [&](qsizetype start, qsizetype end) {
        if (end - start <= longLineLength)
            return;
        qsizetype at = start;
        BoundaryFreeStretch known;
        while (at < end) {
            const qsizetype cut = end - at > pieceLength + pieceLength / 2
                ? cutNear(text, at + 1, at + pieceLength, end - pieceLength / 2, known)
                : cutRest(text, at + 1, end, known);
            if (cut < 0)
                break;
            m_points.push_back(cut - shift);
            m_shiftAfter.push_back(--shift);
            ++separators;
            at = cut;
        }
    };
    qsizetype lineStart = 0;
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = s[i];
        if (c != u'\r' && c != u'\n' && !becomesSeparator(c))
            continue;
        cutLine(lineStart, i);
        ++separators;
        if (c == u'\r' && i + 1 < n && s[i + 1] == u'\n') {
            m_points.push_back(i - shift);
            m_shiftAfter.push_back(++shift);
            crlf = true;
            ++i;
        } else if (c == u'\r') {
            cr = true;
        } else if (c == u'\n') {
            lf = true;
        } else if (c == paragraphSeparator) {
            separator = true;
        }
        lineStart = i + 1;
    }
    cutLine(lineStart, n);
    m_baseLength = n - shift;
    m_baseParagraphs = separators + 1;

    const int kinds = int(crlf) + int(cr) + int(lf) + int(separator);
    if (kinds == 1 && crlf)
        m_lineBreak = QStringLiteral("\r\n");
    else if (kinds == 1 && cr)
        m_lineBreak = QStringLiteral("\r");
    else if (kinds == 1 && separator)
        m_lineBreak = QString(QChar(paragraphSeparator));
    else
        m_lineBreak = QStringLiteral("\n");

    m_segments.clear();
    if (m_baseLength > 0)
        m_segments.push_back({true, 0, m_baseLength, {}});
    m_length = m_baseLength;
}

QString EditorTextBuffer::displayText() const
{
    return displayText(0, m_baseLength);
}

QString EditorTextBuffer::displayText(qsizetype from, qsizetype length) const
{
    from = std::clamp<qsizetype>(from, 0, m_baseLength);
    const qsizetype end = from + std::clamp<qsizetype>(length, 0, m_baseLength - from);
    QString out(end - from, Qt::Uninitialized);
    char16_t* o = reinterpret_cast<char16_t*>(out.data());
    const char16_t* s = reinterpret_cast<const char16_t*>(m_base.utf16());
    size_t point = size_t(std::lower_bound(m_points.cbegin(), m_points.cend(), from) - m_points.cbegin());
    qsizetype stored = storedPosition(from);
    qsizetype at = from;
    while (at < end) {
        // Up to the next point, one stored character a displayed one.
        const qsizetype runEnd = point < m_points.size() ? std::min(end, m_points[point]) : end;
        for (; at < runEnd; ++at, ++stored) {
            const char16_t c = s[stored];
            if (c == u'\r' || c == u'\n' || becomesSeparator(c))
                *o++ = paragraphSeparator;
            else if (const char16_t mark = TextCharacters::bidiControlMark(c))
                *o++ = mark;
            else if (m_coverage && !QChar::isSurrogate(c))
                *o++ = m_coverage->shownAs(c);
            else
                *o++ = c;
        }
        if (at == end)
            break;
        // A CR LF pair or a cut: one separator for two stored characters or for none.
        *o++ = paragraphSeparator;
        const qsizetype before = point > 0 ? m_shiftAfter[point - 1] : 0;
        stored += 1 + (m_shiftAfter[point] - before);
        ++at;
        ++point;
    }
    return out;
}

qsizetype EditorTextBuffer::storedPosition(qsizetype displayPosition) const
{
    const auto before = std::lower_bound(m_points.cbegin(), m_points.cend(), displayPosition);
    const qsizetype index = before - m_points.cbegin();
    return displayPosition + (index > 0 ? m_shiftAfter[size_t(index - 1)] : 0);
}

void EditorTextBuffer::appendStored(QString& out, const Segment& segment, qsizetype from, qsizetype to) const
{
    // `from` and `to` are offsets into the segment.
    if (to <= from)
        return;
    // A lone CR before and an LF after the place where two pieces meet would read as one CR LF,
    // one line break where the editor shows two: the second becomes a CR LF of its own.
    auto join = [&out](QStringView piece) {
        if (piece.startsWith(u'\n') && out.endsWith(u'\r'))
            out.append(u'\r');
        out.append(piece);
    };
    if (segment.original) {
        const qsizetype begin = storedPosition(segment.start + from);
        const qsizetype end = storedPosition(segment.start + to);
        join(QStringView(m_base).mid(begin, end - begin));
    } else {
        QString piece;
        appendNew(piece, QStringView(segment.text).mid(from, to - from));
        join(piece);
    }
}

void EditorTextBuffer::appendNew(QString& out, QStringView text) const
{
    qsizetype from = 0;
    while (from < text.size()) {
        const qsizetype separator = text.indexOf(QChar(paragraphSeparator), from);
        if (separator < 0) {
            out.append(text.mid(from));
            return;
        }
        out.append(text.mid(from, separator - from));
        out.append(m_lineBreak);
        from = separator + 1;
    }
}

bool EditorTextBuffer::replace(qsizetype position, qsizetype removed, const QString& added)
{
    if (position < 0 || removed < 0 || position > m_length || removed > m_length - position)
        return false;
    if (removed == 0 && added.isEmpty())
        return true;

    // Makes a segment start at `at`; the index of that segment (or the end).
    auto splitAt = [this](qsizetype at) -> size_t {
        qsizetype offset = 0;
        for (size_t i = 0; i < m_segments.size(); ++i) {
            if (offset == at)
                return i;
            Segment& segment = m_segments[i];
            if (at < offset + segment.length) {
                const qsizetype split = at - offset;
                Segment right = segment;
                right.length = segment.length - split;
                if (segment.original) {
                    right.start = segment.start + split;
                } else {
                    right.text = segment.text.mid(split);
                    segment.text.truncate(split);
                }
                segment.length = split;
                m_segments.insert(m_segments.begin() + std::ptrdiff_t(i + 1), std::move(right));
                return i + 1;
            }
            offset += segment.length;
        }
        return m_segments.size();
    };
    const size_t first = splitAt(position);
    const size_t last = splitAt(position + removed);
    m_segments.erase(m_segments.begin() + std::ptrdiff_t(first), m_segments.begin() + std::ptrdiff_t(last));
    if (!added.isEmpty())
        m_segments.insert(m_segments.begin() + std::ptrdiff_t(first), Segment{false, 0, added.size(), added});
    m_length += added.size() - removed;
    normalize();
    return true;
}

void EditorTextBuffer::normalize()
{
    auto merge = [this] {
        std::vector<Segment> merged;
        merged.reserve(m_segments.size());
        for (Segment& segment : m_segments) {
            if (segment.length == 0)
                continue;
            if (!merged.empty()) {
                Segment& previous = merged.back();
                if (!previous.original && !segment.original) {
                    previous.text += segment.text;
                    previous.length += segment.length;
                    continue;
                }
                if (previous.original && segment.original && previous.start + previous.length == segment.start) {
                    previous.length += segment.length;
                    continue;
                }
            }
            merged.push_back(std::move(segment));
        }
        m_segments = std::move(merged);
    };
    merge();
    // New text that is exactly what stood in that place before (typed again, undone) is the
    // loaded text again. Originals keep their order, so the gap between two of them is where
    // the new text stands.
    bool restored = false;
    for (size_t i = 0; i < m_segments.size(); ++i) {
        Segment& segment = m_segments[i];
        if (segment.original)
            continue;
        const qsizetype gapStart = i > 0 ? m_segments[i - 1].start + m_segments[i - 1].length : 0;
        const qsizetype gapEnd = i + 1 < m_segments.size() ? m_segments[i + 1].start : m_baseLength;
        if (gapEnd - gapStart != segment.length || displayText(gapStart, segment.length) != segment.text)
            continue;
        segment = Segment{true, gapStart, segment.length, {}};
        restored = true;
    }
    if (restored)
        merge();
}

void EditorTextBuffer::resynchronize(const QString& editorText)
{
    const QString current = currentDisplayText();
    const qsizetype shorter = std::min(current.size(), editorText.size());
    qsizetype prefix = 0;
    while (prefix < shorter && current[prefix] == editorText[prefix])
        ++prefix;
    qsizetype suffix = 0;
    while (suffix < shorter - prefix
           && current[current.size() - 1 - suffix] == editorText[editorText.size() - 1 - suffix])
        ++suffix;
    replace(prefix, current.size() - prefix - suffix, editorText.mid(prefix, editorText.size() - prefix - suffix));
}

QString EditorTextBuffer::currentDisplayText() const
{
    if (isUntouched())
        return displayText();
    QString out;
    out.reserve(m_length);
    for (const Segment& segment : m_segments) {
        if (segment.original)
            out.append(displayText(segment.start, segment.length));
        else
            out.append(segment.text);
    }
    return out;
}

QString EditorTextBuffer::storedText() const
{
    if (isUntouched())
        return m_base;
    QString out;
    out.reserve(m_length + m_length / 16);
    for (const Segment& segment : m_segments)
        appendStored(out, segment, 0, segment.length);
    return out;
}

QString EditorTextBuffer::storedText(qsizetype from, qsizetype to) const
{
    from = std::clamp<qsizetype>(from, 0, m_length);
    to = std::clamp<qsizetype>(to, from, m_length);
    QString out;
    qsizetype offset = 0;
    for (const Segment& segment : m_segments) {
        const qsizetype begin = std::max(from, offset);
        const qsizetype end = std::min(to, offset + segment.length);
        if (begin < end)
            appendStored(out, segment, begin - offset, end - offset);
        offset += segment.length;
        if (offset >= to)
            break;
    }
    return out;
}

bool EditorTextBuffer::isUntouched() const
{
    if (m_segments.empty())
        return m_baseLength == 0;
    return m_segments.size() == 1 && m_segments.front().original && m_segments.front().start == 0
        && m_segments.front().length == m_baseLength;
}

void EditorTextBuffer::rebase()
{
    if (!isUntouched())
        load(storedText());
}

} // namespace tolvi
