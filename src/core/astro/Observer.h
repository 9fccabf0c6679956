// SPDX-License-Identifier: GPL-3.0-or-later
// Where a station stands, as the astronomy needs it, and the air it looks through.
#pragma once

#include <QString>

#include <optional>

struct StationDescription;

namespace astro {

struct Observer {
    double latitude = 0;  // degrees, geodetic (WGS84), north positive
    double longitude = 0; // degrees, east positive
    double elevation = 0; // metres above sea level

    // The standard atmosphere's pressure at the elevation (hPa): what refraction is
    // computed with when no barometer is at hand.
    double Pressure() const;
    bool operator==(const Observer&) const = default;
};

// The station's position, when its description gives latitude and longitude.
std::optional<Observer> ObserverOf(const StationDescription& description);

// "LAT,LON" or "LAT,LON,ELEV" (degrees, degrees, metres; '.' decimals). Empty `why` and a
// position, or no position and the reason.
std::optional<Observer> ParseLocation(const QString& text, QString* why);

} // namespace astro
