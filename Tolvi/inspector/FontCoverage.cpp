#include "Tolvi/inspector/FontCoverage.h"

#include "Tolvi/inspector/ShownText.h"

#include <QThreadPool>

#include <fontconfig/fontconfig.h>

#include <condition_variable>
#include <mutex>

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

FontCoverage::FontCoverage(const std::bitset<0x10000>& shown)
    : m_shown(shown)
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
            auto coverage = std::make_shared<const FontCoverage>(listedFontsShow());
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
