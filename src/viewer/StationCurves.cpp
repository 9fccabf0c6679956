// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/StationCurves.h"

#include "core/Failure.h"
#include "viewer/SpanExport.h"
#include "viewer/ViewerTexts.h"

#include <QSaveFile>

namespace {
// Colours told apart on screen and on paper, dark enough for thin lines on white.
const QColor kPalette[] = {QColor(214, 39, 40),   QColor(31, 119, 180),  QColor(44, 160, 44),
                           QColor(255, 127, 14),  QColor(148, 103, 189), QColor(140, 86, 75),
                           QColor(227, 119, 194), QColor(23, 190, 207)};
constexpr SpanChart::Panel kPanels[] = {SpanChart::Counts, SpanChart::Temperature,
                                        SpanChart::Range};

QByteArray CsvField(const QString& text) {
    QByteArray field = text.toUtf8();
    if (!field.contains(',') && !field.contains('"') && !field.contains('\n') &&
        !field.contains('\r'))
        return field;
    field.replace("\"", "\"\"");
    return '"' + field + '"';
}
} // namespace

StationCurves::StationCurves(SpanChart& chart)
    : chart_(chart) {
    for (SpanChart::Panel panel : kPanels) {
        ownPens_[panel] = chart.Graph(panel)->pen();
        ownNames_[panel] = chart.Graph(panel)->name();
    }
    chart.setAutoAddPlottableToLegend(false);
    legend_ = new QCPLegend;
    chart.PanelRect(SpanChart::Counts)
        ->insetLayout()
        ->addElement(legend_, Qt::AlignTop | Qt::AlignRight);
    legend_->setLayer(QStringLiteral("legend"));
    legend_->setBrush(QColor(255, 255, 255, 220));
    legend_->setVisible(false);
}

QColor StationCurves::Colour(std::size_t i) {
    return kPalette[i % std::size(kPalette)];
}

void StationCurves::Show(const QString& first, std::vector<Station> others) {
    for (const auto& graphs : graphs_)
        for (QCPGraph* graph : graphs)
            chart_.removeGraph(graph);
    graphs_.clear();
    others_ = std::move(others);
    const bool logarithmic = chart_.Logarithmic();
    for (std::size_t i = 0; i < others_.size(); ++i) {
        std::array<QCPGraph*, 3> graphs{};
        const QPen pen(Colour(i + 1), 1);
        for (SpanChart::Panel panel : kPanels) {
            QCPGraph* graph = chart_.addGraph(chart_.TimeAxis(panel), chart_.ValueAxis(panel));
            graph->setPen(pen);
            graph->setName(others_[i].name);
            graphs[panel] = graph;
        }
        graphs[SpanChart::Counts]->data()->set(others_[i].series.Counts(logarithmic), true);
        graphs[SpanChart::Temperature]->data()->set(others_[i].series.Temperatures(), true);
        graphs[SpanChart::Range]->data()->set(others_[i].series.Ranges(), true);
        graphs_.push_back(graphs);
    }
    Recolour(!others_.empty(), first);
    // The value axes that fit their lines fit the new curves too.
    chart_.SetTimeRange(chart_.TimeRange());
}

void StationCurves::Recolour(bool several, const QString& first) {
    for (SpanChart::Panel panel : kPanels) {
        QCPGraph* own = chart_.Graph(panel);
        own->setPen(several ? QPen(Colour(0), 1) : ownPens_[panel]);
        own->setName(several ? first : ownNames_[panel]);
        chart_.ValueAxis(panel)->setLabelColor(several ? QColor(60, 60, 60)
                                                       : ownPens_[panel].color().darker(130));
    }
    legend_->clearItems();
    legend_->setVisible(several);
    if (!several) return;
    legend_->addItem(new QCPPlottableLegendItem(legend_, chart_.Graph(SpanChart::Counts)));
    for (const auto& graphs : graphs_)
        legend_->addItem(new QCPPlottableLegendItem(legend_, graphs[SpanChart::Counts]));
}

QCPRange StationCurves::LinesExtent() const {
    double lower = double(chart_.Span().to), upper = double(chart_.Span().from);
    const auto extend = [&](const std::vector<DayRecord>& records) {
        if (records.empty()) return;
        lower = std::min(lower, double(records.front().time));
        upper = std::max(upper, double(records.back().time));
    };
    extend(chart_.Series().All());
    for (const Station& station : others_)
        extend(station.series.All());
    if (lower > upper) return QCPRange(double(chart_.Span().from), double(chart_.Span().to));
    return QCPRange(lower, upper + 1);
}

void StationCurves::SetLogarithmic(bool logarithmic) {
    for (std::size_t i = 0; i < others_.size(); ++i)
        graphs_[i][SpanChart::Counts]->data()->set(others_[i].series.Counts(logarithmic), true);
    chart_.SetTimeRange(chart_.TimeRange());
}

QString StationCurves::Readout(double t, double tolerance) const {
    QString text;
    for (const Station& station : others_) {
        const DayRecord* record = station.series.At(t, tolerance);
        text += QStringLiteral("   %1: ").arg(station.name);
        if (!record)
            text += QStringLiteral("no line");
        else if (record->Failed())
            text += QStringLiteral("sensor failed");
        else
            text += QStringLiteral("counts %1").arg(record->mean);
    }
    return text;
}

QString StationsTitle(const TimeSpan& span, const QStringList& stations) {
    QStringList named;
    for (const QString& station : stations)
        if (!station.isEmpty()) named << station;
    if (named.isEmpty()) return SpanTitle(span);
    return SpanTitle(span) + QStringLiteral(" \u2014 ") + named.join(QStringLiteral(", "));
}

QByteArray StationsCsv(const QStringList& stations,
                       const std::vector<const std::vector<DayRecord>*>& records) {
    QByteArray csv("station,time,temperature,mean_count,range\r\n");
    for (std::size_t i = 0; i < records.size() && i < std::size_t(stations.size()); ++i) {
        const QByteArray lines = SpanCsv(*records[i]);
        const QByteArray prefix = CsvField(stations[qsizetype(i)]) + ',';
        // Every line but the header, behind the station's name.
        qsizetype at = lines.indexOf("\r\n") + 2;
        while (at < lines.size()) {
            const qsizetype end = lines.indexOf("\r\n", at) + 2;
            csv += prefix;
            csv += lines.mid(at, end - at);
            at = end;
        }
    }
    return csv;
}

bool ExportStationsCsv(const QStringList& stations,
                       const std::vector<const std::vector<DayRecord>*>& records,
                       const QString& path, QString* why) {
    QSaveFile file(path);
    const QByteArray csv = StationsCsv(stations, records);
    if (!file.open(QIODevice::WriteOnly) || file.write(csv) != csv.size() || !file.commit())
        return Fail(why, QStringLiteral("Cannot write \"%1\": %2").arg(path, file.errorString()));
    return true;
}
