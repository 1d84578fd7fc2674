// What the settings watcher spends on one reading of an owner's property: a desktop's few dozen
// settings, and an owner publishing a hundred thousand (of which the watcher reads its bound).

#include "Tolvi/platform/accessibility/XSettingsWatcher.h"

#include <benchmark/benchmark.h>

using namespace tolvi;

namespace {

// `count` integer settings of 20-byte names, then the theme name, least significant byte first.
QByteArray property(quint32 count)
{
    QByteArray bytes;
    auto card32 = [&bytes](quint32 v) {
        for (int shift = 0; shift < 32; shift += 8)
            bytes.append(char((v >> shift) & 0xff));
    };
    bytes.append(QByteArray(4, '\0'));
    card32(1);
    card32(count + 1);
    for (quint32 i = 0; i < count; ++i) {
        const QByteArray name = "Filler/Setting" + QByteArray::number(i).rightJustified(6, '0');
        bytes.append('\0').append('\0').append(char(name.size())).append('\0').append(name);
        card32(1);
        card32(i);
    }
    const QByteArray theme = "Adwaita";
    bytes.append(char(1)).append('\0').append(char(13)).append('\0').append("Net/ThemeName").append(QByteArray(3, '\0'));
    card32(1);
    card32(quint32(theme.size()));
    bytes.append(theme).append('\0');
    return bytes;
}

void BM_ParseDesktopSettings(benchmark::State& state)
{
    const QByteArray bytes = property(60);
    for (auto _ : state)
        benchmark::DoNotOptimize(XSettingsWatcher::parse(bytes));
}
BENCHMARK(BM_ParseDesktopSettings);

// The watcher asks the server for at most its bound of the property: that part is parsed.
void BM_ParseAHundredThousandSettingsAsRead(benchmark::State& state)
{
    const QByteArray bytes = property(100000).left(XSettingsWatcher::maximumPropertyBytes);
    for (auto _ : state)
        benchmark::DoNotOptimize(XSettingsWatcher::parse(bytes));
    state.SetBytesProcessed(state.iterations() * bytes.size());
}
BENCHMARK(BM_ParseAHundredThousandSettingsAsRead)->Unit(benchmark::kMicrosecond);

} // namespace
