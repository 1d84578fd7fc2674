#pragma once

// Persistence fakes and small builders shared by the store tests.

#include "TolviCore/model/ClipboardHistoryState.h"
#include "TolviCore/persistence/ClipboardHistoryPersisting.h"
#include "TolviCore/persistence/PersistenceError.h"
#include "TolviCore/store/ClipboardStore.h"

#include <QByteArray>
#include <QList>

#include <cerrno>
#include <memory>
#include <optional>

namespace tolvi::testing {

// Loads what it holds and writes synchronously, recording every saved state.
class FakeSyncPersistence : public ClipboardHistoryPersisting {
public:
    std::optional<ClipboardHistoryState> stored;
    bool failLoad = false;
    bool failSave = false;
    int loadCalls = 0;
    QList<ClipboardHistoryState> saves;

    ClipboardHistoryState load() override
    {
        ++loadCalls;
        if (failLoad)
            throw PersistenceError::decoding(QStringLiteral("unreadable history"));
        return stored.value_or(ClipboardHistoryState{{}, DefaultPinboards::all()});
    }

    void save(const ClipboardHistoryState& state) override
    {
        if (failSave)
            throw PersistenceError::system(ENOSPC, QStringLiteral("write"));
        saves.append(state);
        stored = state;
    }
};

// Queues saves and leaves their completions for the test to run, in any order.
class FakeAsyncPersistence : public ClipboardHistoryAsyncPersisting {
public:
    struct Pending {
        ClipboardHistoryState state;
        SaveCompletion completion;
    };

    std::optional<ClipboardHistoryState> stored;
    bool failLoad = false;
    bool failSave = false;
    bool failFlush = false;
    int flushCalls = 0;
    QList<ClipboardHistoryState> syncSaves;
    QList<Pending> queued;

    ClipboardHistoryState load() override
    {
        if (failLoad)
            throw PersistenceError::decoding(QStringLiteral("unreadable history"));
        return stored.value_or(ClipboardHistoryState{{}, DefaultPinboards::all()});
    }

    void save(const ClipboardHistoryState& state) override
    {
        if (failSave)
            throw PersistenceError::system(ENOSPC, QStringLiteral("write"));
        syncSaves.append(state);
        stored = state;
    }

    void enqueueSave(const ClipboardHistoryState& state, SaveCompletion completion) override
    {
        queued.append(Pending{state, std::move(completion)});
    }

    void flush() override
    {
        ++flushCalls;
        if (failFlush)
            throw PersistenceError::system(EIO, QStringLiteral("flush"));
    }

    void complete(qsizetype index, bool success)
    {
        queued[index].completion(success ? SaveResult::success()
                                         : SaveResult::failure(PersistenceError::system(EIO, QStringLiteral("write"))));
    }
};

inline ClipboardStore::Configuration unlimitedConfiguration()
{
    ClipboardStore::Configuration configuration = ClipboardStore::Configuration::standard();
    configuration.maxItems = std::nullopt;
    configuration.maxHistoryBytes = 0;
    return configuration;
}

inline ClipboardItem textItem(const QString& text, double createdAt, bool pinned = false, QList<QUuid> boards = {})
{
    return ClipboardItem(QUuid::createUuid(), text, createdAt, pinned, std::move(boards));
}

inline ClipboardImage image(const QByteArray& bytes, std::optional<QString> recognizedText = std::nullopt)
{
    return ClipboardImage(bytes, QStringLiteral("public.png"), 10, 10, std::move(recognizedText));
}

inline QStringList texts(const QList<ClipboardItem>& items)
{
    QStringList list;
    for (const ClipboardItem& item : items)
        list.append(item.content().isImage() ? QStringLiteral("<image>") : item.content().textValue());
    return list;
}

} // namespace tolvi::testing
