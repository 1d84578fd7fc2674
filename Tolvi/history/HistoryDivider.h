#pragma once

#include <QWidget>

namespace tolvi {

// A hairline between the history window's sections, across (Qt::Horizontal) or down
// (Qt::Vertical), in the muted colour at a light strength. It takes no clicks.
class HistoryDivider : public QWidget {
    Q_OBJECT
public:
    explicit HistoryDivider(Qt::Orientation orientation, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

} // namespace tolvi
