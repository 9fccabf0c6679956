// SPDX-License-Identifier: GPL-3.0-or-later
// The value axis's labels in both windows: multiples of a smallest step (widened until the
// labels fit) on a linear axis, 1-2-5 or decades on a logarithmic one, written with the
// user's decimal separator and digit grouping ("#,##0.###").
#pragma once

#include <qcustomplot.h>

#include <QString>

class ValueTicker : public QCPAxisTicker {
public:
    // How far apart labels stay, in label heights: the station's plot keeps its labels
    // further apart than the viewer's stacked panels, which have less height each.
    static constexpr double kPlotSpacing = 1.5;
    static constexpr double kPanelSpacing = 1.2;

    ValueTicker(QCPAxis* axis, double spacing, double minStep = 1000)
        : axis_(axis)
        , spacing_(spacing)
        , step_(minStep) {}
    void SetStep(double step) { step_ = step; }
    double Step() const { return step_; }
    void SetSeparators(const QString& decimal, const QString& group);

    void generate(const QCPRange& range, const QLocale& locale, QChar formatChar, int precision,
                  QVector<double>& ticks, QVector<double>* subTicks,
                  QVector<QString>* tickLabels) override;

private:
    QCPAxis* axis_;
    double spacing_;
    double step_;
    QString decimal_ = QStringLiteral(".");
    QString group_ = QStringLiteral(",");
};
