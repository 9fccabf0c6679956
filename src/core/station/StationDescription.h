// SPDX-License-Identifier: GPL-3.0-or-later
// What a station says about itself: its name on a network, where it stands, its time zone
// and its photometric zero point. It comes from "station.conf" beside the day files, a
// small text file the station's operator writes (no program writes it):
//
//     # the roof of the observatory
//     name = roof
//     latitude = 48.2       # degrees, north positive
//     longitude = 16.4      # degrees, east positive
//     elevation = 180       # metres
//     timezone = Europe/Vienna
//     zero_point = 20.5
//
// A station recalibrated, cleaned or given a new sensor lists its zero points, each with
// the date of the first night it holds for, and optionally a temperature coefficient (mag
// per °C about a reference temperature); an undated one holds before the first date:
//
//     zero_point = 20.50
//     zero_point = 20.62 from 2025-06-14
//     zero_point = 20.58 from 2026-03-01 per_degree -0.004 at 15
//
// and, for the files handed to the skyglow archives (all free text, none needed; what is
// not given is left blank there, never guessed):
//
//     data_supplier = Jane Doe, Observatory of Somewhere
//     location_name = Somewhere, roof of the observatory
//     instrument_id = roof-1          # default: the station's name
//     time_synchronization = NTP
//     filter = none
//     look_direction = 0, 0           # zenith angle and azimuth, degrees
//     field_of_view = 20              # degrees
//     data_licence = ODbL 1.0 http://opendatacommons.org/licenses/odbl/summary/
//     comment = mounted on a mast 4 m above the roof
//
// and, for an observatory that asks the station whether it is safe to observe:
//
//     safe_conditions = clear          # the minute's sky conditions that count as safe
//     safe_darker_than = 18.5          # and the sky at least this dark, mag/arcsec²
//     safe_fresh_seconds = 10          # the newest reading at most this old
//
// One "key = value" a line; '#' starts a comment anywhere on a line; blank lines and
// spaces around keys and values do not count. A missing file is no error: every key has
// its default then. A key that is not known or a value that does not read is an error that
// names the key, the file and the line.
#pragma once

#include "core/sky/ZeroPoints.h"

#include <QString>
#include <QStringList>
#include <QTimeZone>

#include <optional>
#include <stdexcept>

struct StationDescription {
    QString name;                    // 1 to 64 of a-z 0-9 _ -
    std::optional<double> latitude;  // degrees, -90 to 90, north positive
    std::optional<double> longitude; // degrees, -180 to 180, east positive
    std::optional<double> elevation; // metres above sea level, -500 to 9000
    QString timezone;                // IANA name; empty: the system's
    sky::ZeroPoints zeroPoints;      // magnitude of one count a second; none: counts only

    // What the skyglow archives' file header asks that only the operator knows.
    struct Skyglow {
        QString dataSupplier;
        QString locationName;
        QString instrumentId; // empty: the station's name
        QString timeSynchronization;
        QString filter;
        QString lookDirection;
        QString fieldOfView;
        QString dataLicence; // empty: the licence the archives ask for (ODbL 1.0)
        QString comment;
        bool operator==(const Skyglow&) const = default;
    } skyglow;

    // When an observatory is told it is safe: the link up, the newest reading fresh, the
    // minute's sky condition one of `conditions`, and the sky dark enough when asked for.
    struct Safety {
        QStringList conditions = {QStringLiteral("clear")};
        std::optional<double> darkerThan; // mag/arcsec²; none: the condition decides
        int freshSeconds = 10;
        bool operator==(const Safety&) const = default;
    } safety;

    // Latitude and longitude are both known (elevation defaults to 0).
    bool HasPosition() const { return latitude.has_value() && longitude.has_value(); }
    // The station's time zone: the named one, else the system's.
    QTimeZone TimeZone() const;
};

// A station.conf that cannot be used; what() names the key, the file and the line.
class StationDescriptionError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

namespace stationdescription {

inline constexpr char kFileName[] = "station.conf";
inline constexpr int kMaxNameLength = 64;
inline constexpr int kMaxSkyglowText = 100; // a header line of the archives' files holds 150
// The names a minute's sky condition goes by, for safe_conditions.
inline constexpr const char* kSkyConditionNames[] = {"day", "twilight", "moonlit", "clear",
                                                     "cloudy"};

// Reads "station.conf" in `directory`. A missing file gives the defaults. Throws
// StationDescriptionError for a file that cannot be read or holds a wrong value.
StationDescription Load(const QString& directory);

// Reads the text of a station description; `fileName` is only used in error messages.
StationDescription Parse(const QByteArray& text, const QString& fileName);

// 1 to 64 characters, each of a-z 0-9 _ -.
bool ValidName(const QString& name);
// A name made valid: lower case, anything else becomes '-', cut to 64; "station" when
// nothing is left.
QString CleanName(const QString& name);
// The default name: this machine's host name, cleaned.
QString DefaultName();

} // namespace stationdescription
