#include "Tolvi/platform/accessibility/DesktopAccessibility.h"

namespace tolvi {

DesktopAccessibility::~DesktopAccessibility() = default;

void FakeDesktopAccessibility::start()
{
    m_started = true;
    emit valuesChanged(m_values);
}

void FakeDesktopAccessibility::setValues(const DesktopAccessibilityValues& values)
{
    m_values = values;
    if (m_started)
        emit valuesChanged(values);
}

} // namespace tolvi
