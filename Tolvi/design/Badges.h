#pragma once

#include "Tolvi/design/DesignColor.h"

#include <QWidget>

#include <optional>

class QPainter;

namespace tolvi {

// A small tinted label with an optional symbol before its text.
class TolviBadge : public QWidget {
    Q_OBJECT
public:
    TolviBadge(const QString& title, const std::optional<QString>& systemImage, const DesignColor& tint,
               QWidget* parent = nullptr);

    QString title() const { return m_title; }
    void setTitle(const QString& title);
    std::optional<QString> systemImage() const { return m_systemImage; }
    DesignColor tint() const { return m_tint; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

    static constexpr int horizontalPadding = 8;
    static constexpr int verticalPadding = 4;
    static constexpr int spacing = 4;
    static constexpr qreal cornerRadius = 4;
    static constexpr qreal backgroundOpacity = 0.1;
    static constexpr qreal symbolPointSize = 10;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_title;
    std::optional<QString> m_systemImage;
    DesignColor m_tint;
};

// A neutral capsule for status text, with an optional symbol. Assistive
// technologies read its title only.
class TolviStatusPill : public QWidget {
    Q_OBJECT
public:
    explicit TolviStatusPill(const QString& title, const std::optional<QString>& systemImage = std::nullopt,
                             QWidget* parent = nullptr);

    QString title() const { return m_title; }
    void setTitle(const QString& title);
    std::optional<QString> systemImage() const { return m_systemImage; }
    void setSystemImage(const std::optional<QString>& systemImage);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

    static constexpr int horizontalPadding = 9;
    static constexpr int verticalPadding = 5;
    static constexpr int spacing = 5;
    static constexpr qreal symbolPointSize = 9;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_title;
    std::optional<QString> m_systemImage;
};

// A square tinted tile holding one symbol, 34 by 34 points.
class TolviIconTile : public QWidget {
    Q_OBJECT
public:
    TolviIconTile(const QString& systemImage, const DesignColor& tint, QWidget* parent = nullptr);

    QString systemImage() const { return m_systemImage; }
    void setSystemImage(const QString& systemImage);
    DesignColor tint() const { return m_tint; }

    QSize sizeHint() const override { return {side, side}; }

    // Paints a tile of `side` x `side` centred in rect; for views that draw tiles themselves.
    static void paintTile(QPainter& painter, const QRectF& rect, const QString& systemImage, const QColor& tint);

    static constexpr int side = 34;
    static constexpr qreal cornerRadius = 7;
    static constexpr qreal symbolPointSize = 16;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_systemImage;
    DesignColor m_tint;
};

} // namespace tolvi
