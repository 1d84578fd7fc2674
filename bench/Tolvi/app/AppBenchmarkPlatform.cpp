#include "AppBenchmarkPlatform.h"

#include "Tolvi/history/ClipboardPanelController.h"
#include "TolviCore/persistence/FileClipboardHistoryPersistence.h"

namespace tolvi::bench {

namespace {

struct NoWindow final : SimpleWindowControlling, WhatsNewWindowControlling {
    bool hasWindow() const override { return false; }
    bool isWindowVisible() const override { return false; }
    void orderOut() override {}
    void setHiddenFromScreenCapture(bool) override {}
    void show() override {}
    void show(bool) override {}
};

} // namespace

AppEnvironment AppBenchmarkPlatform::environment(const QString& historyPath)
{
    AppEnvironment env{
        .settings = settings,
        .bundle = bundle,
        .clock = clock,
        .scheduler = scheduler,
        .alerts = alerts,
        .filePanels = panels,
        .desktop = desktop,
        .workspace = workspace,
        .pasteboard = pasteboard,
        .hotKeys = hotKeys,
        .historyFilePath = historyPath,
        .makePersistence = [](const QString& path) { return std::make_shared<FileClipboardHistoryPersistence>(path); },
    };
    env.pasteEnvironment.frontmostPID = [] { return std::optional<qint64>(); };
    env.pasteEnvironment.isTolvi = [](qint64) { return false; };
    env.pasteEnvironment.schedule = [this](double seconds, std::function<void()> work) {
        scheduler.scheduleOnce(seconds, std::move(work));
    };
    env.recognizeImage = [](const QByteArray&, std::function<void(ImageRecognitionOutcome)>) {};
    env.windows.history = [](AppState& app) -> std::unique_ptr<HistoryWindowControlling> {
        return std::make_unique<ClipboardPanelController>(ClipboardPanelController::Dependencies{
            app.clipboardStore(), app.featureFlags(), app.usageMetricsStore(), app.pasteService(), &app.preferencesStore(),
            nullptr, {}, {}, &app.theme(), nullptr, nullptr, {}, {}, {}});
    };
    env.windows.whatsNew = [](AppState&) -> std::unique_ptr<WhatsNewWindowControlling> { return std::make_unique<NoWindow>(); };
    env.windows.setup = [](AppState&) -> std::unique_ptr<SimpleWindowControlling> { return std::make_unique<NoWindow>(); };
    return env;
}

} // namespace tolvi::bench
