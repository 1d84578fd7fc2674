#include "TestFonts.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QtGlobal>

namespace tolvi::test {
namespace {

struct FontFile {
    const char* path;
    const char* package;
};

constexpr FontFile dejaVu[] = {
    {"/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf", "fonts-dejavu-core"},
    {"/usr/share/fonts/truetype/dejavu/DejaVuSans-Bold.ttf", "fonts-dejavu-core"},
    {"/usr/share/fonts/truetype/dejavu/DejaVuSansMono.ttf", "fonts-dejavu-core"},
    {"/usr/share/fonts/truetype/dejavu/DejaVuSansMono-Bold.ttf", "fonts-dejavu-core"},
    {"/usr/share/fonts/truetype/dejavu/DejaVuSerif.ttf", "fonts-dejavu-core"},
    {"/usr/share/fonts/truetype/dejavu/DejaVuSerif-Bold.ttf", "fonts-dejavu-core"},
};
constexpr FontFile colourEmoji = {"/usr/share/fonts/truetype/noto/NotoColorEmoji.ttf", "fonts-noto-color-emoji"};

QString xmlEscaped(const QString& text)
{
    return text.toHtmlEscaped();
}

QString alias(const QString& generic, const QString& family)
{
    return QStringLiteral("  <alias binding=\"same\"><family>%1</family><prefer><family>%2</family></prefer></alias>\n")
        .arg(xmlEscaped(generic), xmlEscaped(family));
}

} // namespace

QStringList TestFonts::families(Set set)
{
    QStringList names{QStringLiteral("DejaVu Sans"), QStringLiteral("DejaVu Sans Mono"), QStringLiteral("DejaVu Serif")};
    if (set == Set::withColourEmoji)
        names << QStringLiteral("Noto Color Emoji");
    return names;
}

TestFonts::TestFonts(Set set)
{
    if (!m_folder.isValid()) {
        m_error = QStringLiteral("cannot create a folder for the test fonts: ") + m_folder.errorString();
        return;
    }
    // Readable by everyone: a test may run a helper program as another user.
    QFile::setPermissions(m_folder.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                               | QFileDevice::ReadGroup | QFileDevice::ExeGroup
                                               | QFileDevice::ReadOther | QFileDevice::ExeOther);
    const QDir root(m_folder.path());
    if (!root.mkpath(QStringLiteral("fonts")) || !root.mkpath(QStringLiteral("cache"))) {
        m_error = QStringLiteral("cannot create the test font folders in ") + root.path();
        return;
    }

    // Only the named files are seen, whatever else their folders hold: the fonts folder holds
    // links to them.
    QList<FontFile> files(std::begin(dejaVu), std::end(dejaVu));
    if (set == Set::withColourEmoji)
        files << colourEmoji;
    const QDir fonts(root.filePath(QStringLiteral("fonts")));
    for (const FontFile& file : files) {
        const QString path = QString::fromLatin1(file.path);
        if (!QFileInfo(path).isFile()) {
            m_error = QStringLiteral("the test font %1 is missing: install the package %2 (scripts/install-deps.sh)")
                          .arg(path, QString::fromLatin1(file.package));
            return;
        }
        if (!QFile::link(path, fonts.filePath(QFileInfo(path).fileName()))) {
            m_error = QStringLiteral("cannot link the test font ") + path;
            return;
        }
    }

    QString xml = QStringLiteral(
        "<?xml version=\"1.0\"?>\n"
        "<!DOCTYPE fontconfig SYSTEM \"urn:fontconfig:fonts.dtd\">\n"
        "<fontconfig>\n");
    xml += QStringLiteral("  <dir>%1</dir>\n").arg(xmlEscaped(fonts.path()));
    xml += QStringLiteral("  <cachedir>%1</cachedir>\n").arg(xmlEscaped(root.filePath(QStringLiteral("cache"))));
    for (const char* generic : {"sans-serif", "sans", "Sans Serif", "system-ui"})
        xml += alias(QString::fromLatin1(generic), QStringLiteral("DejaVu Sans"));
    for (const char* generic : {"serif", "Serif"})
        xml += alias(QString::fromLatin1(generic), QStringLiteral("DejaVu Serif"));
    for (const char* generic : {"monospace", "mono", "Sans Mono"})
        xml += alias(QString::fromLatin1(generic), QStringLiteral("DejaVu Sans Mono"));
    if (set == Set::withColourEmoji)
        xml += alias(QStringLiteral("emoji"), QStringLiteral("Noto Color Emoji"));
    // Every other family falls back to the sans-serif face, then (where present) to the emoji.
    xml += QStringLiteral(
        "  <match target=\"pattern\">\n"
        "    <edit name=\"family\" mode=\"append_last\"><string>DejaVu Sans</string></edit>\n"
        "  </match>\n");
    if (set == Set::withColourEmoji)
        xml += QStringLiteral(
            "  <match target=\"pattern\">\n"
            "    <edit name=\"family\" mode=\"append_last\"><string>Noto Color Emoji</string></edit>\n"
            "  </match>\n");
    xml += QStringLiteral("  <config><rescan><int>0</int></rescan></config>\n</fontconfig>\n");

    QFile file(configurationFile());
    if (!file.open(QIODevice::WriteOnly) || file.write(xml.toUtf8()) != xml.toUtf8().size()) {
        m_error = QStringLiteral("cannot write the test font configuration ") + file.fileName();
        return;
    }
}

QString TestFonts::configurationFile() const
{
    return QDir(m_folder.path()).filePath(QStringLiteral("fonts.conf"));
}

bool TestFonts::install() const
{
    if (!m_error.isEmpty())
        return false;
    qputenv("FONTCONFIG_FILE", QFile::encodeName(configurationFile()));
    return true;
}

} // namespace tolvi::test
