// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/DriftChart.h"

#include "viewer/SpanExport.h"

#include <QDateTime>

#include <algorithm>
#include <cmath>

namespace {

// Keys are UTC seconds of the middle of the month.
double MonthKey(int year, int month) {
    const QDateTime start(QDate(year, month, 1), QTime(0, 0), Qt::UTC);
    return static_cast<double>(start.toSecsSinceEpoch()) + 15 * 86400.0;
}

double YearOfKey(double key) {
    return 1970 + key / (365.2425 * 86400);
}

const QColor kColours[] = {QColor(31, 119, 180), QColor(214, 39, 40), QColor(44, 160, 44),
                           QColor(148, 103, 189)};

} // namespace

DriftChart::DriftChart(QWidget* parent)
    : Chart(parent) {
    QSharedPointer<QCPAxisTickerDateTime> ticker(new QCPAxisTickerDateTime);
    ticker->setDateTimeFormat(QStringLiteral("yyyy-MM"));
    ticker->setDateTimeSpec(Qt::UTC);
    xAxis->setTicker(ticker);
    yAxis->setRangeReversed(true);
    legend->setVisible(true);
}

void DriftChart::Show(const sky::Drift& drift) {
    clearGraphs();
    yAxis->setLabel(drift.instrumental ? QStringLiteral("instrumental mag (-2.5 log10 count)")
                                       : QStringLiteral("mag/arcsec²"));
    double low = INFINITY, high = -INFINITY, first = INFINITY, last = -INFINITY;
    for (std::size_t k = 0; k < drift.trends.size(); ++k) {
        const sky::DriftTrend& trend = drift.trends[k];
        const QColor colour = kColours[k % std::size(kColours)];
        QVector<double> keys, values;
        for (const sky::DriftMonth& m : drift.months) {
            if (m.altitude != trend.altitude) continue;
            keys << MonthKey(m.year, m.month);
            values << m.magnitude;
        }
        if (keys.isEmpty()) continue;
        QCPGraph* points = addGraph();
        points->setName(QStringLiteral("Sun at %1°").arg(trend.altitude, 0, 'f', 0));
        points->setPen(QPen(colour));
        points->setLineStyle(QCPGraph::lsNone);
        points->setScatterStyle(QCPScatterStyle(QCPScatterStyle::ssDisc, 6));
        points->setData(keys, values, true);
        low = std::min(low, *std::min_element(values.begin(), values.end()));
        high = std::max(high, *std::max_element(values.begin(), values.end()));
        first = std::min(first, keys.front());
        last = std::max(last, keys.back());
        if (!trend.magPerYear) continue;
        // Through the median point of the months, as Theil-Sen's line goes.
        std::vector<double> intercepts;
        for (int i = 0; i < keys.size(); ++i)
            intercepts.push_back(values[i] - *trend.magPerYear * YearOfKey(keys[i]));
        std::nth_element(intercepts.begin(), intercepts.begin() + intercepts.size() / 2,
                         intercepts.end());
        const double intercept = intercepts[intercepts.size() / 2];
        QCPGraph* line = addGraph();
        line->setName(QStringLiteral("%1%2 mag/yr")
                          .arg(*trend.magPerYear >= 0 ? QStringLiteral("+") : QString())
                          .arg(*trend.magPerYear, 0, 'f', 3));
        line->setPen(QPen(colour, 1, Qt::DashLine));
        line->setData({keys.front(), keys.back()},
                      {intercept + *trend.magPerYear * YearOfKey(keys.front()),
                       intercept + *trend.magPerYear * YearOfKey(keys.back())});
    }
    if (std::isfinite(low)) {
        xAxis->setRange(first - 20 * 86400.0, last + 20 * 86400.0);
        yAxis->setRange(low - 0.1, high + 0.1);
    }
    replot();
}

bool ExportDriftPicture(const sky::Drift& drift, const QString& path, QSize size, QString* why) {
    DriftChart chart;
    chart.resize(size);
    chart.Show(drift);
    return ExportChart(chart, ExportFormat::Png, path, size, why);
}
