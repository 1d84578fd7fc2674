#include "Tolvi/design/AccessibilitySettings.h"

namespace tolvi {

AccessibilitySettings::AccessibilitySettings(QObject* parent)
    : QObject(parent)
{
}

void AccessibilitySettings::setReduceTransparency(bool on)
{
    if (m_reduceTransparency == on)
        return;
    m_reduceTransparency = on;
    emit reduceTransparencyChanged(on);
    emit changed();
}

void AccessibilitySettings::setIncreasedContrast(bool on)
{
    if (m_increasedContrast == on)
        return;
    m_increasedContrast = on;
    emit increasedContrastChanged(on);
    emit changed();
}

void AccessibilitySettings::setReduceMotion(bool on)
{
    if (m_reduceMotion == on)
        return;
    m_reduceMotion = on;
    emit reduceMotionChanged(on);
    emit changed();
}

} // namespace tolvi
