// SPDX-License-Identifier: GPL-3.0-or-later
// Several stations on one chart. The first station's lines are the chart's own curves;
// every other station gets a curve in each panel, on the same shared time axis. With more
// than one station each has a colour of its own in every panel and a legend in the counts
// panel names them; with one, the chart keeps its red, green and blue and no legend.
#pragma once

#include "core/text/RegionalSettings.h"
#include "viewer/SpanChart.h"
#include "viewer/SpanSeries.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>
#include <vector>

class StationCurves {
public:
    struct Station {
        QString name;
        SpanSeries series;
    };

    explicit StationCurves(SpanChart& chart);

    // Shows `others` beside the chart's own series, which is `first`'s; the value axes
    // that fit their lines fit all the curves.
    void Show(const QString& first, std::vector<Station> others);
    // From the earliest to the latest line of every station shown; the whole span when
    // there are none.
    QCPRange LinesExtent() const;
    // Follows the chart's switch of the counts axis.
    void SetLogarithmic(bool logarithmic);

    const std::vector<Station>& Others() const { return others_; }
    QCPLegend* Legend() const { return legend_; }
    // The colour of the i-th station shown, when several are.
    static QColor Colour(std::size_t i);
    // What the other stations have at `t`: "   beta: counts 12   gamma: no line".
    QString Readout(double t, double tolerance) const;

private:
    void Recolour(bool several, const QString& first);

    SpanChart& chart_;
    std::array<QPen, 3> ownPens_;
    std::array<QString, 3> ownNames_;
    std::vector<Station> others_;
    std::vector<std::array<QCPGraph*, 3>> graphs_;
    QCPLegend* legend_ = nullptr;
};

// The chart's title: the span's, and the stations' names when they have any.
QString StationsTitle(const TimeSpan& span, const QStringList& stations);

// The CSV of several stations' lines: "station,time,temperature,mean_count,range", each
// station's lines in time order, one station after the other, CR LF after each line.
QByteArray StationsCsv(const QStringList& stations,
                       const std::vector<const std::vector<DayRecord>*>& records);
// Writes that CSV, replacing the file whole; false, with the reason in `why`, when it fails.
bool ExportStationsCsv(const QStringList& stations,
                       const std::vector<const std::vector<DayRecord>*>& records,
                       const QString& path, QString* why = nullptr);
