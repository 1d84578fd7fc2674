#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class QWidget;

namespace tolvi {

enum class AlertStyle {
    informational,
    warning,
    critical,
};

// A modal question or notice. The buttons appear in the given order on every desktop.
struct AlertRequest {
    AlertStyle style = AlertStyle::informational;
    QString message;
    QString informativeText;
    QStringList buttons{QStringLiteral("OK")};
    // The button that Return presses.
    int defaultButton = 0;
    // The button that Escape (or closing the window) presses; none: the alert stays open
    // until one of its buttons is pressed.
    std::optional<int> escapeButton;

    friend bool operator==(const AlertRequest&, const AlertRequest&) = default;
};

// Shows modal alerts on the main thread.
class Alerts {
public:
    virtual ~Alerts() = default;
    // Blocks until the user answers; the index of the pressed button, or nothing when the
    // alert went away without one (for example when the program quits under it).
    virtual std::optional<int> run(const AlertRequest& request) = 0;
};

// Alerts as message boxes. Texts are shown as plain text, never as rich text.
class QtAlerts final : public Alerts {
public:
    explicit QtAlerts(QWidget* parent = nullptr);
    std::optional<int> run(const AlertRequest& request) override;

private:
    QWidget* m_parent;
};

// Answers alerts from a script and keeps every request.
class FakeAlerts final : public Alerts {
public:
    std::optional<int> run(const AlertRequest& request) override;

    QList<AlertRequest> requests;
    // Answers in order; once used up, every alert is answered with its default button.
    QList<std::optional<int>> answers;
};

} // namespace tolvi
