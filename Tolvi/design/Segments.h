#pragma once

#include "Tolvi/design/TolviTheme.h"

#include <QWidget>

#include <initializer_list>

class QAbstractButton;
class QHBoxLayout;
class QPainter;

namespace tolvi {

// The shallow track the segments of a picker lie in: the ink at 0.06, rounded by 8.
class TolviSegmentTrack : public QWidget {
    Q_OBJECT
public:
    explicit TolviSegmentTrack(QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;
};

// A segment of a picker: checkable and the only one checked in its track, reached by Tab, as
// wide as the track gives it and 26 high.
void setUpSegment(QAbstractButton* segment);

// Lays the segments out side by side in `track`, 2 apart and 2 from its edges.
QHBoxLayout* layOutSegments(QWidget* track, std::initializer_list<QAbstractButton*> segments = {});

// The chosen segment's plate within `body`: the raised surface outlined in the glass stroke,
// rounded by 6.
void paintChosenSegment(QPainter& painter, const QRectF& body, const DesignContext& context);

} // namespace tolvi
