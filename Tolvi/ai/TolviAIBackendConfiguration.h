#pragma once

#include <QString>
#include <QUrl>

#include <optional>

namespace tolvi {

// The build's values for the rewrite service. They come from the build's bundle values; each is
// absent when the build does not set it.
struct TolviAIBackendConfiguration {
    // "TolviAIEndpointURL".
    std::optional<QString> endpointURLValue;
    // "CFBundleShortVersionString" and "CFBundleVersion".
    std::optional<QString> shortVersion;
    std::optional<QString> buildVersion;

    static QString defaultEndpointURL();

    // The configured endpoint, trimmed, when it is not blank; otherwise the default endpoint.
    // A configured value that is no http(s) URL gives an invalid URL, which the provider refuses
    // to send to.
    QUrl endpoint() const;
    // The short version and the build number joined with one space, only the present ones.
    QString appVersion() const;
};

} // namespace tolvi
