// SPDX-License-Identifier: GPL-3.0-or-later
// A station's description as the archive keeps it: `stations.description`, a JSON object
// with the keys of station.conf, each a number or a text, or a list of them for a key
// given more than once (dated zero points):
//
//     {"latitude": 47.1, "longitude": 11.4, "elevation": 600, "timezone": "Europe/Vienna",
//      "zero_point": ["20.50", "20.62 from 2025-06-14"]}
//
// It is read as the same lines in station.conf would be, so the same values are accepted
// and refused. The web service shows the stations by it, and the collector works out the
// sky of the minutes a station did not sum up itself.
#pragma once

#include "core/station/StationDescription.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace stationdescription {

// The description of `station` from its JSON text; none when the text is not such an
// object or a value is wrong (`why` then says which).
std::optional<StationDescription> FromArchive(const QString& station, const QByteArray& json,
                                              QString* why = nullptr);

} // namespace stationdescription
