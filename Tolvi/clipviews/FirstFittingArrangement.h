#pragma once

#include <QList>
#include <QWidget>

namespace tolvi {

// Shows the first of its arrangements whose preferred width fits the width it is given, or the
// last one when none fits (a wide one-row header, else two rows). Each arrangement is a widget
// of its own; a control that appears in several of them is moved into the shown one by the
// owner on arrangementChanged(), or built once per arrangement.
class FirstFittingArrangement : public QWidget {
    Q_OBJECT
public:
    explicit FirstFittingArrangement(QWidget* parent = nullptr);

    // Adds an arrangement after the ones added before (the container takes ownership).
    void addArrangement(QWidget* arrangement);
    int arrangementCount() const { return int(m_arrangements.size()); }
    int currentIndex() const { return m_current; }
    QWidget* currentArrangement() const { return m_current >= 0 ? m_arrangements[m_current] : nullptr; }
    // The arrangement that would be shown at this width.
    int indexForWidth(int width) const;

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

signals:
    void arrangementChanged(int index);

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool event(QEvent* event) override;

private:
    void choose(int width);

    QList<QWidget*> m_arrangements;
    int m_current = -1;
};

} // namespace tolvi
