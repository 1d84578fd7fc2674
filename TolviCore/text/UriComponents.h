#pragma once

#include <QString>
#include <QStringView>

#include <optional>

namespace tolvi {

// A URI reference split into its RFC 3986 components, each kept as the raw text it was written
// with: nothing is lower-cased, decoded, re-encoded or converted to punycode, so joining the
// components again gives back exactly the text that was parsed. Parsing is strict: any
// character outside the grammar (non-ASCII letters, blanks, a "%" without two hexadecimal digits,
// a malformed IP literal) refuses the whole text.
struct UriComponents {
    std::optional<QString> scheme;
    // Present exactly when the reference has an authority ("//" after the scheme).
    std::optional<QString> userInfo;
    std::optional<QString> host; // with the brackets of an IP literal
    std::optional<QString> port;
    QString path;
    std::optional<QString> query;    // without the "?"
    std::optional<QString> fragment; // without the "#"

    bool hasAuthority() const { return host.has_value(); }

    static std::optional<UriComponents> parse(QStringView text);

    // The same components as views into the parsed text, for a caller that needs only some of
    // them and copies nothing (an address may be megabytes long, most of it its query).
    struct Views {
        std::optional<QStringView> scheme;
        std::optional<QStringView> userInfo;
        std::optional<QStringView> host;
        std::optional<QStringView> port;
        QStringView path;
        std::optional<QStringView> query;
        std::optional<QStringView> fragment;
    };
    static std::optional<Views> split(QStringView text);

    // The reference written out again from its components.
    QString toString() const;

    // Decodes percent-encoding; nothing when the text holds a malformed escape or when the
    // decoded bytes are not UTF-8.
    static std::optional<QString> percentDecoded(QStringView text);
};

} // namespace tolvi
