#pragma once

#include <QWidget>

#include <functional>
#include <optional>

class QFont;
class QLabel;
class QVBoxLayout;

namespace tolvi {

class TolviAccessibilityAnnouncement;

// What the windows' notices share: a column of content that is on screen only while the notice
// has something to show, and an announcement element that speaks every change. The element
// speaks only while it is on screen, so a notice shows itself before its message goes out and
// hides only after its last one. The height follows the width (the texts wrap): a cap at the
// preferred height would cut a narrow notice short. A notice without a parent never turns into a
// window of its own; the parent it gets decides.
class SpokenNotice : public QWidget {
    Q_OBJECT
public:
    ~SpokenNotice() override;

    TolviAccessibilityAnnouncement* announcementElement() const { return m_announcement; }

protected:
    explicit SpokenNotice(QWidget* parent);

    // The column the notice's content goes in.
    QVBoxLayout* column() const { return m_column; }
    // Makes the announcement element. What the notice shows when it appears is not news: only
    // later messages are spoken.
    void startAnnouncing(const std::optional<QString>& currentMessage);
    // Takes the notice's new content: `putOnScreen` shows (or hides) it, and the message is said,
    // in the order that lets it be heard. Without `putOnScreen` the notice only shows or hides.
    void present(bool hasContent, const std::optional<QString>& message, const std::function<void()>& putOnScreen = {});
    // Shows the notice while it has content and hides it otherwise.
    void applyVisibility();

    // Plain text in a font, top-left aligned and taking no input; muted texts take the
    // placeholder colour.
    static QLabel* makeText(const QFont& font, bool wraps, QWidget* parent, bool muted = false);

    bool event(QEvent* event) override;

private:
    QVBoxLayout* m_column = nullptr;
    TolviAccessibilityAnnouncement* m_announcement = nullptr;
    bool m_hasContent = false;
};

} // namespace tolvi
