#pragma once

// Persistence fakes and small builders shared by the store tests.

#include "TolviCore/model/ClipboardHistoryState.h"
#include "TolviCore/persistence/ClipboardHistoryPersisting.h"
#include "TolviCore/persistence/PersistenceError.h"
#include "TolviCore/store/ClipboardStore.h"

#include <QByteArray>
#include <QList>

#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

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

// Writes on the calling thread (the store writes board changes from a thread of its own), as
// slowly as the test wants: while held, a write waits to be released. The next write can be made
// to fail.
class GatedPersistence : public ClipboardHistoryPersisting {
public:
    ClipboardHistoryState load() override { return stored(); }

    void save(const ClipboardHistoryState& state) override
    {
        std::unique_lock lock(m_mutex);
        ++m_started;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return !m_held; });
        m_threads.append(std::this_thread::get_id());
        if (std::exchange(m_failNext, false))
            throw PersistenceError::system(ENOSPC, QStringLiteral("write"));
        m_saves.append(state);
        m_stored = state;
    }

    void hold() { set(m_held, true); }
    void release() { set(m_held, false); }
    void failNextWrite() { set(m_failNext, true); }
    // Waits (five seconds at most) until that many writes have begun.
    bool waitForWrites(int count)
    {
        std::unique_lock lock(m_mutex);
        return m_changed.wait_for(lock, std::chrono::seconds(5), [&] { return m_started >= count; });
    }
    int startedWrites() { return get(m_started); }
    QList<ClipboardHistoryState> saves() { return get(m_saves); }
    QList<std::thread::id> threads() { return get(m_threads); }
    ClipboardHistoryState stored() { return get(m_stored); }

private:
    template <typename T>
    void set(T& field, T value)
    {
        std::lock_guard lock(m_mutex);
        field = value;
        m_changed.notify_all();
    }
    template <typename T>
    T get(const T& field)
    {
        std::lock_guard lock(m_mutex);
        return field;
    }

    std::mutex m_mutex;
    std::condition_variable m_changed;
    ClipboardHistoryState m_stored{{}, DefaultPinboards::all()};
    QList<ClipboardHistoryState> m_saves;
    QList<std::thread::id> m_threads;
    int m_started = 0;
    bool m_held = false;
    bool m_failNext = false;
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
