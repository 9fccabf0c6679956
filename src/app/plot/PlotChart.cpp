// SPDX-License-Identifier: GPL-3.0-or-later
#include "app/plot/PlotChart.h"

#include <QMouseEvent>
#include <QRubberBand>

#include <cstdlib>

PlotChart::PlotChart(QWidget* parent)
    : Chart(parent)
    , band_(new QRubberBand(QRubberBand::Rectangle, this)) {
    setInteractions({});
    setSelectionRectMode(QCP::srmNone);
}

void PlotChart::RestoreAutomaticView() {
    automaticView_ = true;
    if (restore_) restore_();
}

void PlotChart::mousePressEvent(QMouseEvent* event) {
    if (dragButton_ != Qt::NoButton) return;
    if (event->button() != Qt::LeftButton && event->button() != Qt::RightButton) return;
    dragButton_ = event->button();
    dragStart_ = event->pos();
    startX_ = xAxis->range();
    startY_ = yAxis->range();
    if (dragButton_ == Qt::LeftButton) {
        band_->setGeometry(QRect(dragStart_, QSize()));
        band_->show();
    }
}

void PlotChart::mouseMoveEvent(QMouseEvent* event) {
    if (dragButton_ == Qt::LeftButton) {
        band_->setGeometry(QRect(dragStart_, event->pos()).normalized());
    } else if (dragButton_ == Qt::RightButton && event->pos() != dragStart_) {
        ScrollBy(dragStart_, event->pos());
    }
}

void PlotChart::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != dragButton_) return;
    const Qt::MouseButton button = dragButton_;
    dragButton_ = Qt::NoButton;
    if (button == Qt::RightButton) {
        if (event->pos() != dragStart_) ScrollBy(dragStart_, event->pos());
        return;
    }
    band_->hide();
    const QPoint d = event->pos() - dragStart_;
    if (std::abs(d.x()) <= kDragThreshold || std::abs(d.y()) <= kDragThreshold) return;
    if (d.x() > 0 && d.y() > 0)
        ZoomTo(QRect(dragStart_, event->pos()));
    else
        RestoreAutomaticView();
}

void PlotChart::mouseDoubleClickEvent(QMouseEvent* event) {
    // A double click is a press as far as dragging goes.
    mousePressEvent(event);
}

void PlotChart::wheelEvent(QWheelEvent* event) {
    event->ignore();
}

void PlotChart::ZoomTo(const QRect& pixels) {
    const double x1 = xAxis->pixelToCoord(pixels.left());
    const double x2 = xAxis->pixelToCoord(pixels.right());
    const double y1 = yAxis->pixelToCoord(pixels.bottom());
    const double y2 = yAxis->pixelToCoord(pixels.top());
    xAxis->setRange(QCPRange(x1, x2));
    yAxis->setRange(QCPRange(y1, y2));
    automaticView_ = false;
    replot(rpQueuedReplot);
}

void PlotChart::ScrollBy(const QPoint& from, const QPoint& to) {
    PanAxis(xAxis, startX_, from.x(), to.x());
    PanAxis(yAxis, startY_, from.y(), to.y());
    automaticView_ = false;
    replot(rpQueuedReplot);
}
