// SPDX-License-Identifier: GPL-3.0-or-later
// The chart of the plot page: a Chart (tick labels right on the first draw) with the
// page's own mouse handling: a left-drag right and down zooms to the dragged rectangle, a
// left-drag up or left restores the automatic view, a right-drag scrolls both axes.
#pragma once

#include "chart/Chart.h"

#include <functional>

class QRubberBand;

class PlotChart : public Chart {
public:
    // Drags shorter than this, in pixels, in either direction do nothing.
    static constexpr int kDragThreshold = 16;

    explicit PlotChart(QWidget* parent = nullptr);

    // False while the user's zoom or scroll holds the axes' ranges.
    bool AutomaticView() const { return automaticView_; }
    // Called when a drag asks for the automatic view again.
    void SetRestoreHandler(std::function<void()> handler) { restore_ = std::move(handler); }
    void RestoreAutomaticView();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void ZoomTo(const QRect& pixels);
    void ScrollBy(const QPoint& from, const QPoint& to);

    bool automaticView_ = true;
    std::function<void()> restore_;
    Qt::MouseButton dragButton_ = Qt::NoButton;
    QPoint dragStart_;
    QCPRange startX_;
    QCPRange startY_;
    QRubberBand* band_ = nullptr;
};
