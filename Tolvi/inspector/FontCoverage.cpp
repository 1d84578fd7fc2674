#include "Tolvi/inspector/FontCoverage.h"

#include "Tolvi/design/DesignTokens.h"
#include "Tolvi/inspector/ShownText.h"

#include <QGlyphRun>
#include <QRawFont>
#include <QTextLayout>
#include <QThreadPool>

#include <fontconfig/fontconfig.h>

#include <condition_variable>
#include <mutex>
#include <utility>

namespace tolvi {

namespace {

// The characters of the plane that some listed font has, from the font configuration (already
// loaded by Qt: nothing is read from disk).
std::bitset<0x10000> listedFontsShow()
{
    std::bitset<0x10000> shown;
    FcPattern* pattern = FcPatternCreate();
    FcObjectSet* objects = FcObjectSetBuild(FC_CHARSET, nullptr);
    FcFontSet* fonts = pattern && objects ? FcFontList(nullptr, pattern, objects) : nullptr;
    FcCharSet* all = FcCharSetCreate();
    if (fonts && all) {
        for (int i = 0; i < fonts->nfont; ++i) {
            FcCharSet* charset = nullptr;
            if (FcPatternGetCharSet(fonts->fonts[i], FC_CHARSET, 0, &charset) == FcResultMatch && charset)
                FcCharSetMerge(all, charset, nullptr);
        }
        for (FcChar32 c = 0; c < 0x10000; ++c) {
            if (FcCharSetHasChar(all, c))
                shown.set(c);
        }
    } else {
        shown.set();  // nothing known: every character counts as shown
    }
    if (all)
        FcCharSetDestroy(all);
    if (fonts)
        FcFontSetDestroy(fonts);
    if (objects)
        FcObjectSetDestroy(objects);
    if (pattern)
        FcPatternDestroy(pattern);
    return shown;
}

// The families that show emoji in the views' font, where that font has none, in the order its
// search for them finds them: a few emoji of the blocks fonts cover apart (smileys, people,
// newer ones).
QStringList familiesShowingPictographs()
{
    const QFont font = TolviDesign::systemFont(13);
    auto familyOf = [&font](const QString& text) {
        QTextLayout layout(text, font);
        layout.beginLayout();
        layout.createLine();
        layout.endLayout();
        const QList<QGlyphRun> runs = layout.glyphRuns();
        return runs.isEmpty() ? QString() : runs.last().rawFont().familyName();
    };
    const QString own = familyOf(QStringLiteral("a"));
    QStringList families;
    for (const char32_t emoji : {U'\U0001F600', U'\U0001F44D', U'\U0001F468', U'\U0001F9D1', U'\U0001FAE0'}) {
        const QString family = familyOf(QString::fromUcs4(&emoji, 1));
        if (!family.isEmpty() && family != own && !families.contains(family))
            families.append(family);
    }
    return families;
}

struct Installed {
    std::mutex mutex;
    std::condition_variable ready;
    bool started = false;
    std::shared_ptr<const FontCoverage> coverage;
};

Installed& installedState()
{
    static Installed state;
    return state;
}

} // namespace

FontCoverage::FontCoverage(const std::bitset<0x10000>& shown, QStringList pictographFamilies)
    : m_shown(shown),
      m_pictographFamilies(std::move(pictographFamilies))
{
    for (const char16_t box : {char16_t(0x25A1), char16_t(0xFFFD)}) {
        if (m_shown.test(box)) {
            m_box = box;
            break;
        }
    }
}

QString FontCoverage::shown(QString text) const
{
    if (m_box == 0)
        return text;
    const qsizetype n = text.size();
    const char16_t* data = reinterpret_cast<const char16_t*>(text.constData());
    for (qsizetype i = 0; i < n; ++i) {
        const char16_t c = data[i];
        if (QChar::isSurrogate(c))
            continue;
        if (const char16_t shownAs = this->shownAs(c); shownAs != c) {
            text[i] = QChar(shownAs);  // detaches once; data() stays valid for reading
            data = reinterpret_cast<const char16_t*>(text.constData());
        }
    }
    return text;
}

QFont FontCoverage::withPictographFamilies(QFont font) const
{
    QStringList families = font.families();
    if (families.isEmpty())
        families.append(font.family());
    const qsizetype own = families.size();
    for (const QString& family : m_pictographFamilies) {
        if (!families.contains(family))
            families.append(family);
    }
    if (families.size() > own)
        font.setFamilies(families);
    return font;
}

bool FontCoverage::isDrawnAlone(char16_t c)
{
    switch (QChar::category(c)) {
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
    case QChar::Separator_Space:
    case QChar::Separator_Line:
    case QChar::Separator_Paragraph:
    case QChar::Other_Control:
    case QChar::Other_Format:
    case QChar::Other_Surrogate:
        return false;
    default:
        return true;
    }
}

std::shared_ptr<const FontCoverage> FontCoverage::installed()
{
    Installed& state = installedState();
    std::lock_guard lock(state.mutex);
    if (!state.started) {
        state.started = true;
        ShownText::workPool().start([&state] {
            auto coverage = std::make_shared<const FontCoverage>(listedFontsShow(), familiesShowingPictographs());
            std::lock_guard done(state.mutex);
            state.coverage = std::move(coverage);
            state.ready.notify_all();
        });
    }
    return state.coverage;
}

std::shared_ptr<const FontCoverage> FontCoverage::installedWhenReady()
{
    installed();
    Installed& state = installedState();
    std::unique_lock lock(state.mutex);
    state.ready.wait(lock, [&state] { return state.coverage != nullptr; });
    return state.coverage;
}

} // namespace tolvi
