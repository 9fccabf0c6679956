// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/SpanChart.h"

#include "chart/TimeTicker.h"
#include "chart/ValueTicker.h"
#include "core/sky/SkyQuality.h"

#include <QMouseEvent>
#include <QRubberBand>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {
// The live plot's colours.
const QColor kRed(255, 0, 0);
const QColor kGreen(0, 128, 0);
const QColor kBlue(0, 0, 255);
const QColor kFailure(40, 40, 40);
constexpr int kBandThreshold = 5;    // pixels a drag must span to zoom
constexpr double kMinTimeSpan = 10;  // seconds: the deepest zoom
constexpr double kWheelFactor = 0.8; // per notch of the wheel
const char* const kCursorLayer = "cursor";

// The extent of the values of an axis's graphs within a key range, NaN gaps left out.
bool Extent(const QCPAxis* axis, const QCPRange& keys, double& lower, double& upper) {
    lower = std::numeric_limits<double>::infinity();
    upper = -lower;
    for (const QCPGraph* graph : axis->graphs()) {
        const QSharedPointer<QCPGraphDataContainer> data = graph->data();
        for (auto it = data->findBegin(keys.lower, false), end = data->findEnd(keys.upper, false);
             it != end; ++it) {
            if (std::isnan(it->value)) continue;
            lower = std::min(lower, it->value);
            upper = std::max(upper, it->value);
        }
    }
    return lower <= upper;
}
} // namespace

SpanChart::SpanChart(const RegionalSettings& regional, QWidget* parent)
    : Chart(parent)
    , band_(new QRubberBand(QRubberBand::Rectangle, this)) {
    setBackground(Qt::white);
    setCursor(Qt::CrossCursor);
    setMouseTracking(true);
    setInteractions({});
    setPlottingHint(QCP::phFastPolylines, true);
    setNoAntialiasingOnDrag(true);
    plotLayout()->clear();
    plotLayout()->setRowSpacing(0);

    title_ = new QCPTextElement(this, QString(),
                                QFont(font().family(), font().pointSize() + 1, QFont::Bold));
    plotLayout()->addElement(0, 0, title_);
    margins_ = new QCPMarginGroup(this);
    for (int i = 0; i < 3; ++i) {
        rects_[i] = new QCPAxisRect(this);
        plotLayout()->addElement(i + 1, 0, rects_[i]);
        rects_[i]->setMarginGroup(QCP::msLeft | QCP::msRight, margins_);
    }
    plotLayout()->setRowStretchFactor(0, 0.01);
    plotLayout()->setRowStretchFactor(1, 5);
    plotLayout()->setRowStretchFactor(2, 3);
    plotLayout()->setRowStretchFactor(3, 2.4);

    addLayer(QString::fromLatin1(kCursorLayer), nullptr, limAbove);
    layer(QString::fromLatin1(kCursorLayer))->setMode(QCPLayer::lmBuffered);
    SetUpPanel(Counts, QStringLiteral("counts"), kRed, 1, regional);
    SetUpPanel(Temperature, QStringLiteral("Temperature (\u00B0C)"), kGreen, 0.1, regional);
    SetUpPanel(Range, QStringLiteral("Range"), kBlue, 1, regional);
    for (int i = 0; i < 3; ++i) {
        QCPAxis* time = TimeAxis(Panel(i));
        time->setTicker(
            QSharedPointer<QCPAxisTicker>(new TimeTicker(time, regional.timeSeparator)));
        time->setTickLabels(i == Range);
    }
    TimeAxis(Range)->setLabel(QStringLiteral("Time"));

    // Failed seconds: marks on the time axis, on a hidden axis of their own from 0 to 1.
    QCPAxis* marks = rects_[Range]->axis(QCPAxis::atRight);
    marks->setRange(0, 1);
    failures_ = addGraph(TimeAxis(Range), marks);
    failures_->setName(QStringLiteral("failed seconds"));
    failures_->setAdaptiveSampling(false);
    failures_->setPen(QPen(kFailure, 3, Qt::SolidLine, Qt::FlatCap));
    QPainterPath tick;
    tick.moveTo(0, -5);
    tick.lineTo(0, 5);
    failures_->setScatterStyle(QCPScatterStyle(tick, QPen(kFailure, 1.5), Qt::NoBrush, 10));

    SetLogarithmic(true);
    ShowWholeSpan();
}

void SpanChart::SetUpPanel(Panel panel, const QString& label, const QColor& colour, double minStep,
                           const RegionalSettings& regional) {
    QCPAxis* value = ValueAxis(panel);
    value->setLabel(label);
    value->setLabelColor(colour.darker(130));
    auto* ticker = new ValueTicker(value, ValueTicker::kPanelSpacing, minStep);
    ticker->SetSeparators(regional.decimalSeparator, regional.groupSeparator);
    value->setTicker(QSharedPointer<QCPAxisTicker>(ticker));
    graphs_[panel] = addGraph(TimeAxis(panel), value);
    graphs_[panel]->setPen(QPen(colour, 1));
    graphs_[panel]->setName(label);
    if (panel == Range) value->setRange(0.5, 5.5);

    auto* line = new QCPItemStraightLine(this);
    line->setLayer(QString::fromLatin1(kCursorLayer));
    line->setClipAxisRect(rects_[panel]);
    line->point1->setAxes(TimeAxis(panel), value);
    line->point2->setAxes(TimeAxis(panel), value);
    line->setPen(QPen(QColor(120, 120, 120), 1, Qt::DashLine));
    line->setVisible(false);
    cursor_[panel] = line;
}

