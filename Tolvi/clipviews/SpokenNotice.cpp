#include "Tolvi/clipviews/SpokenNotice.h"

#include "Tolvi/design/Announcements.h"

#include <QEvent>
#include <QLabel>
#include <QVBoxLayout>

namespace tolvi {

SpokenNotice::SpokenNotice(QWidget* parent)
    : QWidget(parent)
{
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    m_column = new QVBoxLayout(this);
    m_column->setContentsMargins(0, 0, 0, 0);
    m_column->setSpacing(0);
}

SpokenNotice::~SpokenNotice() = default;

void SpokenNotice::startAnnouncing(const std::optional<QString>& currentMessage)
{
    m_announcement = tolviAccessibilityAnnouncement(this, currentMessage);
}

void SpokenNotice::present(bool hasContent, const std::optional<QString>& message,
                           const std::function<void()>& putOnScreen)
{
    m_hasContent = hasContent;
    const auto show = [this, &putOnScreen] {
        if (putOnScreen)
            putOnScreen();
        else
            applyVisibility();
    };
    if (hasContent) {
        show();
        m_announcement->setMessage(message);
    } else {
        m_announcement->setMessage(message);
        show();
    }
}

void SpokenNotice::applyVisibility()
{
    if (!parentWidget() && !isVisible())
        return;
    setVisible(m_hasContent);
}

QLabel* SpokenNotice::makeText(const QFont& font, bool wraps, QWidget* parent, bool muted)
{
    auto* label = new QLabel(parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(font);
    if (muted)
        label->setForegroundRole(QPalette::PlaceholderText);
    label->setWordWrap(wraps);
    label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label->setTextInteractionFlags(Qt::NoTextInteraction);
    return label;
}

bool SpokenNotice::event(QEvent* event)
{
    const bool result = QWidget::event(event);
    // Put into a layout or under another parent: take the visibility the content asks for.
    if (event->type() == QEvent::ParentChange)
        applyVisibility();
    return result;
}

} // namespace tolvi
