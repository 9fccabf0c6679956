// SPDX-License-Identifier: GPL-3.0-or-later
// What the windows' charts share: a QCustomPlot whose tick labels fit the axis rectangles
// it draws, and panning an axis by the distance dragged.
#pragma once

#include <qcustomplot.h>

class Chart : public QCustomPlot {
    Q_OBJECT
public:
    explicit Chart(QWidget* parent = nullptr);

protected:
    // Ticks are made before the layout places the axis rectangles; when the layout moved
    // one, it runs once more so that the ticks fit the rectangles that are drawn.
    void updateLayout() override;
};

// Sets `axis` to `start` moved by the distance from `fromPixel` to `toPixel`, measured on
// `start` (the range the drag began with): shifted on a linear axis, scaled on a
// logarithmic one (where a drag across zero or below it moves nothing).
void PanAxis(QCPAxis* axis, const QCPRange& start, int fromPixel, int toPixel);
