#pragma once

#include "Tolvi/inspector/ShownText.h"

#include <QObject>
#include <QString>

#include <functional>
#include <optional>
#include <utility>

namespace tolvi {

// An answer about the text a view shows, worked out off the main thread, for a view whose text
// may change before the answer comes back: only the answer about the text asked about last
// reaches the view; one that comes back about a text the view no longer shows is dropped, and
// none arrives once the view is gone. Main thread; a member of the view it answers.
template <typename Answer>
class LatestAnswer {
public:
    explicit LatestAnswer(QObject* view) : m_view(view) {}

    LatestAnswer(const LatestAnswer&) = delete;
    LatestAnswer& operator=(const LatestAnswer&) = delete;

    // Asks about `text`, unless it is the very text asked about last (the same data): `work`
    // runs on a worker, then `done` on the main thread, once the answer is kept.
    void ask(const QString& text, std::function<Answer()> work, std::function<void(const Answer&)> done)
    {
        if (m_asked && m_text.isSharedWith(text))
            return;
        m_asked = true;
        m_text = text;
        m_answer.reset();
        const quint64 request = ++m_request;
        ShownText::computeOffMainThread<Answer>(
            m_view, std::move(work), [this, request, done = std::move(done)](Answer answer) {
                if (request != m_request)
                    return;
                m_answer = std::move(answer);
                done(*m_answer);
            });
    }

    // Nothing is asked about any more: an answer on its way is dropped.
    void clear()
    {
        m_asked = false;
        m_text.clear();
        m_answer.reset();
        ++m_request;
    }

    bool isAsked() const { return m_asked; }
    // The answer about the text asked about last, once it is there.
    const std::optional<Answer>& answer() const { return m_answer; }

private:
    QObject* m_view;
    bool m_asked = false;
    QString m_text;
    std::optional<Answer> m_answer;
    quint64 m_request = 0;
};

} // namespace tolvi
