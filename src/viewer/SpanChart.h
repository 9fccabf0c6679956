// SPDX-License-Identifier: GPL-3.0-or-later
// The viewer's chart: three panels stacked on one time axis, mean counts (red, on a
// logarithmic axis that can be made linear), temperature (green, °C) and range (blue,
// 1 to 5), with the failed seconds marked along the time axis at the bottom.
//
// Mouse: the wheel zooms the time axis about the pointer (with Ctrl, the value axis of
// the panel under it); a left-button drag zooms into the dragged rectangle; a right- or
// middle-button drag pans; a double click shows the whole span again. Value axes fit the
// lines in view until the user zooms or pans them.
#pragma once

#include "chart/Chart.h"
#include "core/log/LogSpan.h"
#include "core/sky/ZeroPoints.h"
#include "core/text/RegionalSettings.h"
#include "viewer/SpanSeries.h"

#include <array>
#include <optional>

class QRubberBand;

class SpanChart : public Chart {
    Q_OBJECT
public:
    enum Panel { Counts = 0, Temperature = 1, Range = 2 };

    // Labels its axes with the separators of `regional`.
    explicit SpanChart(const RegionalSettings& regional, QWidget* parent = nullptr);

    // Shows a span's lines. With keepView, the time range and any value range the user
    // chose stay (a file being written grew); otherwise the whole span is shown.
    void Show(const TimeSpan& span, SpanSeries series, const QString& title, bool keepView);
    const SpanSeries& Series() const { return series_; }
    const TimeSpan& Span() const { return span_; }

    void SetLogarithmic(bool logarithmic);
    bool Logarithmic() const { return logarithmic_; }
    // With zero points, the counts panel shows magnitudes (mag/arcsec²) instead, each second
    // at the zero point of its date; none: counts.
    void SetMagnitude(const sky::ZeroPoints* zeroPoints);
    bool Magnitude() const { return zeroPoints_.has_value(); }
    // With a zero point, the naked-eye limiting magnitude of the sky brightness instead
    // (sky::LimitingMagnitude).
    void SetLimitingMagnitude(bool limiting);
    bool LimitingMagnitude() const { return limiting_ && zeroPoints_.has_value(); }
    void ShowWholeSpan();
    // The time range shown, in wall seconds, and zooming it about a point.
    QCPRange TimeRange() const;
    void SetTimeRange(QCPRange range);
    void ZoomTime(double factor, double about);

    QCPAxisRect* PanelRect(Panel panel) const { return rects_[panel]; }
    QCPAxis* TimeAxis(Panel panel) const { return rects_[panel]->axis(QCPAxis::atBottom); }
    QCPAxis* ValueAxis(Panel panel) const { return rects_[panel]->axis(QCPAxis::atLeft); }
    QCPGraph* Graph(Panel panel) const { return graphs_[panel]; }
    QCPGraph* FailureMarks() const { return failures_; }

signals:
    // The pointer is over the panels at time `t` (wall seconds); `secondsPerPixel` tells
    // how near a line must be to count as under it.
    void CursorMoved(double t, double secondsPerPixel);
    void CursorLeft();

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    void SetUpPanel(Panel panel, const QString& label, const QColor& colour, double minStep,
                    const RegionalSettings& regional);
    int PanelAt(const QPoint& pos) const;
    void FitValues();
    void FitValue(Panel panel);
    void MoveCursor(double t);
    QCPRange ClampedTime(QCPRange range) const;
    QVector<QCPGraphData> CountsCurve() const;

    std::array<QCPAxisRect*, 3> rects_{};
    std::array<QCPGraph*, 3> graphs_{};
    std::array<bool, 3> valueFits_{true, true, true};
    std::array<QCPItemStraightLine*, 3> cursor_{};
    QCPGraph* failures_ = nullptr;
    QCPTextElement* title_ = nullptr;
    QCPMarginGroup* margins_ = nullptr;
    TimeSpan span_;
    SpanSeries series_;
    bool logarithmic_ = true;
    std::optional<sky::ZeroPoints> zeroPoints_;
    bool limiting_ = false;

    Qt::MouseButton dragButton_ = Qt::NoButton;
    int dragPanel_ = -1;
    QPoint dragStart_;
    QCPRange dragTime_;
    QCPRange dragValue_;
    QRubberBand* band_ = nullptr;
};