void SpanChart::Show(const TimeSpan& span, SpanSeries series, const QString& title, bool keepView) {
    const QCPRange time = TimeRange();
    const bool sameSpan = span == span_;
    span_ = span;
    series_ = std::move(series);
    title_->setText(title);
    graphs_[Counts]->data()->set(CountsCurve(), true);
    graphs_[Temperature]->data()->set(series_.Temperatures(), true);
    graphs_[Range]->data()->set(series_.Ranges(), true);
    failures_->data()->set(series_.Failures(0.07), true);
    if (keepView && sameSpan) {
        SetTimeRange(time);
    } else {
        ShowWholeSpan();
    }
}

void SpanChart::SetLogarithmic(bool logarithmic) {
    logarithmic_ = logarithmic;
    QCPAxis* counts = ValueAxis(Counts);
    counts->setScaleType(logarithmic && !zeroPoints_ ? QCPAxis::stLogarithmic : QCPAxis::stLinear);
    graphs_[Counts]->data()->set(CountsCurve(), true);
    valueFits_[Counts] = true;
    FitValue(Counts);
    replot(rpQueuedReplot);
}

void SpanChart::SetMagnitude(const sky::ZeroPoints* zeroPoints) {
    if (zeroPoints)
        zeroPoints_ = *zeroPoints;
    else
        zeroPoints_.reset();
    ValueAxis(Counts)->setLabel(!zeroPoints_ ? QStringLiteral("counts")
                                : limiting_  ? QStringLiteral("limiting magnitude (naked eye)")
                                             : QStringLiteral("mag/arcsec\u00B2"));
    SetLogarithmic(logarithmic_);
}

void SpanChart::SetLimitingMagnitude(bool limiting) {
    limiting_ = limiting;
    SetMagnitude(zeroPoints_ ? &*zeroPoints_ : nullptr);
}

QVector<QCPGraphData> SpanChart::CountsCurve() const {
    if (!zeroPoints_) return series_.Counts(logarithmic_);
    QVector<QCPGraphData> curve = series_.Magnitudes(*zeroPoints_);
    if (limiting_)
        for (QCPGraphData& point : curve)
            if (!std::isnan(point.value)) point.value = sky::LimitingMagnitude(point.value);
    return curve;
}

void SpanChart::ShowWholeSpan() {
    valueFits_ = {true, true, true};
    SetTimeRange(QCPRange(double(span_.from), double(span_.to)));
}

QCPRange SpanChart::TimeRange() const {
    return TimeAxis(Counts)->range();
}

QCPRange SpanChart::ClampedTime(QCPRange range) const {
    const double from = double(span_.from), to = double(span_.to);
    if (!(to > from)) return range;
    double size = std::clamp(range.size(), kMinTimeSpan, to - from);
    double lower = std::clamp(range.lower, from, to - size);
    return QCPRange(lower, lower + size);
}

void SpanChart::SetTimeRange(QCPRange range) {
    range = ClampedTime(range);
    for (int i = 0; i < 3; ++i)
        TimeAxis(Panel(i))->setRange(range);
    FitValues();
    replot(rpQueuedReplot);
}

void SpanChart::ZoomTime(double factor, double about) {
    const QCPRange now = TimeRange();
    SetTimeRange(
        QCPRange(about - (about - now.lower) * factor, about + (now.upper - about) * factor));
}

void SpanChart::FitValues() {
    for (int i = 0; i < 3; ++i)
        if (valueFits_[i]) FitValue(Panel(i));
}

void SpanChart::FitValue(Panel panel) {
    QCPAxis* axis = ValueAxis(panel);
    double lower = 0, upper = 0;
    const bool found = Extent(axis, TimeRange(), lower, upper);
    switch (panel) {
    case Counts:
        if (logarithmic_ && !zeroPoints_) {
            if (!found) lower = 1, upper = 1000;
            lower = std::max(lower, SpanSeries::kLogFloor);
            upper = std::max(upper, lower);
            // At least a decade, the lines in its middle.
            if (upper < lower * 10) {
                const double widen = std::sqrt(lower * 10 / upper);
                lower = std::max(lower / widen, SpanSeries::kLogFloor);
                upper = lower * 10 > upper * widen ? lower * 10 : upper * widen;
            }
            axis->setRange(lower / 1.25, upper * 1.25);
            return;
        }
        if (!found) lower = 0, upper = 1000;
        break;
    case Temperature:
        if (!found) lower = 0, upper = 30;
        if (upper - lower < 2) {
            const double middle = 0.5 * (upper + lower);
            lower = middle - 1, upper = middle + 1;
        }
        break;
    case Range:
        // 1 to 5 always in view, and any other range a line holds.
        if (!found) lower = 1, upper = 5;
        axis->setRange(std::min(0.5, lower - 0.5), std::max(5.5, upper + 0.5));
        return;
    }
    const double pad = std::max((upper - lower) * 0.06, 0.5);
    axis->setRange(lower - pad, upper + pad);
}

