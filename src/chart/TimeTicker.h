// SPDX-License-Identifier: GPL-3.0-or-later
// A time axis labelled with wall-clock times, its keys wall seconds.
#pragma once

#include <qcustomplot.h>

#include <QString>

// Ticks at round times (1 s up to a day, aligned on midnight) as dense as the labels
// allow: "hh:mm:ss" below a minute's step, else "hh:mm", with the date under each
// midnight; steps of days are labelled with the date alone. Keys are wall seconds.
class TimeTicker : public QCPAxisTicker {
public:
    TimeTicker(QCPAxis* axis, QString timeSeparator)
        : axis_(axis)
        , separator_(std::move(timeSeparator)) {}

    void generate(const QCPRange& range, const QLocale& locale, QChar formatChar, int precision,
                  QVector<double>& ticks, QVector<double>* subTicks,
                  QVector<QString>* tickLabels) override;

    // The step, in seconds, that ticks over `seconds` shown on `pixels` get.
    static double StepFor(double seconds, double pixels, double labelWidth);

private:
    QString Label(double key, double step) const;

    QCPAxis* axis_;
    QString separator_;
};
