// SPDX-License-Identifier: GPL-3.0-or-later
#include "archive/StationHealth.h"

#include "archive/ArchiveSchema.h"
#include "archive/PgConnection.h"

bool StationHealth::Stale(std::int64_t now, std::int64_t staleAfter) const {
    if (Offline()) return false; // offline says more than stale
    return !lastReading || now - *lastReading > staleAfter;
}

namespace stationhealth {

QString AgeText(std::int64_t seconds) {
    if (seconds < 0) return QStringLiteral("ahead %1").arg(AgeText(-seconds));
    if (seconds < 120) return QStringLiteral("%1 s").arg(seconds);
    if (seconds < 2 * 3600) return QStringLiteral("%1 min").arg(seconds / 60);
    if (seconds < 2 * 86400) return QStringLiteral("%1 h").arg(seconds / 3600);
    return QStringLiteral("%1 d").arg(seconds / 86400);
}

QStringList Header() {
    return {QStringLiteral("STATION"),   QStringLiteral("STATE"),
            QStringLiteral("LINK"),      QStringLiteral("LAST READING"),
            QStringLiteral("LAST HOUR"), QStringLiteral("LAST EVENT")};
}

QStringList Cells(const StationHealth& s, std::int64_t now, std::int64_t staleAfter) {
    QString state = !s.online   ? QStringLiteral("unknown")
                    : *s.online ? QStringLiteral("online")
                                : QStringLiteral("OFFLINE");
    if (s.Stale(now, staleAfter))
        state = s.online ? QStringLiteral("STALE") : QStringLiteral("unknown, STALE");
    // The link of a station that is offline is not known.
    QString link = !s.online || !*s.online ? QStringLiteral("-")
                   : s.linkUp              ? QStringLiteral("up")
                                           : QStringLiteral("down");
    if (s.online && *s.online && !s.linkUp && !s.hint.isEmpty())
        link += QStringLiteral(" (%1)").arg(s.hint);
    const QString age = s.lastReading ? AgeText(now - *s.lastReading) + QStringLiteral(" ago")
                                      : QStringLiteral("never");
    const QString hour = QStringLiteral("%1/3600").arg(s.linesLastHour);
    const QString event =
        s.lastEventAt ? QStringLiteral("%1 ago: %2")
                            .arg(AgeText(now - *s.lastEventAt), s.lastEvent.left(80).simplified())
                      : QStringLiteral("-");
    return {s.name, state, link, age, hour, event};
}

QStringList SkyHeader() {
    return {QStringLiteral("MAG/ARCSEC²"), QStringLiteral("SKY")};
}

QStringList SkyCells(const std::optional<StationSky>& sky) {
    const QString none = QStringLiteral("-");
    if (!sky) return {none, none};
    return {sky->magnitude ? QString::number(*sky->magnitude, 'f', 2) : none,
            sky->condition.isEmpty() ? none : sky->condition};
}

std::optional<std::vector<StationSky>> ReadSkies(PgConnection& connection, QString* why) {
    QString problem;
    if (!archiveschema::UpToDate(connection, &problem)) {
        if (!problem.isEmpty()) {
            if (why) *why = problem;
            return std::nullopt;
        }
        return std::vector<StationSky>();
    }
    // Each station's newest minute with a sky (the newest rows of all, whose seconds are
    // still arriving, have none yet), found backwards on its index.
    const PgResult result = connection.Query(
        QStringLiteral(
            "SELECT s.name, extract(epoch FROM m.utc)::bigint, m.magnitude, coalesce(m.condition, "
            "'') "
            "FROM stations s CROSS JOIN LATERAL (SELECT utc, magnitude, condition FROM minutes "
            "WHERE station = s.name AND (magnitude IS NOT NULL OR condition IS NOT NULL) "
            "ORDER BY utc DESC LIMIT 1) m ORDER BY s.name"),
        {}, why);
    if (!result.Ok()) return std::nullopt;
    std::vector<StationSky> skies;
    for (int row = 0; row < result.Rows(); ++row) {
        StationSky sky;
        sky.station = result.Text(row, 0);
        sky.minute = result.Text(row, 1).toLongLong();
        if (!result.IsNull(row, 2)) sky.magnitude = result.Text(row, 2).toDouble();
        sky.condition = result.Text(row, 3);
        skies.push_back(std::move(sky));
    }
    return skies;
}

std::optional<std::vector<StationHealth>> Read(PgConnection& connection, std::int64_t* now,
                                               QString* why) {
    // The hour's count goes through the primary key of the one or two newest months.
    const PgResult result = connection.Query(
        QStringLiteral("SELECT s.name, s.online, s.link_up, coalesce(s.hint, ''), "
                       "extract(epoch FROM s.last_reading)::bigint, "
                       "(SELECT count(*) FROM readings r WHERE r.station = s.name "
                       "  AND r.utc > now() - interval '1 hour' AND r.utc <= now()), "
                       "extract(epoch FROM s.last_event_at)::bigint, coalesce(s.last_event, '') "
                       "FROM stations s ORDER BY s.name"),
        {}, why);
    if (!result.Ok()) return std::nullopt;
    std::vector<StationHealth> stations;
    if (now) {
        const PgResult clock =
            connection.Query(QStringLiteral("SELECT extract(epoch FROM now())::bigint"), {}, why);
        if (!clock.Ok()) return std::nullopt;
        *now = clock.Text(0, 0).toLongLong();
    }
    for (int row = 0; row < result.Rows(); ++row) {
        StationHealth s;
        s.name = result.Text(row, 0);
        if (!result.IsNull(row, 1)) s.online = result.Text(row, 1) == QLatin1String("t");
        s.linkUp = result.Text(row, 2) == QLatin1String("t");
        s.hint = result.Text(row, 3);
        if (!result.IsNull(row, 4)) s.lastReading = result.Text(row, 4).toLongLong();
        s.linesLastHour = result.Text(row, 5).toLongLong();
        if (!result.IsNull(row, 6)) s.lastEventAt = result.Text(row, 6).toLongLong();
        s.lastEvent = result.Text(row, 7);
        stations.push_back(std::move(s));
    }
    return stations;
}

} // namespace stationhealth
