#pragma once

#include <QObject>

namespace tolvi {

// The user's display accessibility settings that the design pieces honour.
// They start off; the composition root keeps them in step with the desktop's
// own settings (DesktopAccessibility), and tests and the screenshot programs
// set them directly. Every change is signalled, and every themed window
// redraws on it.
class AccessibilitySettings : public QObject {
    Q_OBJECT
public:
    explicit AccessibilitySettings(QObject* parent = nullptr);

    bool reduceTransparency() const { return m_reduceTransparency; }
    bool increasedContrast() const { return m_increasedContrast; }
    bool reduceMotion() const { return m_reduceMotion; }

    void setReduceTransparency(bool on);
    void setIncreasedContrast(bool on);
    void setReduceMotion(bool on);

signals:
    void reduceTransparencyChanged(bool on);
    void increasedContrastChanged(bool on);
    void reduceMotionChanged(bool on);
    // Any of the three changed.
    void changed();

private:
    bool m_reduceTransparency = false;
    bool m_increasedContrast = false;
    bool m_reduceMotion = false;
};

} // namespace tolvi
