#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

namespace tolvi {

// The rich forms kept beside a clip's plain form: RTF and/or HTML bytes, or a list of file
// references. File URLs are kept as the raw strings the pasteboard offered, never re-encoded.
// The only way to build one is create(), which enforces every limit, so every value that
// exists is valid.
class ClipboardOriginalPayload {
public:
    static constexpr qsizetype maximumRepresentationBytes = 1'000'000;
    static constexpr qsizetype maximumFileCount = 100;
    static constexpr qsizetype maximumFileURLBytes = 8'192;

    // Returns nothing when any rule refuses; never trims or repairs its input.
    static std::optional<ClipboardOriginalPayload> create(std::optional<QByteArray> rtf,
                                                          std::optional<QByteArray> html,
                                                          QStringList fileURLs);

    // A file URL with the scheme file, no host (or an empty one, or exactly "localhost"), a path
    // that begins with "/", and at most 8,192 bytes of UTF-8.
    static bool isSupportedFileURL(const QString& url);

    const std::optional<QByteArray>& rtf() const { return rtf_; }
    const std::optional<QByteArray>& html() const { return html_; }
    const QStringList& fileURLs() const { return fileURLs_; }
    // SHA-256 of the length-prefixed layout "<n>:<rtf><n>:<html>(<n>:<url>)*".
    const QString& fingerprint() const { return fingerprint_; }

    friend bool operator==(const ClipboardOriginalPayload& a, const ClipboardOriginalPayload& b);

private:
    ClipboardOriginalPayload() = default;

    std::optional<QByteArray> rtf_;
    std::optional<QByteArray> html_;
    QStringList fileURLs_;
    QString fingerprint_;
};

// The pasteboard marker types by which other programs ask not to be recorded.
namespace ClipboardCapturePolicy {

// False when any offered type is one of the markers (exact, case-sensitive comparison).
bool shouldCapture(const QStringList& typeIdentifiers);

} // namespace ClipboardCapturePolicy
} // namespace tolvi