int SpanChart::PanelAt(const QPoint& pos) const {
    for (int i = 0; i < 3; ++i)
        if (rects_[i]->rect().contains(pos)) return i;
    return -1;
}

void SpanChart::mousePressEvent(QMouseEvent* event) {
    if (dragButton_ != Qt::NoButton) return;
    const int panel = PanelAt(event->pos());
    if (panel < 0) return;
    dragButton_ = event->button();
    dragPanel_ = panel;
    dragStart_ = event->pos();
    dragTime_ = TimeRange();
    dragValue_ = ValueAxis(Panel(panel))->range();
    if (dragButton_ == Qt::LeftButton) {
        band_->setGeometry(QRect(dragStart_, QSize()));
        band_->show();
    }
}

void SpanChart::mouseMoveEvent(QMouseEvent* event) {
    if (dragButton_ == Qt::LeftButton) {
        band_->setGeometry(QRect(dragStart_, event->pos()).normalized());
    } else if (dragButton_ == Qt::RightButton || dragButton_ == Qt::MiddleButton) {
        // Move by the distance dragged, measured on the ranges the drag began with; the
        // time range then kept within the span.
        PanAxis(TimeAxis(Counts), dragTime_, dragStart_.x(), event->pos().x());
        SetTimeRange(TimeAxis(Counts)->range());
        if (dragPanel_ != Range && event->pos().y() != dragStart_.y()) {
            PanAxis(ValueAxis(Panel(dragPanel_)), dragValue_, dragStart_.y(), event->pos().y());
            valueFits_[dragPanel_] = false;
        }
        replot(rpQueuedReplot);
    }
    if (PanelAt(event->pos()) >= 0) {
        const double t = TimeAxis(Counts)->pixelToCoord(event->pos().x());
        MoveCursor(t);
        emit CursorMoved(t, TimeRange().size() / std::max(1, rects_[0]->width()));
    } else {
        MoveCursor(std::numeric_limits<double>::quiet_NaN());
        emit CursorLeft();
    }
}

void SpanChart::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() != dragButton_) return;
    const Qt::MouseButton button = dragButton_;
    dragButton_ = Qt::NoButton;
    if (button != Qt::LeftButton) return;
    band_->hide();
    const QRect dragged = QRect(dragStart_, event->pos()).normalized();
    const Panel panel = Panel(dragPanel_);
    if (dragged.width() > kBandThreshold) {
        QCPAxis* time = TimeAxis(Counts);
        const double a = time->pixelToCoord(dragged.left());
        const double b = time->pixelToCoord(dragged.right());
        for (int i = 0; i < 3; ++i)
            TimeAxis(Panel(i))->setRange(ClampedTime(QCPRange(a, b)));
    }
    if (dragged.height() > kBandThreshold && panel != Range) {
        QCPAxis* value = ValueAxis(panel);
        value->setRange(value->pixelToCoord(dragged.bottom()), value->pixelToCoord(dragged.top()));
        valueFits_[panel] = false;
    }
    FitValues();
    replot(rpQueuedReplot);
}

void SpanChart::mouseDoubleClickEvent(QMouseEvent* event) {
    if (PanelAt(event->pos()) < 0) return;
    dragButton_ = Qt::NoButton;
    band_->hide();
    ShowWholeSpan();
}

void SpanChart::wheelEvent(QWheelEvent* event) {
    const QPoint pos = event->position().toPoint();
    const int panel = PanelAt(pos);
    const double notches = event->angleDelta().y() / 120.0;
    if (panel < 0 || notches == 0) {
        event->ignore();
        return;
    }
    event->accept();
    const double factor = std::pow(kWheelFactor, notches);
    if (event->modifiers() & Qt::ControlModifier) {
        if (panel == Range) return;
        QCPAxis* value = ValueAxis(Panel(panel));
        value->scaleRange(factor, value->pixelToCoord(pos.y()));
        valueFits_[panel] = false;
        replot(rpQueuedReplot);
        return;
    }
    ZoomTime(factor, TimeAxis(Counts)->pixelToCoord(pos.x()));
}

void SpanChart::leaveEvent(QEvent* event) {
    MoveCursor(std::numeric_limits<double>::quiet_NaN());
    emit CursorLeft();
    QCustomPlot::leaveEvent(event);
}

void SpanChart::MoveCursor(double t) {
    for (int i = 0; i < 3; ++i) {
        cursor_[i]->setVisible(!std::isnan(t));
        if (std::isnan(t)) continue;
        // Two points of the line, both valid on a logarithmic axis too.
        const QCPRange values = ValueAxis(Panel(i))->range();
        cursor_[i]->point1->setCoords(t, values.lower);
        cursor_[i]->point2->setCoords(t, values.upper);
    }
    layer(QString::fromLatin1(kCursorLayer))->replot();
}
