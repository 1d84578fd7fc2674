#pragma once

#include <QObject>

namespace tolvi {

// The display accessibility settings the user chose for the whole desktop.
struct DesktopAccessibilityValues {
    bool reduceMotion = false;
    bool reduceTransparency = false;
    bool increasedContrast = false;

    friend bool operator==(const DesktopAccessibilityValues&, const DesktopAccessibilityValues&) = default;
};

// Where the desktop keeps those settings. The real source reads them from the running desktop
// and follows their changes; the fake is set by tests. Values arrive on the main thread.
class DesktopAccessibility : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~DesktopAccessibility() override;

    // Starts reading; the first values follow through valuesChanged, and so does every later change.
    virtual void start() = 0;

signals:
    void valuesChanged(tolvi::DesktopAccessibilityValues values);
};

// In-memory desktop settings for unit tests.
class FakeDesktopAccessibility final : public DesktopAccessibility {
    Q_OBJECT
public:
    using DesktopAccessibility::DesktopAccessibility;

    void start() override;
    bool hasStarted() const { return m_started; }
    // Changes the desktop's settings; announced at once once started.
    void setValues(const DesktopAccessibilityValues& values);

private:
    bool m_started = false;
    DesktopAccessibilityValues m_values;
};

} // namespace tolvi
