// SPDX-License-Identifier: GPL-3.0-or-later
#include "chart/Chart.h"

#include <vector>

Chart::Chart(QWidget* parent)
    : QCustomPlot(parent) {}

void Chart::updateLayout() {
    const QList<QCPAxisRect*> rects = axisRects();
    std::vector<QRect> before;
    before.reserve(std::size_t(rects.size()));
    for (const QCPAxisRect* rect : rects)
        before.push_back(rect->rect());
    QCustomPlot::updateLayout();
    for (qsizetype i = 0; i < rects.size(); ++i) {
        if (rects[i]->rect() != before[std::size_t(i)]) {
            QCustomPlot::updateLayout();
            return;
        }
    }
}

void PanAxis(QCPAxis* axis, const QCPRange& start, int fromPixel, int toPixel) {
    axis->setRange(start);
    const double a = axis->pixelToCoord(fromPixel);
    const double b = axis->pixelToCoord(toPixel);
    if (axis->scaleType() == QCPAxis::stLogarithmic) {
        if (a > 0 && b > 0) axis->setRange(start.lower * a / b, start.upper * a / b);
    } else {
        axis->setRange(start.lower + a - b, start.upper + a - b);
    }
}
