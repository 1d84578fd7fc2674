#pragma once

#include <QString>
#include <QWidget>

#include <functional>
#include <optional>

class QLabel;

namespace tolvi {

class TolviPrimaryButton;

// The centred placeholder that fills a clip list when there is nothing to list: an icon tile,
// a title, a subtitle and an optional action button. `compact` is the compact panel's tighter form.
class EmptyHistoryView : public QWidget {
    Q_OBJECT
public:
    EmptyHistoryView(const QString& title, const QString& subtitle,
                     const std::optional<QString>& primaryActionTitle = std::nullopt,
                     const std::optional<QString>& primaryActionSystemImage = std::nullopt,
                     std::function<void()> primaryAction = {}, bool compact = false, QWidget* parent = nullptr);

    // Shows other texts and another action in the same view.
    void setContent(const QString& title, const QString& subtitle, const std::optional<QString>& primaryActionTitle,
                    const std::optional<QString>& primaryActionSystemImage, std::function<void()> primaryAction);

    QString title() const;
    QString subtitle() const;
    // The action button; null while none is shown.
    TolviPrimaryButton* actionButton() const;

private:
    bool m_compact;
    QLabel* m_title = nullptr;
    QLabel* m_subtitle = nullptr;
    TolviPrimaryButton* m_button = nullptr;
    std::function<void()> m_action;
};

} // namespace tolvi
