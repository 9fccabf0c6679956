// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/MinuteSky.h"

#include "archive/PgConnection.h"
#include "core/astro/Observer.h"
#include "core/astro/ZoneClock.h"
#include "core/log/LogSpan.h"
#include "core/sky/LiveConditions.h"
#include "core/sky/SkyQuality.h"
#include "core/sky/ZeroPoints.h"
#include "core/station/ArchivedDescription.h"
#include "core/station/StationDescription.h"

#include <QDateTime>
#include <QTimeZone>

#include <algorithm>
#include <optional>

namespace {

std::int64_t MinuteStart(std::int64_t t) {
    return t - ((t % 60) + 60) % 60;
}

WallSeconds WallOf(const QTimeZone& zone, std::int64_t utc) {
    return utc + zone.offsetFromUtc(QDateTime::fromSecsSinceEpoch(utc, Qt::UTC));
}

// Array parameters in PostgreSQL's text form: the values go as data, never into the
// statement.
QByteArray TextArray(const std::vector<QString>& texts) {
    QByteArray out = "{";
    for (const QString& text : texts) {
        if (out.size() > 1) out += ',';
        if (text.isNull()) {
            out += "NULL";
            continue;
        }
        out += '"';
        for (const char c : text.toUtf8()) {
            if (c == '"' || c == '\\') out += '\\';
            out += c;
        }
        out += '"';
    }
    return out + '}';
}

QByteArray NumberArray(const std::vector<std::optional<double>>& values) {
    QByteArray out = "{";
    for (const std::optional<double>& v : values) {
        if (out.size() > 1) out += ',';
        out += v ? QByteArray::number(*v, 'g', 17) : QByteArray("NULL");
    }
    return out + '}';
}

QByteArray IntegerArray(const std::vector<std::int64_t>& values) {
    QByteArray out = "{";
    for (const std::int64_t v : values) {
        if (out.size() > 1) out += ',';
        out += QByteArray::number(v);
    }
    return out + '}';
}

} // namespace

bool MinuteSky::Fill(const std::vector<archive::Reading>& readings, std::int64_t nowUtc,
                     QString* why) {
    const std::int64_t settled = nowUtc - kSettleSeconds; // minutes ended by then
    std::set<StationMinute> due;
    for (const archive::Reading& r : readings) {
        const std::int64_t start = MinuteStart(r.utc);
        if (start + 60 <= settled)
            due.emplace(r.station, start);
        else if (waiting_.size() < kMaxWaiting)
            waiting_.emplace(start, r.station);
    }
    while (!waiting_.empty() && waiting_.begin()->first + 60 <= settled) {
        due.emplace(waiting_.begin()->second, waiting_.begin()->first);
        waiting_.erase(waiting_.begin());
    }
    if (due.empty()) return true;
    const auto later = [&] {
        // Tried again after the next batch.
        for (const StationMinute& m : due)
            if (waiting_.size() < kMaxWaiting) waiting_.emplace(m.second, m.first);
        return false;
    };

    std::vector<QString> names;
    for (const StationMinute& m : due)
        if (names.empty() || names.back() != m.first) names.push_back(m.first);
    const PgResult described = connection_.Query(
        QStringLiteral("SELECT name, description::text FROM stations "
                       "WHERE name = ANY($1::text[]) AND description IS NOT NULL"),
        {TextArray(names)}, why);
    if (!described.Ok()) return later();
    std::map<QString, std::pair<StationDescription, QByteArray>> descriptions;
    for (int row = 0; row < described.Rows(); ++row) {
        const QString name = described.Text(row, 0);
        const QByteArray json = described.Text(row, 1).toUtf8();
        // A description that does not read is none, as the web service takes it.
        std::optional<StationDescription> d = stationdescription::FromArchive(name, json);
        if (d && (d->HasPosition() || !d->zeroPoints.Empty()))
            descriptions.emplace(name, std::make_pair(std::move(*d), json));
    }
    if (descriptions.empty()) return true;

    // Of those minutes, the ones without the station's own sky.
    std::vector<QString> stations;
    std::vector<std::int64_t> starts;
    for (const StationMinute& m : due)
        if (descriptions.count(m.first)) stations.push_back(m.first), starts.push_back(m.second);
    const PgResult open = connection_.Query(
        QStringLiteral("SELECT m.station, extract(epoch FROM m.utc)::bigint FROM minutes m "
                       "JOIN unnest($1::text[], $2::bigint[]) AS c(station, t) "
                       "ON m.station = c.station AND m.utc = to_timestamp(c.t) "
                       "WHERE m.good_seconds > 0 AND "
                       "(m.sky_derived OR (m.magnitude IS NULL AND m.condition IS NULL)) "
                       "ORDER BY 1, 2"),
        {TextArray(stations), IntegerArray(starts)}, why);
    if (!open.Ok()) return later();
    std::map<QString, std::vector<std::int64_t>> wanted;
    for (int row = 0; row < open.Rows(); ++row)
        wanted[open.Text(row, 0)].push_back(open.Text(row, 1).toLongLong());
    for (const auto& [station, minutes] : wanted) {
        const auto& [description, json] = descriptions.at(station);
        auto learned = baselines_.find(station);
        if (learned != baselines_.end() && learned->second.description != json)
            baselines_.erase(learned);
        if (!FillStation(station, description, minutes, why)) return later();
        learned = baselines_.find(station);
        if (learned != baselines_.end()) learned->second.description = json;
    }
    return true;
}

