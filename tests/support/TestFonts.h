#pragma once
// The fonts a test program draws with: a fontconfig configuration of its own (FONTCONFIG_FILE)
// that names only the fonts below, so what a test measures and draws is the same on a bare
// machine and on a desktop with many more fonts installed. The generic families (sans-serif,
// serif, monospace, and "Sans Serif" as Qt asks for it) resolve to DejaVu; any other family falls
// back to DejaVu Sans. The set with colour emoji adds Noto Color Emoji, as a desktop has it, for
// the tests about emoji.
//
// The configuration must be in place before the first font is looked up, that is before the
// application object is created; programs the test starts inherit it through the environment.
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

namespace tolvi::test {

class TestFonts {
public:
    enum class Set { standard, withColourEmoji };

    // Writes the configuration into a folder of its own, which lives as long as this object.
    explicit TestFonts(Set set);

    TestFonts(const TestFonts&) = delete;
    TestFonts& operator=(const TestFonts&) = delete;

    // Empty when the configuration is written; otherwise what is missing (a font file and the
    // Debian package that holds it, or the folder).
    const QString& error() const { return m_error; }
    QString configurationFile() const;

    // Points FONTCONFIG_FILE at the configuration. Returns false (and changes nothing) on an error.
    bool install() const;

    // The families the configuration holds.
    static QStringList families(Set set);

private:
    QTemporaryDir m_folder;
    QString m_error;
};

} // namespace tolvi::test
