#pragma once

#include "Tolvi/design/DesignTokens.h"
#include "Tolvi/design/TolviTheme.h"

#include <QColor>

#include <optional>

namespace tolvi {

// A colour given to a design piece (a tint): either a token, resolved against
// the appearance at paint time, or a fixed colour. The default is clear.
class DesignColor {
public:
    DesignColor() = default;
    DesignColor(TolviDesign::ColorToken token) : m_token(token) {}       // NOLINT: implicit by design
    DesignColor(const QColor& fixed) : m_fixed(fixed) {}                // NOLINT: implicit by design
    DesignColor(Qt::GlobalColor fixed) : m_fixed(QColor(fixed)) {}       // NOLINT: implicit by design

    static DesignColor clear() { return DesignColor(QColor(Qt::transparent)); }

    QColor resolve(const DesignContext& context) const
    {
        return m_token ? context.color(*m_token) : m_fixed;
    }
    std::optional<TolviDesign::ColorToken> token() const { return m_token; }

private:
    std::optional<TolviDesign::ColorToken> m_token;
    QColor m_fixed = QColor(Qt::transparent);
};

} // namespace tolvi