bool MinuteSky::Resume(std::int64_t nowUtc, QString* why) {
    // Those with a sky of the station's own, or worked out already, are not asked for; a
    // station without a description has none to work out.
    const PgResult open = connection_.Query(
        QStringLiteral("SELECT s.name, extract(epoch FROM m.utc)::bigint FROM stations s "
                       "CROSS JOIN LATERAL (SELECT utc FROM minutes WHERE station = s.name "
                       "AND utc >= to_timestamp($1) AND good_seconds > 0 AND "
                       "magnitude IS NULL AND condition IS NULL ORDER BY utc LIMIT $2) m "
                       "WHERE s.description IS NOT NULL LIMIT $2"),
        {QByteArray::number(nowUtc - kResumeHours * 3600),
         QByteArray::number(qulonglong(kMaxWaiting))},
        why);
    if (!open.Ok()) return false;
    for (int row = 0; row < open.Rows() && waiting_.size() < kMaxWaiting; ++row)
        waiting_.emplace(open.Text(row, 1).toLongLong(), open.Text(row, 0));
    return true;
}

bool MinuteSky::FillStation(const QString& station, const StationDescription& description,
                            const std::vector<std::int64_t>& minutes, QString* why) {
    const QTimeZone zone = description.TimeZone();
    std::map<std::int64_t, std::vector<std::int64_t>> nights;
    for (const std::int64_t m : minutes)
        nights[sky::NightOf(WallOf(zone, m))].push_back(m);
    for (const auto& [night, inNight] : nights)
        if (!FillNight(station, description, night, inNight, why)) return false;
    return true;
}

bool MinuteSky::FillNight(const QString& station, const StationDescription& description,
                          std::int64_t night, const std::vector<std::int64_t>& minutes,
                          QString* why) {
    const QTimeZone zone = description.TimeZone();
    const std::optional<astro::Observer> observer = astro::ObserverOf(description);
    std::vector<sky::MinuteSum> sums;
    std::vector<double> medians;
    if (!Sums(station, minutes.front() - kLookBackMinutes * 60, minutes.back() + 60, &sums,
              &medians, why))
        return false;
    std::optional<sky::LiveConditions> conditions;
    if (observer) {
        sky::ClearSkyBaseline baseline;
        if (!Baseline(station, description, night, &baseline, why)) return false;
        conditions.emplace(*observer, zone);
        conditions->UseBaseline(std::move(baseline));
    }
    const std::set<std::int64_t> wanted(minutes.begin(), minutes.end());
    std::vector<std::int64_t> starts;
    std::vector<std::optional<double>> magnitudes, limits;
    std::vector<QString> names;
    for (std::size_t i = 0; i < sums.size(); ++i) {
        const sky::MinuteSum& s = sums[i];
        const WallSeconds wall = WallOf(zone, s.start);
        // The live station tells only the minutes of tonight, and those with light read.
        if (s.lightSeconds == 0 || sky::NightOf(wall) != night) continue;
        QString condition;
        if (conditions)
            condition = conditions->ConditionOf((s.start + 60) * 1000, s.countSum / s.lightSeconds,
                                                s.lightSeconds);
        if (!wanted.count(s.start)) continue;
        const std::optional<double> celsius =
            s.warmSeconds > 0 ? std::optional<double>(s.celsiusSum / s.warmSeconds) : std::nullopt;
        const std::optional<double> magnitude =
            description.zeroPoints.MagnitudeAt(wall, medians[i], celsius);
        if (!magnitude && condition.isEmpty()) continue;
        starts.push_back(s.start);
        magnitudes.push_back(magnitude);
        limits.push_back(sky::LimitingMagnitude(magnitude));
        names.push_back(condition.isEmpty() ? QString() : condition);
    }
    if (starts.empty()) return true;
    // A minute message that came meanwhile is left as it is.
    const PgResult result = connection_.Query(
        QStringLiteral(
            "UPDATE minutes m SET magnitude = u.magnitude, limiting_magnitude = u.limiting, "
            "condition = u.condition, sky_derived = true "
            "FROM unnest($2::bigint[], $3::float8[], $4::float8[], $5::text[]) "
            "AS u(t, magnitude, limiting, condition) "
            "WHERE m.station = $1 AND m.utc = to_timestamp(u.t) AND "
            "(m.sky_derived OR (m.magnitude IS NULL AND m.condition IS NULL))"),
        {station.toUtf8(), IntegerArray(starts), NumberArray(magnitudes), NumberArray(limits),
         TextArray(names)},
        why);
    return result.Ok();
}

