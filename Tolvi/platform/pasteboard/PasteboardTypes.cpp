#include "Tolvi/platform/pasteboard/PasteboardTypes.h"

#include <QHash>

namespace tolvi::PasteboardTypes {

namespace {

struct Mapping {
    const char* mime;
    QString identifier;
};

const QList<Mapping>& imageMappings()
{
    static const QList<Mapping> mappings{
        {"image/png", png},   {"image/tiff", tiff}, {"image/jpeg", jpeg}, {"image/gif", gif},
        {"image/heic", heic}, {"image/heif", heif}, {"image/webp", webp},
    };
    return mappings;
}

} // namespace

bool isMetaTarget(const QString& target)
{
    static const QStringList meta{
        QStringLiteral("TARGETS"),         QStringLiteral("MULTIPLE"),
        QStringLiteral("TIMESTAMP"),       QStringLiteral("SAVE_TARGETS"),
        QStringLiteral("DELETE"),          QStringLiteral("INSERT_SELECTION"),
        QStringLiteral("INSERT_PROPERTY"), QStringLiteral("application/x-qt-image"),
    };
    return target.isEmpty() || meta.contains(target);
}

std::optional<QString> typeIdentifierForTarget(const QString& target)
{
    if (isMetaTarget(target))
        return std::nullopt;
    if (target == QLatin1String("text/uri-list"))
        return std::nullopt;
    if (target == QLatin1String("UTF8_STRING") || target == QLatin1String("STRING") ||
        target == QLatin1String("TEXT") || target == QLatin1String("COMPOUND_TEXT") ||
        target == QLatin1String("text/plain") ||
        target.startsWith(QLatin1String("text/plain;"), Qt::CaseInsensitive))
        return plainText;
    if (target == QLatin1String("text/rtf") || target == QLatin1String("application/rtf") ||
        target == QLatin1String("text/richtext"))
        return rtf;
    if (target == QLatin1String("text/html"))
        return html;
    for (const Mapping& mapping : imageMappings()) {
        if (target == QLatin1String(mapping.mime))
            return mapping.identifier;
    }
    return target;
}

QStringList targetsForTypeIdentifier(const QString& typeIdentifier)
{
    if (typeIdentifier == plainText)
        return {QStringLiteral("UTF8_STRING"), QStringLiteral("text/plain;charset=utf-8"),
                QStringLiteral("text/plain"), QStringLiteral("STRING")};
    if (typeIdentifier == rtf)
        return {QStringLiteral("text/rtf"), QStringLiteral("application/rtf"), QStringLiteral("text/richtext")};
    if (typeIdentifier == html)
        return {QStringLiteral("text/html")};
    if (typeIdentifier == fileURL)
        return {QStringLiteral("text/uri-list")};
    for (const Mapping& mapping : imageMappings()) {
        if (typeIdentifier == mapping.identifier)
            return {QString::fromLatin1(mapping.mime)};
    }
    return {typeIdentifier};
}

QString mimeTypeForTypeIdentifier(const QString& typeIdentifier)
{
    if (typeIdentifier == plainText)
        return QStringLiteral("text/plain");
    if (typeIdentifier == rtf)
        return QStringLiteral("text/rtf");
    return targetsForTypeIdentifier(typeIdentifier).constFirst();
}

QList<QByteArray> parseUriList(const QByteArray& data)
{
    QList<QByteArray> uris;
    QByteArray lines = data;
    lines.replace('\0', '\n');
    for (QByteArray line : lines.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith('#'))
            continue;
        uris.append(line);
    }
    return uris;
}

QList<QByteArray> parseGnomeCopiedFiles(const QByteArray& data)
{
    QByteArray lines = data;
    lines.replace('\0', '\n');
    const qsizetype end = lines.indexOf('\n');
    const QByteArray action = (end < 0 ? lines : lines.left(end)).trimmed();
    if (action != "copy" && action != "cut")
        return {};
    return end < 0 ? QList<QByteArray>() : parseUriList(lines.mid(end + 1));
}

bool isFileUri(const QByteArray& uri)
{
    return uri.size() >= 5 && uri.left(5).toLower() == "file:";
}

QString sanitizedForLog(const QString& text, qsizetype maxLength)
{
    QString result;
    result.reserve(qMin(text.size(), maxLength));
    qsizetype taken = 0;
    for (qsizetype i = 0; i < text.size(); ++i) {
        if (taken >= maxLength) {
            result += QStringLiteral("...");
            break;
        }
        const QChar c = text.at(i);
        const auto category = c.category();
        if (category == QChar::Other_Control || category == QChar::Other_Format ||
            category == QChar::Separator_Line || category == QChar::Separator_Paragraph)
            result += QLatin1Char('_');
        else
            result += c;
        ++taken;
    }
    return result;
}

} // namespace tolvi::PasteboardTypes
