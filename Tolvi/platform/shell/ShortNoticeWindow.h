#pragma once

#include <QString>
#include <QWidget>

#include <chrono>

class QLabel;
class QTimer;

namespace tolvi {

// A small window of Tolvi's own for a short notice ("Press Ctrl+V to paste."), shown where the
// desktop has no notification service to show it. It never takes the focus (the user is about to
// type into the app in front), shows the text as plain text near the bottom of the screen and goes
// away after a few seconds or when clicked. One notice at a time: a new one replaces the last.
class ShortNoticeWindow : public QWidget {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds defaultDuration{6000};

    explicit ShortNoticeWindow(QWidget* parent = nullptr);
    ~ShortNoticeWindow() override;

    // Shows the text in the program's one notice window, replacing what it showed.
    static ShortNoticeWindow* showNotice(const QString& text, std::chrono::milliseconds duration = defaultDuration);

    void present(const QString& text, std::chrono::milliseconds duration = defaultDuration);
    QString text() const;

protected:
    void mousePressEvent(QMouseEvent* event) override;

private:
    void placeOnScreen();

    QLabel* m_label = nullptr;
    QTimer* m_hideTimer = nullptr;
};

} // namespace tolvi
