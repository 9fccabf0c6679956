// SPDX-License-Identifier: GPL-3.0-or-later
#include "viewer/SkyOverlay.h"

#include "core/astro/SpanSky.h"
#include "viewer/SpanChart.h"

#include <QFileInfo>

#include <cmath>

namespace {

const char* const kShadeLayer = "background";
const QColor kMoon(70, 70, 110);

// Ever darker blue-greys, light enough for the curves drawn over them.
QColor ShadeOf(astro::SkyLight light) {
    switch (light) {
    case astro::SkyLight::Day:
        return Qt::transparent;
    case astro::SkyLight::Civil:
        return QColor(232, 237, 247);
    case astro::SkyLight::Nautical:
        return QColor(214, 223, 241);
    case astro::SkyLight::Astronomical:
        return QColor(196, 208, 234);
    case astro::SkyLight::Night:
        return QColor(178, 193, 226);
    }
    return Qt::transparent;
}

QString Degrees(double value, char positive, char negative) {
    return QStringLiteral("%1\u00B0 %2")
        .arg(std::abs(value), 0, 'f', 2)
        .arg(QChar::fromLatin1(value >= 0 ? positive : negative));
}

} // namespace

QString StationFolder(const QString& folder, const QStringList& files) {
    if (!folder.isEmpty()) return folder;
    return files.isEmpty() ? QString() : QFileInfo(files.first()).absolutePath();
}

SkyOverlay::SkyOverlay(std::optional<astro::Observer> location)
    : location_(location) {
    station_.name = stationdescription::DefaultName();
}

void SkyOverlay::SetFolder(const QString& folder) {
    problem_.clear();
    try {
        station_ = stationdescription::Load(folder);
    } catch (const StationDescriptionError& error) {
        station_ = StationDescription();
        station_.name = stationdescription::DefaultName();
        problem_ = QString::fromStdString(error.what());
    }
}

std::optional<astro::Observer> SkyOverlay::Position() const {
    return location_ ? location_ : astro::ObserverOf(station_);
}

QString SkyOverlay::Title(const TimeSpan& span, const QString& title) const {
    const std::optional<astro::Observer> where = Position();
    if (!where) return title;
    const astro::SpanSky sky(*where, station_.TimeZone(), span.from, span.to, 3600);
    return QStringLiteral("%1 \u00B7 Moon %2% illuminated")
        .arg(title)
        .arg(std::lround(sky.MoonIlluminated() * 100));
}

void SkyOverlay::Clear(SpanChart& chart) {
    for (QCPAbstractItem* item : shades_)
        chart.removeItem(item);
    shades_.clear();
    if (moon_) {
        chart.removePlottable(moon_);
        moon_ = nullptr;
    }
    QCPAxis* scale = chart.PanelRect(SpanChart::Counts)->axis(QCPAxis::atRight);
    scale->setVisible(false);
}

void SkyOverlay::Draw(SpanChart& chart, const TimeSpan& span) {
    Clear(chart);
    const std::optional<astro::Observer> where = Position();
    if (!where) return;
    const astro::SpanSky sky(*where, station_.TimeZone(), span.from, span.to);
    const astro::SkyTrack& track = sky.Track();
    if (track.Size() < 2) return;

    // One shade per stretch of the same light, in every panel, on the chart's background
    // layer under the grid and the curves; a stretch reaches half a step either side.
    const double half = 0.5 * track.Step();
    std::size_t begin = 0;
    for (std::size_t i = 1; i <= track.Size(); ++i) {
        const astro::SkyLight light = astro::LightOf(track.SunAltitude(begin));
        if (i < track.Size() && astro::LightOf(track.SunAltitude(i)) == light &&
            sky.WallAt(i) > sky.WallAt(i - 1))
            continue;
        if (light != astro::SkyLight::Day) {
            const double from = double(sky.WallAt(begin)) - half;
            const double to = double(sky.WallAt(i - 1)) + half;
            for (int p = 0; p < 3; ++p) {
                const auto panel = SpanChart::Panel(p);
                auto* shade = new QCPItemRect(&chart);
                shade->setLayer(QString::fromLatin1(kShadeLayer));
                shade->setClipAxisRect(chart.PanelRect(panel));
                for (QCPItemPosition* corner : {shade->topLeft, shade->bottomRight}) {
                    corner->setAxes(chart.TimeAxis(panel), chart.ValueAxis(panel));
                    corner->setAxisRect(chart.PanelRect(panel));
                    corner->setTypeX(QCPItemPosition::ptPlotCoords);
                    corner->setTypeY(QCPItemPosition::ptAxisRectRatio);
                }
                shade->topLeft->setCoords(from, 0);
                shade->bottomRight->setCoords(to, 1);
                shade->setPen(Qt::NoPen);
                shade->setBrush(ShadeOf(light));
                shade->setSelectable(false);
                shades_.push_back(shade);
            }
        }
        begin = i;
    }

    // The Moon: a curve, not a graph, so that the repeated hour at the end of daylight
    // saving is drawn as it happened.
    QCPAxis* scale = chart.PanelRect(SpanChart::Counts)->axis(QCPAxis::atRight);
    scale->setVisible(true);
    scale->setRange(-90, 90);
    scale->setLabel(QStringLiteral("Moon altitude (\u00B0)"));
    scale->setLabelColor(kMoon);
    scale->setTickLabelColor(kMoon);
    QSharedPointer<QCPAxisTickerFixed> ticks(new QCPAxisTickerFixed);
    ticks->setTickStep(30);
    scale->setTicker(ticks);
    moon_ = new QCPCurve(chart.TimeAxis(SpanChart::Counts), scale);
    moon_->setName(QStringLiteral("Moon altitude"));
    moon_->setPen(QPen(kMoon, 1, Qt::DashLine));
    moon_->setSelectable(QCP::stNone);
    QVector<QCPCurveData> points;
    points.reserve(qsizetype(track.Size()));
    for (std::size_t i = 0; i < track.Size(); ++i)
        points.push_back(QCPCurveData(double(i), double(sky.WallAt(i)), track.MoonAltitude(i)));
    moon_->data()->set(points, true);
    chart.replot(QCustomPlot::rpQueuedReplot);
}

QString SkyOverlay::StatusText() const {
    if (!problem_.isEmpty()) return problem_;
    const std::optional<astro::Observer> where = Position();
    if (!where)
        return QStringLiteral("No position for twilight and the Moon: give --location LAT,LON "
                              "or latitude and longitude in station.conf");
    return QStringLiteral("Sky at %1, %2%3")
        .arg(Degrees(where->latitude, 'N', 'S'), Degrees(where->longitude, 'E', 'W'),
             location_ ? QString() : QStringLiteral(" (station.conf)"));
}
