#include "TolviCore/text/UriComponents.h"

#include <QByteArray>
#include <QStringDecoder>

namespace tolvi {

namespace {

bool isAlpha(char16_t c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

bool isDigit(char16_t c)
{
    return c >= u'0' && c <= u'9';
}

bool isHexDigit(char16_t c)
{
    return isDigit(c) || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
}

bool isUnreserved(char16_t c)
{
    return isAlpha(c) || isDigit(c) || c == u'-' || c == u'.' || c == u'_' || c == u'~';
}

bool isSubDelim(char16_t c)
{
    switch (c) {
    case u'!': case u'$': case u'&': case u'\'': case u'(': case u')':
    case u'*': case u'+': case u',': case u';': case u'=':
        return true;
    default:
        return false;
    }
}

// True when every character is unreserved, a sub-delimiter, one of `extra`, or a well-formed
// percent escape.
bool isEncodedRun(QStringView text, QStringView extra)
{
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text[i].unicode();
        if (c == u'%') {
            if (i + 2 >= n || !isHexDigit(text[i + 1].unicode()) || !isHexDigit(text[i + 2].unicode()))
                return false;
            i += 2;
            continue;
        }
        if (isUnreserved(c) || isSubDelim(c) || extra.contains(QChar(c)))
            continue;
        return false;
    }
    return true;
}

bool isValidScheme(QStringView text)
{
    if (text.isEmpty() || !isAlpha(text[0].unicode()))
        return false;
    for (QChar ch : text) {
        const char16_t c = ch.unicode();
        if (!isAlpha(c) && !isDigit(c) && c != u'+' && c != u'-' && c != u'.')
            return false;
    }
    return true;
}

bool isIPv4(QStringView text)
{
    int parts = 0;
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (true) {
        qsizetype start = i;
        while (i < n && isDigit(text[i].unicode()))
            ++i;
        const qsizetype length = i - start;
        if (length == 0 || length > 3 || (length > 1 && text[start] == u'0'))
            return false;
        if (text.sliced(start, length).toInt() > 255)
            return false;
        ++parts;
        if (i == n)
            return parts == 4;
        if (text[i] != u'.' || parts == 4)
            return false;
        ++i;
    }
}

bool isIPv6(QStringView text)
{
    // Up to eight groups of one to four hexadecimal digits, at most one "::", and an IPv4
    // address in place of the last two groups.
    int groups = 0;
    bool compressed = false;
    qsizetype i = 0;
    const qsizetype n = text.size();
    if (text.startsWith(u"::")) {
        compressed = true;
        i = 2;
        if (i == n)
            return true;
    } else if (text.startsWith(u':')) {
        return false;
    }
    while (i < n) {
        qsizetype start = i;
        while (i < n && isHexDigit(text[i].unicode()) && i - start < 5)
            ++i;
        if (i < n && text[i] == u'.') {
            if (!isIPv4(text.sliced(start)))
                return false;
            groups += 2;
            i = n;
            break;
        }
        const qsizetype length = i - start;
        if (length == 0 || length > 4)
            return false;
        ++groups;
        if (i == n)
            break;
        if (text[i] != u':')
            return false;
        ++i;
        if (i < n && text[i] == u':') {
            if (compressed)
                return false;
            compressed = true;
            ++i;
            if (i == n)
                break;
        } else if (i == n) {
            return false;
        }
    }
    return compressed ? groups <= 7 : groups == 8;
}

bool isValidHost(QStringView host)
{
    if (host.startsWith(u'[')) {
        if (!host.endsWith(u']') || host.size() < 3)
            return false;
        const QStringView inner = host.sliced(1, host.size() - 2);
        if (inner.startsWith(u'v') || inner.startsWith(u'V')) {
            // IPvFuture: "v" 1*HEXDIG "." 1*( unreserved / sub-delims / ":" )
            qsizetype i = 1;
            while (i < inner.size() && isHexDigit(inner[i].unicode()))
                ++i;
            if (i == 1 || i >= inner.size() || inner[i] != u'.' || i + 1 == inner.size())
                return false;
            for (QChar ch : inner.sliced(i + 1)) {
                const char16_t c = ch.unicode();
                if (!isUnreserved(c) && !isSubDelim(c) && c != u':')
                    return false;
            }
            return true;
        }
        return isIPv6(inner);
    }
    return isEncodedRun(host, u"");
}

} // namespace

std::optional<UriComponents::Views> UriComponents::split(QStringView text)
{
    Views result;
    QStringView rest = text;

    // Fragment and query first: "#" ends everything before it, "?" ends the path.
    const qsizetype hash = rest.indexOf(u'#');
    if (hash >= 0) {
        const QStringView fragment = rest.sliced(hash + 1);
        if (!isEncodedRun(fragment, u":@/?"))
            return std::nullopt;
        result.fragment = fragment;
        rest = rest.first(hash);
    }
    const qsizetype question = rest.indexOf(u'?');
    if (question >= 0) {
        const QStringView query = rest.sliced(question + 1);
        if (!isEncodedRun(query, u":@/?"))
            return std::nullopt;
        result.query = query;
        rest = rest.first(question);
    }

    // A scheme is the text before the first ":" when no "/" comes before it.
    const qsizetype colon = rest.indexOf(u':');
    const qsizetype slash = rest.indexOf(u'/');
    if (colon >= 0 && (slash < 0 || colon < slash)) {
        const QStringView scheme = rest.first(colon);
        if (!isValidScheme(scheme))
            return std::nullopt;
        result.scheme = scheme;
        rest = rest.sliced(colon + 1);
    }

    if (rest.startsWith(u"//")) {
        rest = rest.sliced(2);
        const qsizetype end = rest.indexOf(u'/');
        QStringView authority = end < 0 ? rest : rest.first(end);
        rest = end < 0 ? QStringView() : rest.sliced(end);

        const qsizetype at = authority.lastIndexOf(u'@');
        if (at >= 0) {
            const QStringView userInfo = authority.first(at);
            if (!isEncodedRun(userInfo, u":"))
                return std::nullopt;
            result.userInfo = userInfo;
            authority = authority.sliced(at + 1);
        }
        // The port follows the last ":" that is not inside an IP literal.
        const qsizetype bracket = authority.lastIndexOf(u']');
        const qsizetype portColon = authority.lastIndexOf(u':');
        QStringView host = authority;
        if (portColon >= 0 && portColon > bracket) {
            const QStringView port = authority.sliced(portColon + 1);
            for (QChar c : port) {
                if (!isDigit(c.unicode()))
                    return std::nullopt;
            }
            result.port = port;
            host = authority.first(portColon);
        }
        if (!isValidHost(host))
            return std::nullopt;
        result.host = host;
    } else if (!result.scheme && !rest.isEmpty()) {
        // A relative path may not have a ":" in its first segment.
        const qsizetype firstSlash = rest.indexOf(u'/');
        if (rest.first(firstSlash < 0 ? rest.size() : firstSlash).contains(u':'))
            return std::nullopt;
    }

    if (!isEncodedRun(rest, u":@/"))
        return std::nullopt;
    // Without an authority the path cannot begin with "//".
    if (!result.host && rest.startsWith(u"//"))
        return std::nullopt;
    result.path = rest;
    return result;
}

std::optional<UriComponents> UriComponents::parse(QStringView text)
{
    const std::optional<Views> views = split(text);
    if (!views)
        return std::nullopt;
    auto copy = [](const std::optional<QStringView>& view) -> std::optional<QString> {
        return view ? std::optional<QString>(view->toString()) : std::nullopt;
    };
    UriComponents result;
    result.scheme = copy(views->scheme);
    result.userInfo = copy(views->userInfo);
    result.host = copy(views->host);
    result.port = copy(views->port);
    result.path = views->path.toString();
    result.query = copy(views->query);
    result.fragment = copy(views->fragment);
    return result;
}

QString UriComponents::toString() const
{
    QString text;
    if (scheme)
        text += *scheme + QLatin1Char(':');
    if (host) {
        text += QLatin1String("//");
        if (userInfo)
            text += *userInfo + QLatin1Char('@');
        text += *host;
        if (port)
            text += QLatin1Char(':') + *port;
    }
    text += path;
    if (query)
        text += QLatin1Char('?') + *query;
    if (fragment)
        text += QLatin1Char('#') + *fragment;
    return text;
}

std::optional<QString> UriComponents::percentDecoded(QStringView text)
{
    if (!text.contains(u'%'))
        return text.toString();
    QByteArray bytes;
    bytes.reserve(text.size());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = text[i].unicode();
        if (c == u'%') {
            if (i + 2 >= n || !isHexDigit(text[i + 1].unicode()) || !isHexDigit(text[i + 2].unicode()))
                return std::nullopt;
            bytes.append(char(text.sliced(i + 1, 2).toUShort(nullptr, 16)));
            i += 2;
        } else if (c < 0x80) {
            bytes.append(char(c));
        } else {
            const qsizetype width = QChar::isHighSurrogate(c) && i + 1 < n ? 2 : 1;
            bytes.append(text.sliced(i, width).toUtf8());
            i += width - 1;
        }
    }
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless | QStringDecoder::Flag::ConvertInitialBom);
    QString decoded = decoder.decode(bytes);
    if (decoder.hasError())
        return std::nullopt;
    return decoded;
}

} // namespace tolvi