bool MinuteSky::Sums(const QString& station, std::int64_t from, std::int64_t to,
                     std::vector<sky::MinuteSum>* sums, std::vector<double>* medians,
                     QString* why) {
    // Summed up by the server a minute at a time, as a station sums up its minutes: the
    // seconds whose light was read, and of those the ones whose temperature was read.
    const PgResult result = connection_.Query(
        QStringLiteral("SELECT floor(extract(epoch FROM utc) / 60)::bigint * 60, count(*), "
                       "count(*) FILTER (WHERE range > 0), "
                       "coalesce(sum(mean_count) FILTER (WHERE range > 0), 0), "
                       "coalesce(percentile_cont(0.5) WITHIN GROUP (ORDER BY mean_count) "
                       "  FILTER (WHERE range > 0), 0), "
                       "coalesce(sum(temperature_tenths) FILTER (WHERE range > 0 AND "
                       "  temperature_tenths > -2731), 0), "
                       "count(*) FILTER (WHERE range > 0 AND temperature_tenths > -2731) "
                       "FROM readings WHERE station = $1 AND utc >= to_timestamp($2) "
                       "AND utc < to_timestamp($3) GROUP BY 1 ORDER BY 1"),
        {station.toUtf8(), QByteArray::number(from), QByteArray::number(to)}, why);
    if (!result.Ok()) return false;
    sums->clear();
    if (medians) medians->clear();
    for (int row = 0; row < result.Rows(); ++row) {
        sky::MinuteSum s;
        s.start = result.Text(row, 0).toLongLong();
        s.lines = result.Text(row, 1).toInt();
        s.lightSeconds = result.Text(row, 2).toInt();
        s.countSum = result.Text(row, 3).toDouble();
        s.celsiusSum = result.Text(row, 5).toDouble() / 10.0;
        s.warmSeconds = result.Text(row, 6).toInt();
        sums->push_back(s);
        if (medians) medians->push_back(result.Text(row, 4).toDouble());
    }
    return true;
}

bool MinuteSky::Baseline(const QString& station, const StationDescription& description,
                         std::int64_t night, sky::ClearSkyBaseline* baseline, QString* why) {
    const auto known = baselines_.find(station);
    if (known != baselines_.end() && known->second.night == night) {
        *baseline = known->second.baseline;
        return true;
    }
    const QTimeZone zone = description.TimeZone();
    const astro::Observer observer = *astro::ObserverOf(description);
    // The nights with lines before this one, newest first, as the live station finds them
    // in its day files: each the night of the newest second before the last one found.
    std::vector<std::vector<sky::Minute>> nights;
    TimeSpan span = TimeSpan::Of(SpanKind::Night, night);
    std::int64_t before =
        astro::ZoneClock::AroundWall(zone, span.from, span.to).UtcRange(span.from, span.to).first;
    std::vector<sky::MinuteSum> sums;
    while (int(nights.size()) < sky::LiveConditions::kBaselineNights) {
        const PgResult newest = connection_.Query(
            QStringLiteral("SELECT extract(epoch FROM max(utc))::bigint FROM readings "
                           "WHERE station = $1 AND utc < to_timestamp($2)"),
            {station.toUtf8(), QByteArray::number(before)}, why);
        if (!newest.Ok()) return false;
        if (newest.Rows() == 0 || newest.IsNull(0, 0)) break;
        const std::int64_t n = sky::NightOf(WallOf(zone, newest.Text(0, 0).toLongLong()));
        span = TimeSpan::Of(SpanKind::Night, n);
        const auto [first, end] =
            astro::ZoneClock::AroundWall(zone, span.from, span.to).UtcRange(span.from, span.to);
        if (!Sums(station, first, std::min(end, before), &sums, nullptr, why)) return false;
        nights.push_back(sky::NightMinutes(span, sums, observer, zone));
        before = first;
    }
    std::reverse(nights.begin(), nights.end());
    *baseline = sky::ClearSkyBaseline::Build(nights);
    Learned& learned = baselines_[station];
    learned.night = night;
    learned.baseline = *baseline;
    return true;
}
