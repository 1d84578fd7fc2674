#pragma once

#include <QList>
#include <QString>

#include <functional>
#include <mutex>
#include <optional>

namespace tolvi {

// A window as a Wayland compositor lists it to a task bar.
struct ToplevelWindow {
    // Ours: unique for the life of the list, never reused.
    quint64 id = 0;
    // The application identifier the window gives (usually its desktop entry's name); for an
    // XWayland window, the compositor's choice (sway: the window class).
    QString appId;
    bool activated = false;
    // Where the compositor tells it (KDE Plasma).
    std::optional<qint64> pid;

    friend bool operator==(const ToplevelWindow&, const ToplevelWindow&) = default;
};

// The compositor's list of windows and which one is activated, with a request to activate one.
// Filled from the compositor's own thread: every member may be called from any thread.
class ToplevelWindows {
public:
    virtual ~ToplevelWindows();

    // The open windows, as the compositor last described them completely.
    virtual QList<ToplevelWindow> windows() const = 0;
    // Asks the compositor to activate the window; false when it is gone.
    virtual bool activate(quint64 id) = 0;
    // Waits (bounded) until what the compositor sent so far has been taken in.
    virtual void sync() {}

    std::optional<ToplevelWindow> window(quint64 id) const;
    std::optional<ToplevelWindow> activatedWindow() const;

    // Called, in whichever thread learns it, each time a window becomes the activated one.
    void setActivationHandler(std::function<void(quint64 id)> handler);

protected:
    void reportActivation(quint64 id);

private:
    mutable std::mutex handlerMutex_;
    std::function<void(quint64)> activationHandler_;
};

// A list the test fills.
class FakeToplevelWindows final : public ToplevelWindows {
public:
    QList<ToplevelWindow> windows() const override;
    bool activate(quint64 id) override;

    // Adds or replaces the window (by id); an activated one deactivates the others.
    void setWindow(const ToplevelWindow& window);
    void removeWindow(quint64 id);
    // Whether a request to activate makes the window activated (a compositor may refuse).
    void setActivationGranted(bool granted) { activationGranted_ = granted; }
    QList<quint64> activationRequests() const { return activationRequests_; }

private:
    mutable std::mutex mutex_;
    QList<ToplevelWindow> windows_;
    QList<quint64> activationRequests_;
    bool activationGranted_ = true;
};

} // namespace tolvi
