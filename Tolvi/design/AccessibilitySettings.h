#pragma once

#include <QObject>

namespace tolvi {

// The user's display accessibility settings that the design pieces honour.
// Linux desktops have no single standard for these, so they start off and are
// set by whoever knows better (the composition root, a desktop integration, a
// test). Every change is signalled, and every themed window redraws on it.
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
