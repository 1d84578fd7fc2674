#pragma once

#include "Tolvi/services/capture/CapturePreferences.h"

#include "TolviCore/persistence/ClipboardHistoryPersisting.h"
#include "TolviCore/store/ClipboardStore.h"

#include <QBuffer>
#include <QImage>

#include <memory>

namespace tolvi::test {

// A history that lives in memory and starts empty (or fails to load).
class MemoryPersistence final : public ClipboardHistoryPersisting {
public:
    explicit MemoryPersistence(bool failLoad = false) : failLoad_(failLoad) {}
    ClipboardHistoryState load() override
    {
        if (failLoad_)
            throw PersistenceError::decoding(QStringLiteral("unreadable"));
        return state;
    }
    void save(const ClipboardHistoryState& saved) override
    {
        state = saved;
        ++saves;
    }
    ClipboardHistoryState state;
    int saves = 0;

private:
    bool failLoad_;
};

inline std::unique_ptr<ClipboardStore> makeStore()
{
    return std::make_unique<ClipboardStore>(std::make_shared<MemoryPersistence>(),
                                            ClipboardStore::Configuration::standard());
}

class SwitchablePreferences final : public CapturePreferences {
public:
    bool capturesText() const override { return text; }
    bool capturesImages() const override { return images; }
    bool text = true;
    bool images = true;
};

inline QByteArray encodedImage(int width, int height, const char* format = "PNG", QRgb color = 0xff3366cc)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(color);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, format);
    return bytes;
}

} // namespace tolvi::test
