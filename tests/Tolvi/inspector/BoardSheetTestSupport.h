#pragma once

// Shared by the board sheet's tests: a history whose writes can be held and failed, and ways to
// type into the sheet and wait for its writes.

#include "Tolvi/inspector/BoardManagementView.h"
#include "TolviCore/persistence/ClipboardHistoryPersisting.h"
#include "TolviCore/persistence/PersistenceError.h"

#include <QAbstractButton>
#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QTest>

#include <cerrno>
#include <condition_variable>
#include <functional>
#include <mutex>

namespace tolvi::test {

// A history in memory whose writes, while held, wait until the test lets them go (as a large
// history's write takes its time); the next write can be made to fail.
class SlowHistory final : public ClipboardHistoryPersisting {
public:
    ClipboardHistoryState load() override
    {
        std::lock_guard lock(m_mutex);
        return m_state;
    }

    void save(const ClipboardHistoryState& state) override
    {
        std::unique_lock lock(m_mutex);
        ++m_writes;
        m_changed.wait(lock, [this] { return !m_held; });
        if (std::exchange(m_failNext, false))
            throw PersistenceError::system(EIO, QStringLiteral("write"));
        m_state = state;
    }

    void hold()
    {
        std::lock_guard lock(m_mutex);
        m_held = true;
    }
    void release()
    {
        std::lock_guard lock(m_mutex);
        m_held = false;
        m_changed.notify_all();
    }
    void failNextWrite()
    {
        std::lock_guard lock(m_mutex);
        m_failNext = true;
    }
    int writes()
    {
        std::lock_guard lock(m_mutex);
        return m_writes;
    }
    ClipboardHistoryState state()
    {
        std::lock_guard lock(m_mutex);
        return m_state;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    ClipboardHistoryState m_state{{}, DefaultPinboards::all()};
    int m_writes = 0;
    bool m_held = false;
    bool m_failNext = false;
};

// Runs the event loop until the condition holds (five seconds at most); whether it does.
inline bool eventually(const std::function<bool()>& condition)
{
    QElapsedTimer timer;
    timer.start();
    while (!condition()) {
        if (timer.elapsed() > 5000)
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

// Replaces the field's text as typing would (every key an edit).
inline void typeInto(QLineEdit* field, const QString& text)
{
    field->setFocus();
    field->selectAll();
    if (text.isEmpty())
        QTest::keyClick(field, Qt::Key_Backspace);
    else
        QTest::keyClicks(field, text);
}

inline QAbstractButton* dialogButton(QMessageBox* box, const QString& text)
{
    if (!box)
        return nullptr;
    for (QAbstractButton* button : box->buttons()) {
        if (button->text() == text)
            return button;
    }
    return nullptr;
}

} // namespace tolvi::test
