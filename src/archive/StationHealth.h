// SPDX-License-Identifier: GPL-3.0-or-later
// Every station's health at a glance, read from the archive: online or offline (its last
// status, which the broker's last will sets to offline), the link and its hint, when its
// last reading was taken, how many lines of the last hour arrived (of 3600), and its last
// event. A station online but without a reading for longer than the stale limit is stale.
#pragma once

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

class PgConnection;

struct StationHealth {
    QString name;
    std::optional<bool> online; // nothing: no status received yet
    bool linkUp = false;
    QString hint;
    std::optional<std::int64_t> lastReading; // UTC seconds
    std::int64_t linesLastHour = 0;
    std::optional<std::int64_t> lastEventAt;
    QString lastEvent;

    // Online (or of unknown status) with no reading for more than `staleAfter` seconds.
    bool Stale(std::int64_t now, std::int64_t staleAfter) const;
    // Offline by its last status.
    bool Offline() const { return online.has_value() && !*online; }
};

namespace stationhealth {

// The health table's columns, and the cells of a station's row, as `nocturo-collect
// --status` prints them and the viewer shows them: station, state, link, last reading,
// lines of the last hour, last event. `now` and `staleAfter` in seconds.
QStringList Header();
QStringList Cells(const StationHealth& station, std::int64_t now, std::int64_t staleAfter);
// "42 s", "7 min", "3 h", "12 d".
QString AgeText(std::int64_t seconds);

// The sky of the newest minute that has one (the station's minute message, or what the
// collector worked out for a minute back-filled without one), for `nocturo-collect --status`.
struct StationSky {
    QString station;
    std::int64_t minute = 0; // its start, UTC seconds
    std::optional<double> magnitude;
    QString condition; // empty: not known
};
// The columns beside the health table's, and their cells: the magnitude in mag/arcsec² and
// the condition ("clear", "cloudy", …; "-" where not known).
QStringList SkyHeader();
QStringList SkyCells(const std::optional<StationSky>& sky);
// That minute of every station that has one; nothing with `why` when the archive
// cannot be read. An archive made before minutes were kept has none.
std::optional<std::vector<StationSky>> ReadSkies(PgConnection& connection, QString* why = nullptr);

// All stations by name, as of the server's clock (`now`, UTC seconds, is set from it);
// nothing with `why` when the archive cannot be read.
std::optional<std::vector<StationHealth>> Read(PgConnection& connection, std::int64_t* now,
                                               QString* why = nullptr);

} // namespace stationhealth
