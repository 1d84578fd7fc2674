#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

namespace tolvi {

// The platform-neutral type identifiers that clips are stored and written with, and their
// mapping to the MIME types and X11 selection targets of the Linux desktop.
namespace PasteboardTypes {

inline const QString plainText = QStringLiteral("public.utf8-plain-text");
inline const QString rtf = QStringLiteral("public.rtf");
inline const QString html = QStringLiteral("public.html");
inline const QString fileURL = QStringLiteral("public.file-url");
inline const QString png = QStringLiteral("public.png");
inline const QString tiff = QStringLiteral("public.tiff");
inline const QString jpeg = QStringLiteral("public.jpeg");
inline const QString gif = QStringLiteral("com.compuserve.gif");
inline const QString heic = QStringLiteral("public.heic");
inline const QString heif = QStringLiteral("public.heif");
inline const QString webp = QStringLiteral("org.webmproject.webp");

// The Linux password-manager convention: a copy that carries this type must never be recorded.
inline const QString passwordManagerHint = QStringLiteral("x-kde-passwordManagerHint");

// Selection targets that describe the selection rather than hold a representation of it
// (TARGETS, MULTIPLE, TIMESTAMP, SAVE_TARGETS, ...) and Qt's synthetic image format.
bool isMetaTarget(const QString& target);

// The type identifier a target or MIME type stands for. Text targets (UTF8_STRING, STRING,
// TEXT, text/plain...) map to plain text; unknown targets pass through verbatim. Meta targets
// give nothing. text/uri-list maps to nothing here: file references are decided by its content.
std::optional<QString> typeIdentifierForTarget(const QString& target);

// The targets to read for a type identifier, most preferred first.
QStringList targetsForTypeIdentifier(const QString& typeIdentifier);

// The MIME type a type identifier is written under.
QString mimeTypeForTypeIdentifier(const QString& typeIdentifier);

// The MIME type GNOME's file managers (and others after them) put file copies under: "copy" or
// "cut", then one URI per line.
inline const QString gnomeCopiedFilesTarget = QStringLiteral("x-special/gnome-copied-files");

// The URIs of a text/uri-list (RFC 2483): lines separated by CRLF (a bare LF is accepted, and a
// NUL, which some file managers end their lists with), lines starting with '#' are comments,
// blank lines are skipped.
QList<QByteArray> parseUriList(const QByteArray& data);

// The URIs of an x-special/gnome-copied-files list; nothing unless its first line is "copy" or
// "cut".
QList<QByteArray> parseGnomeCopiedFiles(const QByteArray& data);

// The URI's scheme is "file" (case-insensitive).
bool isFileUri(const QByteArray& uri);

// Control characters replaced by '_' and the text cut to at most maxLength characters (with
// "..." appended when cut). For names that come from other programs and end up in logs.
QString sanitizedForLog(const QString& text, qsizetype maxLength = 80);

} // namespace PasteboardTypes
} // namespace tolvi
