// SPDX-License-Identifier: GPL-3.0-or-later
#include "chart/TimeTicker.h"

#include "core/log/DayRecord.h"

#include <QFontMetricsF>

#include <array>
#include <cmath>

namespace {
constexpr std::array<double, 21> kSteps{1,     2,     5,     10,    15,     30,     60,
                                        120,   300,   600,   900,   1800,   3600,   7200,
                                        10800, 21600, 43200, 86400, 172800, 604800, 2419200};
constexpr int kMaxTicks = 2000; // a guard; never reached on screen

// Sub-ticks between two ticks, by the step, so they fall on round times too.
int SubTickParts(double step) {
    switch (static_cast<int>(step)) {
    case 60:
    case 3600:
    case 43200:
    case 86400:
        return 4;
    case 120:
    case 600:
    case 7200:
        return 2;
    case 300:
        return 5;
    case 900:
    case 1800:
    case 10800:
        return 3;
    case 21600:
        return 6;
    default:
        return 1;
    }
}

QString TwoDigits(std::int64_t v) {
    return QStringLiteral("%1").arg(v, 2, 10, QLatin1Char('0'));
}
} // namespace

double TimeTicker::StepFor(double seconds, double pixels, double labelWidth) {
    if (!(seconds > 0) || !(pixels > 0)) return kSteps.back();
    for (double step : kSteps)
        if (step / seconds * pixels >= labelWidth) return step;
    return kSteps.back();
}

QString TimeTicker::Label(double key, double step) const {
    const auto t = static_cast<WallSeconds>(std::llround(key));
    const std::int64_t day = DayOf(t);
    const std::int64_t s = t - StartOfDay(day);
    if (step >= kSecondsPerDay) return IsoDate(day);
    QString text = TwoDigits(s / 3600) + separator_ + TwoDigits(s / 60 % 60);
    if (step < 60) text += separator_ + TwoDigits(s % 60);
    if (s == 0) text += QLatin1Char('\n') + IsoDate(day);
    return text;
}

void TimeTicker::generate(const QCPRange& range, const QLocale&, QChar, int, QVector<double>& ticks,
                          QVector<double>* subTicks, QVector<QString>* tickLabels) {
    ticks.clear();
    if (subTicks) subTicks->clear();
    if (tickLabels) tickLabels->clear();
    const double pixels = axis_->axisRect()->width();
    const QFontMetricsF metrics(axis_->tickLabelFont());
    const double width = metrics.horizontalAdvance(QStringLiteral("00:00:00")) * 1.6;
    const double step = StepFor(range.size(), pixels, width);
    // Multiples of the step from 1970-01-01 00:00 fall on midnights for steps of a day or
    // less; longer steps count days from there.
    const double first = std::ceil(range.lower / step);
    const double last = std::floor(range.upper / step);
    for (double k = first; k <= last && ticks.size() < kMaxTicks; ++k) {
        ticks.push_back(k * step);
        if (tickLabels) tickLabels->push_back(Label(k * step, step));
    }
    if (const int parts = SubTickParts(step); subTicks && parts > 1) {
        for (double k = first - 1; k <= last && subTicks->size() < kMaxTicks; ++k)
            for (int i = 1; i < parts; ++i)
                if (const double v = (k + double(i) / parts) * step; range.contains(v))
                    subTicks->push_back(v);
    }
}
