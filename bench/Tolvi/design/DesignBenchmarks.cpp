// Drawing costs of the design pieces: token and type lookups (done on every
// paint), symbol rasterising, plates, and recolouring an open window on a theme
// switch. Offscreen; run by hand:
//   TolviDesignBenchmarks [--benchmark_filter=...]
#include "Tolvi/design/Badges.h"
#include "Tolvi/design/DesignTokens.h"
#include "Tolvi/design/Surfaces.h"
#include "Tolvi/design/SymbolCatalog.h"
#include "Tolvi/design/TolviPrimaryButton.h"
#include "Tolvi/design/TolviTheme.h"

#include <QApplication>
#include <QGridLayout>
#include <QImage>
#include <QPainter>

#include <benchmark/benchmark.h>

namespace tolvi {
namespace {

using TolviDesign::ColorToken;
using TolviDesign::Typography;

void BM_ResolveEveryToken(benchmark::State& state)
{
    const auto appearance = state.range(0) ? ThemeAppearance::dark : ThemeAppearance::light;
    for (auto _ : state) {
        for (ColorToken token : TolviDesign::allColorTokens)
            benchmark::DoNotOptimize(TolviDesign::color(token, appearance));
    }
    state.SetItemsProcessed(state.iterations() * qint64(TolviDesign::allColorTokens.size()));
}
BENCHMARK(BM_ResolveEveryToken)->Arg(0)->Arg(1);

void BM_TypeScaleLookup(benchmark::State& state)
{
    for (auto _ : state) {
        for (Typography style : TolviDesign::allTypography)
            benchmark::DoNotOptimize(&TolviDesign::font(style));
    }
    state.SetItemsProcessed(state.iterations() * qint64(TolviDesign::allTypography.size()));
}
BENCHMARK(BM_TypeScaleLookup);

// A symbol as rows and tiles paint it on every repaint (rasterised and tinted once per look).
void BM_SymbolPixmap(benchmark::State& state)
{
    const int size = int(state.range(0));
    const QColor tint = TolviDesign::color(ColorToken::electricBlue, ThemeAppearance::light);
    for (auto _ : state)
        benchmark::DoNotOptimize(SymbolCatalog::pixmap(QStringLiteral("doc.on.clipboard"), size, tint));
}
BENCHMARK(BM_SymbolPixmap)->Arg(12)->Arg(18)->Arg(36);

void BM_PaintPlate(benchmark::State& state)
{
    QImage image(720, 480, QImage::Format_ARGB32_Premultiplied);
    DesignContext context;
    context.translucencyAvailable = state.range(0) != 0;
    for (auto _ : state) {
        QPainter painter(&image);
        paintLiquidPlate(painter, QRectF(0, 0, 720, 480), 22, context);
    }
}
BENCHMARK(BM_PaintPlate)->Arg(0)->Arg(1);

// A window of 60 badges, tiles and buttons on a backdrop, switched between the
// themes and drawn again, as on a theme change.
void BM_ThemeSwitchRedraw(benchmark::State& state)
{
    TolviTheme theme;
    theme.setTranslucencyOverride(true);
    TolviConsoleBackdrop window;
    auto* grid = new QGridLayout(&window);
    for (int i = 0; i < 20; ++i) {
        grid->addWidget(new TolviBadge(QStringLiteral("Pinned"), QStringLiteral("pin.fill"), ColorToken::amber), i, 0);
        grid->addWidget(new TolviIconTile(QStringLiteral("photo"), ColorToken::mint), i, 1);
        grid->addWidget(new TolviPrimaryButton(QStringLiteral("Paste")), i, 2);
    }
    tolviConsoleAppearance(&window, &theme);
    window.resize(window.sizeHint());
    QImage image(window.size(), QImage::Format_ARGB32_Premultiplied);
    bool dark = false;
    for (auto _ : state) {
        dark = !dark;
        theme.setAppearance(dark ? ThemeAppearance::dark : ThemeAppearance::light);
        window.render(&image);
    }
}
BENCHMARK(BM_ThemeSwitchRedraw)->Unit(benchmark::kMillisecond);

} // namespace
} // namespace tolvi
