#pragma once

#include "Tolvi/platform/pasteboard/InMemoryPasteboard.h"
#include "Tolvi/platform/settings/InMemoryKeyValueSettings.h"
#include "Tolvi/services/paste/PasteService.h"
#include "Tolvi/shell/UsageMetricsStore.h"
#include "TolviCore/persistence/ClipboardHistoryPersisting.h"
#include "TolviCore/store/ClipboardStore.h"

#include <QBuffer>
#include <QImage>

#include <memory>

namespace tolvi::test {

// A history that lives in memory.
class MemoryHistory final : public ClipboardHistoryPersisting {
public:
    ClipboardHistoryState load() override { return state; }
    void save(const ClipboardHistoryState& saved) override { state = saved; }
    // A new history, as the file persistence gives it: no clips, the default boards.
    ClipboardHistoryState state{{}, DefaultPinboards::all()};
};

inline std::unique_ptr<ClipboardStore> makeMemoryStore()
{
    ClipboardStore::Configuration configuration = ClipboardStore::Configuration::standard();
    configuration.maxItems.reset();
    return std::make_unique<ClipboardStore>(std::make_shared<MemoryHistory>(), configuration);
}

inline QByteArray pngBytes(int width, int height, QRgb color = 0xff3366cc)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

// A paste service whose target is a program of pid 4242 that is always in front, and whose
// keystrokes are counted instead of sent.
struct RecordingPaste {
    InMemoryPasteboard pasteboard;
    int pastes = 0;
    PasteService service{pasteboard, environment()};

    PasteService::Environment environment()
    {
        PasteService::Environment env;
        env.frontmostPID = [] { return std::optional<PasteService::Pid>(4242); };
        env.isTolvi = [](PasteService::Pid) { return false; };
        env.isRunning = [](PasteService::Pid) { return true; };
        env.activate = [](PasteService::Pid) { return true; };
        env.isTrusted = [] { return true; };
        env.requestPermission = [] {};
        env.sendPaste = [this] { ++pastes; };
        env.schedule = [](double, std::function<void()> work) { work(); };
        env.destinationHasBlockingDialog = [](PasteService::Pid) { return false; };
        env.applicationDescription = [](std::optional<PasteService::Pid>) { return std::optional<QString>(); };
        return env;
    }
};

} // namespace tolvi::test
